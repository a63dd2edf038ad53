#include "render/open_file.h"

namespace mk {

FilePtr openFileUtf8(const char* path, const char* mode) {
    if (path == nullptr || mode == nullptr) return nullptr;
    return FilePtr(std::fopen(path, mode));
}

}  // namespace mk
