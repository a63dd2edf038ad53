#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cmath>
#include <cfloat>
#include <limits>
#include <random>
#include <string>

#include "lsf/flat_xml.h"
#include "lsf/number_text.h"
#include "support/entity_reference.h"
#include "support/temp_dir.h"

namespace {

using namespace std::string_literals;

struct LookupCase {
    const char* name;
    std::string chunk;
    const char* key;
    std::string text;
};

TEST(FlatXml, TextIsTheRawValueBetweenTheFirstOpeningTagAndTheNextClosingTag) {
    const LookupCase cases[] = {
        {"plain", "<a><printerDPI>300</printerDPI></a>", "printerDPI", "300"},
        {"no closing tag", "<k>300", "k", ""},
        {"closing tag only before the opening tag", "</k>x<k>300", "k", ""},
        {"empty element", "<k></k>", "k", ""},
        {"self-closing element", "<k/>", "k", ""},
        {"blank before the bracket", "<k >5</k>", "k", ""},
        {"attribute", "<k a=\"1\">5</k>", "k", ""},
        {"case-sensitive key", "<A>1</A>", "a", ""},
        {"first of two elements", "<k>1</k><k>2</k>", "k", "1"},
        {"nested element wins when it comes first", "<o><v><id>7</id></v><id>3</id></o>", "id", "7"},
        {"markup inside is kept", "<k> <b>x</b>\n</k>", "k", " <b>x</b>\n"},
        {"element inside a comment is found", "<!-- <k>c</k> --><k>d</k>", "k", "c"},
        {"NUL bytes are ordinary bytes", "<k>a\0b</k>"s, "k", "a\0b"s},
        {"closing tag searched after the value", "<k></k", "k", ""},
        {"entities are decoded", "<k>x &amp;lt; y</k>", "k", "x < y"},
    };
    for (const LookupCase& c : cases) {
        EXPECT_EQ(mk::xmlGetText(c.chunk, c.key), c.text) << c.name;
    }
}

TEST(FlatXml, SixEntitiesDecodeInOrderAndRestartAfterEachReplacement) {
    const std::pair<std::string, std::string> cases[] = {
        {"&amp;amp;", "&"},
        {"&amp;amp;amp;amp;", "&"},
        {"&amp;lt;", "<"},
        {"&amp;#xA;", "\n"},
        {"&amp;quot;&amp;gt;", "\">"},
        {"&#xD;&#xA;", "\r\n"},
        {"&#xd;&#xa;", "&#xd;&#xa;"},
        {"&apos;&#10;&AMP;", "&apos;&#10;&AMP;"},
        {"&&amp;amp;;", "&&;"},
        {"&lt;amp;", "<amp;"},  // pass 2 comes after pass 1: no second round
        {"&&lt;lt;", "&<lt;"},
        {"&amp;&amp;amp;lt;", "&<"},
        {"&#x&amp;A;", "&#x&A;"},  // pass 1 makes "&#x&A;", which holds no entity
        {"&amp;#x&amp;#xA;A;", "&#x\nA;"},
        {"no entities", "no entities"},
    };
    for (const auto& [raw, decoded] : cases) {
        EXPECT_EQ(mk::decodeXmlEntities(raw), decoded) << raw;
        EXPECT_EQ(mk::test::decodeEntitiesLiterally(raw), decoded) << raw;
    }
}

// Numbers too: they are read without decoding the whole value.
TEST(FlatXml, DecodingMatchesTheLiteralRuleOnRandomEntitySoup) {
    const char* const pieces[] = {"&", "amp;", "lt;", "gt;", "quot;", "#xD;", "#xA;", "#x",
                                  "a", ";", "&amp;", "&lt;", " ", "1", "-", ".e", "\t", "#x9;", "\v"};
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> length(0, 24);
    for (int round = 0; round < 20000; ++round) {
        std::string raw;
        for (int n = length(random); n > 0; --n) raw += pieces[pick(random)];
        const std::string literal = mk::test::decodeEntitiesLiterally(raw);
        ASSERT_EQ(mk::decodeXmlEntities(raw), literal) << raw;
        ASSERT_EQ(mk::xmlGetInt("<n>" + raw + "</n>", "n"), mk::textToInt32(literal, 10)) << raw;
        ASSERT_EQ(mk::xmlGetFloat("<n>" + raw + "</n>", "n"), mk::textToFloat(literal)) << raw;
    }
}

TEST(FlatXml, DecodingTakesLinearTimeOnCascadingEntities) {
    // The literal rule rescans from the start after every one of these
    // replacements; the test's time limit stops a quadratic decoder.
    std::string ampersands = "&";
    std::string lessThans;
    for (int i = 0; i < 400000; ++i) {
        ampersands += "amp;";
        lessThans += "&amp;lt;";
    }
    EXPECT_EQ(mk::decodeXmlEntities(ampersands), "&");
    EXPECT_EQ(mk::decodeXmlEntities(lessThans), std::string(400000, '<'));
}

// A decoded text is what the document keeps: one made of entities holds
// about its own size, not the raw text's, whichever pass decoded it.
TEST(FlatXml, TextMadeOfEntitiesKeepsAboutItsOwnSize) {
    std::string lineFeeds, cascaded;
    for (int i = 0; i < 200000; ++i) {
        lineFeeds += "&#xA;";
        cascaded += "&amp;lt;";
    }
    for (const std::string& raw : {lineFeeds, cascaded}) {
        const std::string decoded = mk::decodeXmlEntities(raw);
        ASSERT_EQ(decoded.size(), 200000u);
        EXPECT_LE(decoded.capacity(), decoded.size() + decoded.size() / 4 + 4096);
    }
}

struct NumberCase {
    std::string text;
    int integer;
    float real;
};

TEST(FlatXml, NumbersReadTheLongestPrefixLikeTheCLibrary) {
    const float fltMax = std::numeric_limits<float>::max();
    const float inf = std::numeric_limits<float>::infinity();
    const NumberCase cases[] = {
        {"300", 300, 300.0f},
        {"", 0, 0.0f},
        {"  42", 42, 42.0f},
        {"\t42", 42, 42.0f},
        {"\t \n\v\f\r-3.5", -3, -3.5f},
        {" \t", 0, 0.0f},
        {"&#x9;42", 0, 0.0f},  // no entity the reader decodes: not white space
        {"&#xA;&#xD; \t7.5", 7, 7.5f},
        {"\t&amp;#xA;\t0x1p4", 0, 16.0f},
        {"&#xD;", 0, 0.0f},
        {"\t\t+\t1", 0, 0.0f},  // white space only before the sign
        {"+5", 5, 5.0f},
        {"12.7", 12, 12.7f},
        {"0x10", 0, 16.0f},
        {"1e3", 1, 1000.0f},
        {"1e-2", 1, 0.01f},
        {"2.5mm", 2, 2.5f},
        {"3,5", 3, 3.0f},
        {"-7abc", -7, -7.0f},
        {"abc", 0, 0.0f},
        {"2147483647", 2147483647, 2147483647.0f},
        {"2147483648", 2147483647, 2147483648.0f},
        {"-2147483649", std::numeric_limits<int>::min(), -2147483649.0f},
        {"99999999999999999999999", 2147483647, 1e23f},
        {"3.4028235e38", 3, fltMax},
        {"3.40282356e38", 3, fltMax},  // just below halfway from the largest float to 2^128
        {"3.40282357e38", 3, inf},
        {"1e39", 1, inf},
        {"-1e39", -1, -inf},
        {"1e-50", 1, 0.0f},
        {"inf", 0, inf},
    };
    for (const NumberCase& c : cases) {
        const std::string chunk = "<n>" + c.text + "</n>";
        EXPECT_EQ(mk::xmlGetInt(chunk, "n"), c.integer) << c.text;
        EXPECT_EQ(mk::xmlGetFloat(chunk, "n"), c.real) << c.text;
    }
    EXPECT_TRUE(std::isnan(mk::xmlGetFloat("<n>nan</n>", "n")));
    EXPECT_EQ(mk::xmlGetInt("<x>1</x>", "n"), 0);
    EXPECT_EQ(mk::xmlGetFloat("<x>1</x>", "n"), 0.0f);
}

// A host may switch to a locale whose decimal separator is a comma; label
// files still write a dot. Without such a locale installed, one is compiled.
TEST(FlatXml, DecimalPointIsAlwaysADot) {
#ifdef _WIN32
    if (std::setlocale(LC_NUMERIC, "German_Germany.1252") == nullptr) GTEST_SKIP() << "no German locale";
#else
    mk::test::TempDir dir;
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        const std::string command =
            "localedef -i de_DE -f UTF-8 " + (dir / "de_DE.UTF-8").string() + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) GTEST_SKIP() << "cannot make a locale with a decimal comma";
        setenv("LOCPATH", dir.path().c_str(), 1);
        ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    }
#endif
    ASSERT_EQ(std::strtod("2,5", nullptr), 2.5);  // the locale is in force
    const float value = mk::xmlGetFloat("<n>2.5</n>", "n");
    const int integer = mk::xmlGetInt("<n>2.5</n>", "n");
    std::setlocale(LC_NUMERIC, "C");
#ifndef _WIN32
    unsetenv("LOCPATH");
#endif
    EXPECT_EQ(value, 2.5f);
    EXPECT_EQ(integer, 2);
}

TEST(FlatXml, BoolIsTrueOnlyForTrueInAnyCaseOrOne) {
    const std::pair<const char*, bool> cases[] = {
        {"true", true}, {"TRUE", true}, {"tRuE", true}, {"1", true},   {"", false},     {"yes", false},
        {"on", false},  {"2", false},   {"01", false},  {" true", false}, {"true ", false}, {"false", false},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(mk::xmlGetBool("<b>"s + text + "</b>", "b"), expected) << text;
    }
    EXPECT_FALSE(mk::xmlGetBool("<c>true</c>", "b"));
}

}  // namespace
