#include "platform/open_file.h"

namespace mk::platform {

FilePtr openFileUtf8(const char* path, const char* mode) {
    if (path == nullptr || mode == nullptr) return nullptr;
    return FilePtr(std::fopen(path, mode));
}

}  // namespace mk::platform
