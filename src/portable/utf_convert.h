#pragma once

#include <string>
#include <string_view>

namespace mk::platform {

// UTF-8 to UTF-16 as the label files' origin platform converts: the text ends
// at its first zero byte (it is taken as a zero-terminated string), and every
// maximal ill-formed subsequence becomes one U+FFFD.
std::u16string utf8ToUtf16(std::string_view text);

// The UTF-8 sequence at the start of a non-empty text. Well formed: its code
// point and its length in bytes. Otherwise length spans its maximal
// ill-formed subsequence (at least one byte), which converts to one U+FFFD.
struct Utf8Sequence {
    char32_t codePoint = 0;
    size_t length = 0;
    bool wellFormed = false;
};
Utf8Sequence firstUtf8Sequence(std::string_view text);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

// One code point of UTF-16 text starting at index i (a lone surrogate stands
// for itself); advances i past it.
char32_t nextCodePoint(std::u16string_view text, size_t& i);

}  // namespace mk::platform
