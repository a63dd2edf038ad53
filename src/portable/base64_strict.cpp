#include "portable/base64_strict.h"

#include <array>

namespace mk::platform {

namespace {

constexpr int kNotBase64 = -1;
constexpr int kSkipped = -2;
constexpr int kPadding = -3;

constexpr std::array<int, 256> makeDecodeTable() {
    std::array<int, 256> table{};
    table.fill(kNotBase64);
    constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t i = 0; i < alphabet.size(); ++i) table[static_cast<unsigned char>(alphabet[i])] = static_cast<int>(i);
    for (char c : {'\r', '\n', ' ', '\t'}) table[static_cast<unsigned char>(c)] = kSkipped;
    table['='] = kPadding;
    return table;
}

constexpr std::array<int, 256> kDecodeTable = makeDecodeTable();

}  // namespace

std::optional<MappedBytes> decodeBase64Strict(std::string_view text) {
    MappedBytes bytes;
    bytes.reserve(text.size() / 4 * 3);
    uint32_t group = 0;   // sextets of the current group, most significant first
    int filled = 0;       // sextets in the current group
    int padding = 0;      // '=' seen; once set, only padding and blanks may follow
    for (char c : text) {
        const int value = kDecodeTable[static_cast<unsigned char>(c)];
        if (value == kSkipped) continue;
        if (value == kNotBase64) return std::nullopt;
        if (value == kPadding) {
            // "xx==" or "xxx=": padding never starts a group or its second place.
            if (filled + padding < 2) return std::nullopt;
            if (++padding + filled > 4) return std::nullopt;
            continue;
        }
        if (padding > 0) return std::nullopt;  // data after the padding
        group = (group << 6) | static_cast<uint32_t>(value);
        if (++filled == 4) {
            bytes.push_back(static_cast<uint8_t>(group >> 16));
            bytes.push_back(static_cast<uint8_t>(group >> 8));
            bytes.push_back(static_cast<uint8_t>(group));
            group = 0;
            filled = 0;
        }
    }
    if (padding == 0) {
        if (filled != 0) return std::nullopt;  // an incomplete last group
        return bytes;
    }
    if (filled + padding != 4) return std::nullopt;
    // Two sextets carry one byte, three carry two.
    group <<= 6 * padding;
    bytes.push_back(static_cast<uint8_t>(group >> 16));
    if (filled == 3) bytes.push_back(static_cast<uint8_t>(group >> 8));
    return bytes;
}

}  // namespace mk::platform
