// Finding who has a device open, the way fuser does: through each process's
// descriptor links, by the device each one refers to, not by the link's text,
// which is the path in the holder's own mount namespace.
#include "platform/linux/node_holders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <system_error>

namespace mk::platform {
namespace {

// The device a descriptor link refers to. AT_STATX_DONT_SYNC: a descriptor
// on a network file system is answered from what the kernel holds, not by
// asking a server that may not answer.
bool refersTo(const std::filesystem::path& link, dev_t device) {
    struct statx target {};
    if (::statx(AT_FDCWD, link.c_str(), AT_STATX_DONT_SYNC, STATX_TYPE, &target) != 0) return false;
    return S_ISCHR(target.stx_mode) && ::makedev(target.stx_rdev_major, target.stx_rdev_minor) == device;
}

}  // namespace

bool deviceOpenInAnyProcess(const std::filesystem::path& procRoot, dev_t device) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator process(procRoot, error);
    for (; !error && process != fs::directory_iterator(); process.increment(error)) {
        const std::string pid = process->path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        // A process that ends meanwhile, or one we may not inspect, shows nothing.
        std::error_code unseen;
        for (fs::directory_iterator fd(process->path() / "fd", unseen); !unseen && fd != fs::directory_iterator();
             fd.increment(unseen)) {
            if (refersTo(fd->path(), device)) return true;
        }
    }
    return static_cast<bool>(error);
}

}  // namespace mk::platform
