#include <gtest/gtest.h>

#include <string>

#include "model/label_object.h"
#include "print/ndef.h"
#include "print/rfid_commands.h"

namespace {

std::string hex(std::string spaced) {
    std::erase(spaced, ' ');
    return spaced;
}

LabelObject rfidObject(const char* data, int encoderType, int dataType) {
    LabelObject object;
    object.ObjectName = "rfid1";
    object.objectdata = data;
    object.RFIDEncodertype = encoderType;
    object.RFIDDatatype = dataType;
    return object;
}

TEST(RfidCommands, NoDataOrUnknownTagTypeGivesNoCommands) {
    EXPECT_EQ(mk::buildRfidCommands(rfidObject("", 0, 0)), "");
    EXPECT_EQ(mk::buildRfidCommands(rfidObject("", 1, 3)), "");
    EXPECT_EQ(mk::buildRfidCommands(rfidObject("abc", 4, 0)), "");
    EXPECT_EQ(mk::buildRfidCommands(rfidObject("abc", -1, 0)), "");
    // Data no tag format could hold does not matter when nothing is written.
    EXPECT_EQ(mk::buildRfidCommands(rfidObject(std::string(300, 'u').c_str(), 4, 2)), "");
}

TEST(RfidCommands, UhfWriteWithDefaultPasswords) {
    LabelObject object = rfidObject("abc", 0, 0);
    object.RFIDerrortimes = 2;
    object.RFIDDatablock = 1;
    EXPECT_EQ(mk::buildRfidCommands(object), "RS0,0,0,2,0\r\nRF1,0,0,3,3,\"616263\"\r\n");
}

TEST(RfidCommands, UhfPasswordsAreSentOnlyWhenSetAndNotTheDefault) {
    struct Case {
        const char* oldPassword;
        const char* newPassword;
        const char* expected;
    };
    const Case cases[] = {
        {"12345678", "5A1C9E27", "RS0,0,0,2,0\r\nRZ0,2,\"12345678\"\r\nRF1,0,0,3,1,\"616263\"\r\n"},
        {"5A1C9E27", "87654321", "RS0,0,0,2,0\r\nRF1,0,0,3,1,\"616263\"\r\nRZ1,2,\"87654321\"\r\n"},
        {"", "", "RS0,0,0,2,0\r\nRF1,0,0,3,1,\"616263\"\r\n"},
        {"5A1C9E2", "5A1C9E270", "RS0,0,0,2,0\r\nRZ0,2,\"5A1C9E2\"\r\nRF1,0,0,3,1,\"616263\"\r\nRZ1,2,\"5A1C9E270\"\r\n"},
    };
    for (const Case& c : cases) {
        LabelObject object = rfidObject("abc", 0, 0);
        object.RFIDaccessoldpwd = c.oldPassword;
        object.RFIDaccessnewpwd = c.newPassword;
        EXPECT_EQ(mk::buildRfidCommands(object), c.expected) << c.oldPassword << " " << c.newPassword;
    }
}

TEST(RfidCommands, UhfHexDataPassesThroughAndOddDigitCountsAsNothing) {
    LabelObject object = rfidObject("ABCDE", 0, 1);
    object.RFIDDatablock = 2;
    EXPECT_EQ(mk::buildRfidCommands(object), "RS0,0,0,2,0\r\nRF1,0,0,2,5,\"ABCDE\"\r\n");
}

TEST(RfidCommands, NegativeNumbersKeepTheirSign) {
    LabelObject object = rfidObject("abc", 0, 0);
    object.RFIDerrortimes = -1;
    object.RFIDDatablock = -1;
    EXPECT_EQ(mk::buildRfidCommands(object), "RS0,0,0,-1,0\r\nRF1,0,0,3,-1,\"616263\"\r\n");
}

TEST(RfidCommands, HfBlockWritePadsToWholeBlocks) {
    struct Case {
        const char* data;
        int dataType;
        int alignment;
        const char* expectedLine;
    };
    const Case cases[] = {
        {"abc", 0, 0, "HF2,5,4,\"61626300\"\r\n"},
        {"abc", 0, 1, "HF2,5,4,\"00616263\"\r\n"},
        {"ABCDE", 1, 0, "HF2,5,4,\"ABCDE000\"\r\n"},
        {"ABCDE", 1, 1, "HF2,5,4,\"000ABCDE\"\r\n"},
        {"abcd", 0, 0, "HF2,5,4,\"61626364\"\r\n"},
        {"0102030405060708", 1, 1, "HF2,5,8,\"0102030405060708\"\r\n"},
        {"0102", 4, 1, "HF2,0,8,\"E1400E0101020000\"\r\n"},
        {"0102", 5, 0, "HF2,5,4,\"01020000\"\r\n"},
    };
    for (const Case& c : cases) {
        LabelObject object = rfidObject(c.data, 1, c.dataType);
        object.HFstartblock = 5;
        object.DataAlignment = c.alignment;
        object.RFIDerrortimes = 2;
        object.HFModulepower = 7;
        EXPECT_EQ(mk::buildRfidCommands(object), std::string("HS2,1,2,7\r\nHC0\r\n") + c.expectedLine) << c.data;
    }
}

TEST(RfidCommands, HfBlockNdefTextGetsTheCapabilityContainerAtBlockZero) {
    for (int encoderType : {1, 3}) {
        LabelObject object = rfidObject("abc", encoderType, 3);
        object.HFstartblock = 9;
        object.DataAlignment = 1;
        object.HFReadverifylabel = true;
        const std::string data = hex("E1 40 0E 01 03 0A D1 01 06 54 02 65 6E 61 62 63 FE 00 00 00");
        EXPECT_EQ(mk::buildRfidCommands(object), "HS2,1,2,0\r\nHC1\r\nHF2,0,20,\"" + data + "\"\r\n");
    }
}

TEST(RfidCommands, HfDirectoryWriteOfNdefStartsAtBlockOne) {
    LabelObject object = rfidObject("abc", 2, 2);
    object.HFstartblock = 4;
    const std::string directory = "140103E103E103E103E103E103E103E103E103E103E103E103E103E103E103E1";
    EXPECT_EQ(mk::buildRfidCommands(object),
              "HS2,2,2,0\r\nHC0\r\nHA0,2,1,1,\"" + directory + hex("00 00 03 08 D1 01 04 55 03 61 62 63 FE") + "\"\r\n");

    object.RFIDDatatype = 0;
    object.HFReadverifylabel = true;
    EXPECT_EQ(mk::buildRfidCommands(object), "HS2,2,2,0\r\nHC1\r\nHA0,2,4,1,\"616263\"\r\n");
}

TEST(RfidCommands, LongDataIsNeverCut) {
    const std::string data(600, 'a');
    LabelObject object = rfidObject(data.c_str(), 0, 0);
    const std::optional<std::string> commands = mk::buildRfidCommands(object);
    ASSERT_TRUE(commands.has_value());
    EXPECT_EQ(*commands, "RS0,0,0,2,0\r\nRF1,0,0,600,1,\"" + mk::hexEncodeUpper(data) + "\"\r\n");
}

TEST(RfidCommands, DataTheTagFormatCannotHoldFailsTheObject) {
    EXPECT_FALSE(mk::buildRfidCommands(rfidObject(std::string(300, 'u').c_str(), 1, 2)).has_value());
    EXPECT_FALSE(mk::buildRfidCommands(rfidObject(std::string(70000, 't').c_str(), 2, 3)).has_value());
    // Raw NDEF data is the host's own stream and passes as given.
    EXPECT_TRUE(mk::buildRfidCommands(rfidObject(std::string(700, '0').c_str(), 1, 4)).has_value());
}

}  // namespace
