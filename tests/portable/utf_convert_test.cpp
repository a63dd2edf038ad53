#include "portable/utf_convert.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using mk::platform::utf16ToUtf8;
using mk::platform::utf8ToUtf16;
using std::string_literals::operator""s;

struct Utf8Case {
    const char* name;
    std::string bytes;
    std::u16string expected;
};

class Utf8ToUtf16 : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8ToUtf16, ConvertsAndReplacesEachIllFormedPartOnce) {
    EXPECT_EQ(utf8ToUtf16(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, Utf8ToUtf16,
                         testing::Values(Utf8Case{"Ascii", "AB", u"AB"}, Utf8Case{"TwoByte", "\xC3\xA9", u"\u00E9"},
                                         Utf8Case{"ThreeByte", "\xE4\xBD\x93", u"\u4F53"},
                                         Utf8Case{"FourByteIsSurrogatePair", "\xF0\x9F\x98\x80", u"\U0001F600"},
                                         Utf8Case{"StopsAtZero", "A\0B"s, u"A"},
                                         Utf8Case{"LeadingZeroGivesNothing", "\0A"s, u""},
                                         Utf8Case{"LoneContinuation",
                                                  "\x80"
                                                  "A",
                                                  u"\uFFFD"
                                                  "A"},
                                         Utf8Case{"TruncatedThreeByte", "\xE4\xBD", u"\uFFFD"},
                                         Utf8Case{"LeadThenAscii",
                                                  "\xE4"
                                                  "A",
                                                  u"\uFFFD"
                                                  "A"},
                                         Utf8Case{"OverlongTwoByte", "\xC0\xAF", u"\uFFFD\uFFFD"},
                                         Utf8Case{"EncodedSurrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
                                         Utf8Case{"BeyondUnicode", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
                                         Utf8Case{"InvalidLeadByte", "\xFF", u"\uFFFD"}),
                         [](const testing::TestParamInfo<Utf8Case>& info) { return std::string(info.param.name); });

TEST(Utf16ToUtf8, RoundTripsAndReplacesLoneSurrogates) {
    EXPECT_EQ(utf16ToUtf8(u"A\u00E9\u4F53\U0001F600"), "A\xC3\xA9\xE4\xBD\x93\xF0\x9F\x98\x80");
    EXPECT_EQ(utf16ToUtf8(std::u16string(1, char16_t{0xD800}) + u"A"),
              "\xEF\xBF\xBD"
              "A");
}

}  // namespace
