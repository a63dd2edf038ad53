#pragma once

#include <string>

namespace mk::platform {

// A UTF-8 path as the UTF-16 name Windows' wide-character calls take; empty
// when the text is empty or is not valid UTF-8.
std::wstring widePath(const char* utf8Path);

}  // namespace mk::platform
