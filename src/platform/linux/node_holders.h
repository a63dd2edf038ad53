#pragma once

#include <filesystem>
#include <string>

namespace mk::platform {

// Whether a process has `node` open, as far as <procRoot>/PID/fd shows it:
// only the processes this one may inspect (its own user's, or all for root).
bool nodeOpenInAnyProcess(const std::filesystem::path& procRoot, const std::string& node);

}  // namespace mk::platform
