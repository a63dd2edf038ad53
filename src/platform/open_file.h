#pragma once

#include <cstdio>
#include <memory>

namespace mk::platform {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file named by a UTF-8 path (on Linux the bytes are the name as they
// stand; Windows takes it as UTF-16); null when the open fails, an empty path
// included.
FilePtr openFileUtf8(const char* path, const char* mode);

}  // namespace mk::platform
