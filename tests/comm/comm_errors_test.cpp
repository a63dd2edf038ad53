#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "comm/comm_errors.h"
#include "mklabel.h"

namespace {

TEST(CommErrors, OpeningFailuresAppendTheDevicePath) {
    mk::setCommError(mk::CommError::UsbOpenForRead, "/dev/usb/lp3");
    EXPECT_EQ(MkGetLastErrorCode(), -511);
    EXPECT_STREQ(MkGetLastErrorMessage(), "Failed to open USB device for read: /dev/usb/lp3");

    mk::setCommError(mk::CommError::NoUsbPrinters);
    EXPECT_EQ(MkGetLastErrorCode(), 0);
    EXPECT_STREQ(MkGetLastErrorMessage(), "No VELMOR USB printers found");
}

TEST(CommErrors, CodesStayInTheCommunicationRangeAndOnlyMinus525IsShared) {
    std::map<int, int> uses;
    std::set<std::string> messages;
    for (const mk::CommErrorEntry& entry : mk::commErrorTable()) {
        EXPECT_TRUE(entry.code == 0 || (entry.code <= -501 && entry.code >= -603)) << entry.message;
        EXPECT_FALSE(entry.message.empty());
        EXPECT_TRUE(messages.emplace(entry.message).second) << "message twice: " << entry.message;
        EXPECT_EQ(mk::commErrorCode(entry.error), entry.code);
        EXPECT_EQ(mk::commErrorMessage(entry.error), entry.message);
        ++uses[entry.code];
    }
    for (const auto& [code, count] : uses) EXPECT_EQ(count, code == -525 ? 2 : 1) << code;
    EXPECT_EQ(mk::commErrorTable().size(), 43u);
}

}  // namespace
