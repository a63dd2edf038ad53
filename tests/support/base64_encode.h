#pragma once

// Base64 with padding, header-only so that a test linking none of the
// library's code can hand pictures to it too.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mk::test {

inline std::string base64Encode(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        std::uint32_t group = std::uint32_t{static_cast<std::uint8_t>(bytes[i])} << 16;
        if (n > 1) group |= std::uint32_t{static_cast<std::uint8_t>(bytes[i + 1])} << 8;
        if (n > 2) group |= static_cast<std::uint8_t>(bytes[i + 2]);
        for (std::size_t k = 0; k < 4; ++k) {
            text += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
        }
    }
    return text;
}

}  // namespace mk::test
