#include "portable/utf_convert.h"

#include <cstdint>

namespace mk::platform {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void appendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

// The allowed range of the second byte after a lead byte (Unicode's table of
// well-formed sequences); the later continuation bytes are always 80..BF.
struct LeadRule {
    int length;
    uint8_t secondLow;
    uint8_t secondHigh;
};

LeadRule leadRule(uint8_t lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
    if (lead == 0xE0) return {3, 0xA0, 0xBF};
    if (lead == 0xED) return {3, 0x80, 0x9F};  // no surrogates
    if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
    if (lead == 0xF0) return {4, 0x90, 0xBF};
    if (lead == 0xF4) return {4, 0x80, 0x8F};  // nothing above U+10FFFF
    if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
    return {0, 0, 0};  // continuation byte, overlong C0/C1, or F5..FF
}

}  // namespace

Utf8Sequence firstUtf8Sequence(std::string_view text) {
    const auto lead = static_cast<uint8_t>(text[0]);
    if (lead < 0x80) return {lead, 1, true};
    const LeadRule rule = leadRule(lead);
    if (rule.length == 0) return {0, 1, false};
    char32_t cp = lead & (0xFF >> (rule.length + 1));
    size_t j = 1;
    for (int k = 1; k < rule.length; ++k, ++j) {
        // The bytes read so far form one maximal ill-formed subsequence; the
        // byte that broke it starts afresh.
        if (j >= text.size()) return {0, j, false};
        const auto b = static_cast<uint8_t>(text[j]);
        const uint8_t low = k == 1 ? rule.secondLow : 0x80;
        const uint8_t high = k == 1 ? rule.secondHigh : 0xBF;
        if (b < low || b > high) return {0, j, false};
        cp = (cp << 6) | (b & 0x3F);
    }
    return {cp, j, true};
}

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<uint8_t>(text[i]);
        if (lead == 0) break;
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        const Utf8Sequence sequence = firstUtf8Sequence(text.substr(i));
        if (sequence.wellFormed) {
            appendUtf16(out, sequence.codePoint);
        } else {
            out.push_back(kReplacement);
        }
        i += sequence.length;
    }
    return out;
}

char32_t nextCodePoint(std::u16string_view text, size_t& i) {
    const char16_t u = text[i++];
    if (u >= 0xD800 && u <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
        const char16_t low = text[i++];
        return 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00);
    }
    return u;
}

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t cp = nextCodePoint(text, i);
        if (cp >= 0xD800 && cp <= 0xDFFF) cp = kReplacement;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

}  // namespace mk::platform
