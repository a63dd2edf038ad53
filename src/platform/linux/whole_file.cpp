#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "platform/linux/unique_fd.h"

namespace mk::platform {

WholeFileStatus readWholeFile(const char* path, std::size_t maxSize, std::string& bytes) {
    // O_NONBLOCK keeps open() of a FIFO from waiting for a writer; it has no
    // effect on reading a regular file.
    UniqueFd file(::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!file.valid()) return WholeFileStatus::CannotOpen;
    struct stat info {};
    if (::fstat(file.fd(), &info) != 0 || !S_ISREG(info.st_mode)) return WholeFileStatus::CannotOpen;
    if (info.st_size < 0 || static_cast<unsigned long long>(info.st_size) > maxSize) return WholeFileStatus::TooLarge;

    const auto length = static_cast<std::size_t>(info.st_size);
    try {
        bytes.assign(length, '\0');
    } catch (const std::bad_alloc&) {
        return WholeFileStatus::CannotRead;
    }
    std::size_t done = 0;
    while (done < length) {
        ssize_t got = ::read(file.fd(), bytes.data() + done, length - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return WholeFileStatus::CannotRead;
        done += static_cast<std::size_t>(got);
    }
    return WholeFileStatus::Ok;
}

}  // namespace mk::platform
