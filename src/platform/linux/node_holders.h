#pragma once

#include <sys/types.h>

#include <filesystem>

namespace mk::platform {

// Whether a process has the character device `device` open, by whatever
// name it reached it (a second node of the same number, a bind-mounted
// /dev, a container's renamed node), as far as <procRoot>/PID/fd shows it:
// only the processes this one may inspect (its own user's, or all for root).
// A <procRoot> that cannot be listed counts as a holder: no one can be seen
// to be safe.
bool deviceOpenInAnyProcess(const std::filesystem::path& procRoot, dev_t device);

}  // namespace mk::platform
