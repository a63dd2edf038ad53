#pragma once

#include <string>

#include "platform/mapped_memory.h"

namespace mk {

// Appends printf-style formatted text; never cuts it, however long.
void appendFormat(std::string& text, const char* format, ...) __attribute__((format(printf, 2, 3)));
void appendFormat(platform::MappedString& text, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace mk
