#pragma once

// The entity decoding of label-file XML done literally: six passes, each
// replacing the first occurrence and searching again from the first byte.
// Quadratic, so only for checking the library's linear decoder on small texts.

#include <string>
#include <string_view>

namespace mk::test {

inline std::string decodeEntitiesLiterally(std::string value) {
    struct Entity {
        std::string_view text;
        char byte;
    };
    static constexpr Entity kPasses[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#xD;", '\r'}, {"&#xA;", '\n'},
    };
    for (const Entity& entity : kPasses) {
        for (std::size_t at = value.find(entity.text); at != std::string::npos; at = value.find(entity.text)) {
            value.replace(at, entity.text.size(), 1, entity.byte);
        }
    }
    return value;
}

}  // namespace mk::test
