#pragma once

#include <cstddef>
#include <string>

namespace mk::platform {

enum class WholeFileStatus {
    Ok,
    CannotOpen,  // missing, not permitted, or not a regular file
    CannotRead,  // a read failed or the file shrank while it was read
    TooLarge,    // longer than maxSize bytes; nothing was read
};

// Reads a regular file completely into bytes (replacing their contents). The
// path is handed to the operating system as its bytes (UTF-8 on Linux). A FIFO,
// device or directory is refused without being read, so the call never blocks
// waiting for a writer.
WholeFileStatus readWholeFile(const char* path, std::size_t maxSize, std::string& bytes);

}  // namespace mk::platform
