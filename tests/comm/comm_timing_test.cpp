#include "comm/comm_timing.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;

// Tests run with shortened waits; these are the ones hosts and printers meet.
TEST(CommTimingShipped, AreTheWaitsPrintersAndHostsExpect) {
    const mk::CommTiming& shipped = mk::commTiming();
    EXPECT_EQ(shipped.usbWriteStallLimit, 30000ms);
    EXPECT_EQ(shipped.usbStatusPause, 500ms);
    EXPECT_EQ(shipped.usbTagReadPause, 50ms);
    EXPECT_EQ(shipped.usbResponsePause, 100ms);
    EXPECT_EQ(shipped.connectBound, 20000ms);
    EXPECT_EQ(shipped.netReceiveTimeout, 10000ms);
    EXPECT_EQ(shipped.netSendStallLimit, 30000ms);
    EXPECT_EQ(shipped.netStatusPause, 500ms);
    EXPECT_EQ(shipped.tagWaitDefault, 3000ms);
    EXPECT_EQ(shipped.confirmWaitDefault, 10000ms);
    EXPECT_EQ(shipped.firstCallbackPort, 9210);
    EXPECT_EQ(shipped.pnAnswerWait, 10000ms);
    EXPECT_EQ(shipped.rpAnswerWait, 5000ms);
}

TEST(CommTimingShipped, ComeBackWhenATestsOwnValuesGo) {
    {
        const mk::ScopedCommTiming outer({.netStatusPause = 7ms});
        {
            const mk::ScopedCommTiming inner({.netStatusPause = 3ms});
            EXPECT_EQ(mk::commTiming().netStatusPause, 3ms);
        }
        EXPECT_EQ(mk::commTiming().netStatusPause, 7ms);
    }
    EXPECT_EQ(mk::commTiming().netStatusPause, 500ms);
}

}  // namespace
