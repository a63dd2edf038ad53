// Finding who has a device node open, the way fuser does: through each
// process's descriptor links.
#include "platform/linux/node_holders.h"

#include <system_error>

namespace mk::platform {

bool nodeOpenInAnyProcess(const std::filesystem::path& procRoot, const std::string& node) {
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::directory_iterator process(procRoot, error); !error && process != fs::directory_iterator();
         process.increment(error)) {
        const std::string pid = process->path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        // A process that ends meanwhile, or one we may not inspect, shows nothing.
        std::error_code unseen;
        for (fs::directory_iterator fd(process->path() / "fd", unseen); !unseen && fd != fs::directory_iterator();
             fd.increment(unseen)) {
            std::error_code gone;
            if (fs::read_symlink(fd->path(), gone) == node && !gone) return true;
        }
    }
    return false;
}

}  // namespace mk::platform
