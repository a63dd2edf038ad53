#include <gtest/gtest.h>

#include <string>

#include "print/ndef.h"

namespace {

// Expected streams are written as blank-separated digit pairs for reading.
std::string hex(std::string spaced) {
    std::erase(spaced, ' ');
    return spaced;
}

TEST(HexEncodeUpper, TwoUppercaseDigitsPerByte) {
    EXPECT_EQ(mk::hexEncodeUpper("abc"), "616263");
    EXPECT_EQ(mk::hexEncodeUpper(std::string("\x00\xFF\x0A\xE9", 4)), "00FF0AE9");
    EXPECT_EQ(mk::hexEncodeUpper(""), "");
}

TEST(NdefUriPayload, LongestPrefixIsTriedFirst) {
    struct Case {
        const char* uri;
        const char* code;
        const char* rest;
    };
    const Case cases[] = {
        {"http://www.abc", "01", "616263"}, {"https://www.abc", "02", "616263"}, {"http://abc", "03", "616263"},
        {"https://abc", "04", "616263"},    {"HTTP://abc", "03", "485454503A2F2F616263"},
        {"abc", "03", "616263"},            {"", "03", ""},
    };
    for (const Case& c : cases) {
        const mk::NdefUriPayload payload = mk::buildNdefUriPayload(c.uri);
        EXPECT_EQ(payload.code, c.code) << c.uri;
        EXPECT_EQ(payload.rest, c.rest) << c.uri;
    }
}

TEST(NdefUriTlv, RecordsAndTlvPrefixesByTagType) {
    struct Case {
        const char* data;
        int tagType;
        const char* expected;
    };
    const Case cases[] = {
        {"abc", 1, "03 08 D1 01 04 55 03 61 62 63 FE"},
        {"https://abc", 1, "03 08 D1 01 04 55 04 61 62 63 FE"},
        {"https://abc", 3, "03 08 D1 01 04 55 04 61 62 63 FE"},
        {"https://abc", 2, "00 00 03 08 D1 01 04 55 04 61 62 63 FE"},
        {"https://abc", 0, "01 03 A0 0C 34 03 08 D1 01 04 55 04 61 62 63 FE"},
        {"https://abc", 7, "01 03 A0 0C 34 03 08 D1 01 04 55 04 61 62 63 FE"},
        {"a||||b||||c", 3, "03 12 91 01 02 55 03 61 11 01 02 55 03 62 51 01 02 55 03 63 FE"},
        {"||||", 1, "03 0A 91 01 01 55 03 51 01 01 55 03 FE"},
        {"x||||", 1, "03 0B 91 01 02 55 03 78 51 01 01 55 03 FE"},
        {"|||||", 1, "03 0B 91 01 01 55 03 51 01 02 55 03 7C FE"},
        {"||", 1, "03 07 D1 01 03 55 03 7C 7C FE"},
    };
    for (const Case& c : cases) EXPECT_EQ(mk::buildNdefUriTlv(c.data, c.tagType), hex(c.expected)) << c.data;
}

TEST(NdefUriTlv, RefusesMessagesTheOneByteLengthCannotHold) {
    // One record: 5 bytes of header, lengths, type and code, then the URI bytes.
    EXPECT_TRUE(mk::buildNdefUriTlv(std::string(249, 'a'), 1).has_value());   // 254 bytes
    EXPECT_FALSE(mk::buildNdefUriTlv(std::string(250, 'a'), 1).has_value());  // 255 bytes
    EXPECT_FALSE(mk::buildNdefUriTlv(std::string(100, 'a') + "||||" + std::string(150, 'b'), 1).has_value());
}

TEST(NdefTextTlv, ShortRecordWithLanguageByEncoding) {
    EXPECT_EQ(mk::buildNdefTextTlv("abc", 0, 1), hex("03 0A D1 01 06 54 02 65 6E 61 62 63 FE"));
    EXPECT_EQ(mk::buildNdefTextTlv("abc", 2, 2), hex("00 00 03 0A D1 01 06 54 02 7A 68 61 62 63 FE"));
    for (int encoding : {0, 1, 3, -1}) {
        for (int tagType : {0, 1, 3}) {
            EXPECT_EQ(mk::buildNdefTextTlv("abc", encoding, tagType), hex("03 0A D1 01 06 54 02 65 6E 61 62 63 FE"));
        }
    }
    // "||||" is text, not a separator.
    EXPECT_EQ(mk::buildNdefTextTlv("||||", 0, 1), hex("03 0B D1 01 07 54 02 65 6E 7C 7C 7C 7C FE"));
}

TEST(NdefTextTlv, LengthFormsAroundTheShortRecordLimit) {
    struct Case {
        size_t length;
        const char* start;
    };
    const Case cases[] = {
        {247, "03 FE D1 01 FA 54 02 65 6E"},
        {248, "03 FF 00 FF D1 01 FB 54 02 65 6E"},
        {249, "03 FF 01 03 C1 01 00 00 00 FC 54 02 65 6E"},
    };
    for (const Case& c : cases) {
        const std::string text(c.length, 'a');
        const std::optional<std::string> tlv = mk::buildNdefTextTlv(text, 0, 1);
        ASSERT_TRUE(tlv.has_value());
        EXPECT_EQ(tlv->substr(0, hex(c.start).size()), hex(c.start)) << c.length;
        EXPECT_EQ(tlv->substr(tlv->size() - 2 - 2 * c.length), mk::hexEncodeUpper(text) + "FE");
    }
}

TEST(NdefTextTlv, RefusesTextTheTwoByteLengthCannotHold) {
    EXPECT_TRUE(mk::buildNdefTextTlv(std::string(0xFFFF - 10, 'a'), 0, 1).has_value());
    EXPECT_FALSE(mk::buildNdefTextTlv(std::string(0xFFFF - 9, 'a'), 0, 1).has_value());
}

}  // namespace
