#include "render/data_mnemonics.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using mk::MnemonicVariant;
using mk::substituteMnemonics;

struct MnemonicCase {
    const char* name;
    std::string data;
    MnemonicVariant variant;
    std::string expected;
};

class Mnemonics : public testing::TestWithParam<MnemonicCase> {};

TEST_P(Mnemonics, ReplaceOnlyWholeCaseSensitiveNames) {
    const MnemonicCase& c = GetParam();
    EXPECT_EQ(substituteMnemonics(c.data, c.variant), c.expected);
}

using std::string_literals::operator""s;

INSTANTIATE_TEST_SUITE_P(
    Table, Mnemonics,
    testing::Values(MnemonicCase{"CrLfGeneral", "AB<CR><LF>", MnemonicVariant::General, "AB\r\n"},
                    MnemonicCase{"CrLfText", "AB<CR><LF>", MnemonicVariant::Text, "AB\n\n"},
                    MnemonicCase{"LowerCaseStays", "a<lf>b", MnemonicVariant::Text, "a<lf>b"},
                    MnemonicCase{"UnknownNameStays", "<FOO>x", MnemonicVariant::General, "<FOO>x"},
                    MnemonicCase{"TrailingBracketStays", "abc<", MnemonicVariant::General, "abc<"},
                    MnemonicCase{"UnclosedSpaceStays", "a<SPACE", MnemonicVariant::General, "a<SPACE"},
                    MnemonicCase{"Space", "A<SPACE>B", MnemonicVariant::Text, "A B"},
                    MnemonicCase{"GsThenDigit", "<GS>1", MnemonicVariant::General,
                                 "\x1d"
                                 "1"},
                    MnemonicCase{"Gs1IsOneByte", "<GS1>01", MnemonicVariant::General,
                                 "\xc8"
                                 "01"},
                    MnemonicCase{"NulGoesInRaw", "<NUL>A", MnemonicVariant::Text, "\0A"s},
                    MnemonicCase{"DelAndEsc", "<DEL><ESC>", MnemonicVariant::General, "\x7f\x1b"},
                    MnemonicCase{"NestedBracketStartsAgain", "<<CR>", MnemonicVariant::General, "<\r"},
                    MnemonicCase{
                        "EveryControlName",
                        "<SOH><STX><ETX><EOT><ENQ><ACK><BEL><BS><HT><VT><FF><SO><SI><DLE><DC1><DC2><DC3><DC4>"
                        "<NAK><SYN><ETB><CAN><EM><SUB><FS><RS><US>",
                        MnemonicVariant::General,
                        "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0b\x0c\x0e\x0f\x10\x11\x12\x13\x14\x15\x16\x17\x18"
                        "\x19\x1a\x1c\x1e\x1f"}),
    [](const testing::TestParamInfo<MnemonicCase>& info) { return std::string(info.param.name); });

}  // namespace
