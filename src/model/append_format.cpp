#include "model/append_format.h"

#include <cstdarg>
#include <cstdio>

namespace mk {

namespace {

template <typename Text>
void appendFormatted(Text& text, const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length > 0) {
        const size_t start = text.size();
        text.resize(start + static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data() + start, static_cast<size_t>(length) + 1, format, args);
        text.resize(start + static_cast<size_t>(length));
    }
}

}  // namespace

void appendFormat(std::string& text, const char* format, ...) {
    va_list args;
    va_start(args, format);
    appendFormatted(text, format, args);
    va_end(args);
}

void appendFormat(platform::MappedString& text, const char* format, ...) {
    va_list args;
    va_start(args, format);
    appendFormatted(text, format, args);
    va_end(args);
}

}  // namespace mk
