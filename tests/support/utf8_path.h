#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace mk::test {

// The library takes paths as UTF-8 on every system; std::filesystem keeps
// them in the system's own form (UTF-16 on Windows), so these convert.
inline std::filesystem::path utf8Path(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace mk::test
