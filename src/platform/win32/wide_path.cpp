#include "platform/win32/wide_path.h"

#include <windows.h>

namespace mk::platform {

std::wstring widePath(const char* utf8Path) {
    // The count includes the terminating zero; invalid UTF-8 fails the
    // conversion rather than turning into some other file's name.
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Path, -1, nullptr, 0);
    if (units <= 1) return {};
    std::wstring wide(static_cast<size_t>(units), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Path, -1, wide.data(), units) != units) return {};
    wide.pop_back();
    return wide;
}

}  // namespace mk::platform
