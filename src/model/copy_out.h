#pragma once

#include <string_view>

namespace mk {

// A caller's buffer is usable when it is not NULL and holds at least the NUL.
inline bool isValidOutBuffer(const char* buffer, int size) { return buffer != nullptr && size >= 1; }

// Copies at most size - 1 bytes of text and a NUL into a buffer that passed
// isValidOutBuffer; returns the number of bytes copied. Cuts at a byte
// boundary, which may split a UTF-8 character.
int copyOut(std::string_view text, char* buffer, int size);

}  // namespace mk
