#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "portable/base64_strict.h"

namespace {

using mk::platform::decodeBase64Strict;

TEST(DecodeBase64Strict, DecodesStandardText) {
    struct Case {
        std::string text;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {"TWFu", "Man"},
        {"TWE=", "Ma"},
        {"TQ==", "M"},
        {"TWFuTWE=", "ManMa"},
        {"+/+/", "\xFB\xFF\xBF"},
        {"AAEC", std::string("\x00\x01\x02", 3)},
        {"TW\r\nFu\tTQ =\n=", "ManM"},  // line breaks and blanks anywhere are skipped
        {" \r\n\t", ""},
        {"TR==", "M"},  // unused low bits are not checked
    };
    for (const Case& c : cases) {
        const auto decoded = decodeBase64Strict(c.text);
        ASSERT_TRUE(decoded.has_value()) << c.text;
        EXPECT_EQ(std::string(decoded->begin(), decoded->end()), c.bytes) << c.text;
    }
}

TEST(DecodeBase64Strict, RefusesAnythingElse) {
    const std::vector<std::string> refused = {
        "TWF",          // incomplete group without padding
        "T",            // a single sextet
        "TWFuT",        // one character past a group
        "TWE",          // missing padding
        "TQ=",          // padding cut short
        "T===",         // too much padding
        "====",         //
        "=TWE",         // padding first
        "TQ==TQ==",     // data after padding
        "TWE==",        // padding beyond the group
        "TWFu=",        // padding after a complete group
        "TW-u",         // URL-safe alphabet
        "TW_u",         //
        "TWFu!",        // punctuation
        "not base64!",  //
        std::string("TW\0u", 4),
        "TW\vFu",  // only CR, LF, space and tab are skipped
        "TW\xC3\xA9u",
    };
    for (const std::string& text : refused) EXPECT_FALSE(decodeBase64Strict(text).has_value()) << text;
}

}  // namespace
