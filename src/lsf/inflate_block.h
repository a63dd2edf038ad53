#pragma once

#include <cstddef>
#include <string>

#include "platform/mapped_memory.h"

namespace mk {

// The most one block of a label file may inflate to. A label's parameters and
// objects, a full-page 24-bit image at 600 dpi included, stay far below it; a
// hostile stream that inflates beyond it is refused instead of exhausting memory.
inline constexpr std::size_t kMaxInflatedBlockSize = std::size_t{64} << 20;

// An inflated block: mapped when large, so that its memory goes back to the
// system once the block has been read.
using InflatedText = std::basic_string<char, std::char_traits<char>, platform::MappedAllocator<char>>;

// Inflates one zlib or gzip stream (the header is detected) into text. True
// only when the stream reaches its end with a matching check value, within
// limit bytes; bytes after the stream's end are ignored. False for size < 1.
bool inflateBlock(const unsigned char* data, int size, InflatedText& text,
                  std::size_t limit = kMaxInflatedBlockSize);

}  // namespace mk
