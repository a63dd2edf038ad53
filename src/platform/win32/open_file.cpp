#include "platform/open_file.h"

#include <cstdio>

#include "platform/win32/wide_path.h"

namespace mk::platform {

FilePtr openFileUtf8(const char* path, const char* mode) {
    if (path == nullptr || mode == nullptr) return nullptr;
    const std::wstring wide = widePath(path);
    // A path that does not convert is handed over as the bytes it is, which
    // the runtime reads in the process's ANSI code page.
    if (wide.empty()) return FilePtr(std::fopen(path, mode));
    std::wstring wideMode;
    for (const char* c = mode; *c != '\0'; ++c) wideMode.push_back(static_cast<unsigned char>(*c));
    return FilePtr(_wfopen(wide.c_str(), wideMode.c_str()));
}

}  // namespace mk::platform
