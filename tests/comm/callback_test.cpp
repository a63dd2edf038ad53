#include "comm/callback.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <future>
#include <limits>
#include <string>

#include "comm/net_transport.h"
#include "mklabel.h"
#include "model/last_error.h"
#include "model/printer.h"
#include "platform/tcp_socket_testing.h"
#include "portable/socket_use.h"
#include "support/callback_test_setup.h"
#include "support/fake_net_printer.h"
#include "support/loopback.h"
#include "support/test_sockets.h"

namespace {

using mk::test::CallbackTestSetup;
using mk::test::FakeNetPrinter;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kFakeWait{5000};

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

const std::uint8_t* bytesOf(const std::string& text) { return reinterpret_cast<const std::uint8_t*>(text.data()); }

Printer networkPrinter(const std::string& address, int type = 2) {
    Printer printer;
    printer.interfaceType = type;
    printer.netAddress = address;
    return printer;
}

// Listens on a port the way another program would, on one address or on
// every address (0.0.0.0). Earlier exchanges may have left the port in
// TIME_WAIT on some address: the holder takes it as a listener would.
class PortHolder {
public:
    PortHolder(const std::string& address, int port) : fd_(mk::test::openSocket()) {
        const sockaddr_in local = mk::test::socketAddress(address, port);
        held_ = fd_ >= 0 && mk::test::reuseAddressAsListenersDo(fd_) &&
                bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 && listen(fd_, 1) == 0;
    }
    ~PortHolder() {
        if (fd_ >= 0) mk::test::closeSocket(fd_);
    }
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;
    bool held() const { return held_; }

private:
    int fd_;
    bool held_ = false;
};

class Callback : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(mk::platform::SocketUse::count(), 0); }
    CallbackTestSetup setup;
};

TEST(CallbackAddress, PrinterIsToldTheHostAddressSharingItsFirstNumber) {
    const std::vector<std::string> host = {"172.16.0.5", "10.1.2.3", "192.168.7.7"};
    struct Case {
        const char* printer;
        std::optional<std::string> chosen;
    };
    const Case cases[] = {
        {"10.0.0.9", "10.1.2.3"},
        {"192.168.1.50", "192.168.7.7"},
        {"172.31.0.1", "172.16.0.5"},
        {"100.1.1.1", "172.16.0.5"},  // "10." is not a prefix of "100."
        {"8.8.8.8", "172.16.0.5"},    // no match: the first address
        {"printer", std::nullopt},    // no '.'
        {"", std::nullopt},
        {"10.0.0.9 ", std::nullopt},  // names no host
        {"10.0.0.", std::nullopt},
        {"0.0.0.0", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.printer);
        EXPECT_EQ(mk::chooseLocalAddress(c.printer, host), c.chosen);
    }
    EXPECT_EQ(mk::chooseLocalAddress("10.0.0.9", {}), std::nullopt);
    EXPECT_EQ(mk::chooseLocalAddress("10.0.0.9", {"100.64.0.1", "10.1.2.3"}), "10.1.2.3");  // "100." is no "10."
}

// The host's name resolves to loopback only on many Linux hosts: the printer
// must be told an address of an interface it can reach.
TEST(CallbackAddress, ChosenFromTheHostsInterfaces) {
    const mk::platform::ScopedInterfaceAddresses interfaces(
        {{"127.0.0.1", true}, {"198.51.100.7", false}, {"192.0.2.2", false}});
    struct Case {
        const char* printer;
        const char* chosen;
    };
    const Case cases[] = {
        {"192.0.2.50", "192.0.2.2"},
        {"10.1.2.3", "198.51.100.7"},  // no 10.x interface: the first that is not loopback
        {"127.3.4.5", "127.0.0.1"},    // a printer on this host
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.printer);
        EXPECT_EQ(mk::chooseLocalAddress(c.printer), c.chosen);
    }
}

TEST(CallbackWait, ComputedIn32BitFloats) {
    struct Case {
        float lengthMm;
        int speed;
        int waitMs;
    };
    const Case cases[] = {
        {75.0f, 4, 838},
        {20.0f, 4, 297},
        {40.0f, 4, 494},
        {1.27f, 4, 113},  // 12.5 in exact arithmetic; 32-bit steps round it up
        {25.4f, 1, 1100},
        {0.0f, 4, 200},
        {75.0f, 0, 200},
        {-10.0f, 4, 200},
        {75.0f, -2, 200},
        {std::nanf(""), 4, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lengthMm);
        EXPECT_EQ(mk::printWaitMs(c.lengthMm, c.speed), c.waitMs);
    }
    // A length no label has stays a finite wait.
    EXPECT_GT(mk::printWaitMs(std::numeric_limits<float>::infinity(), 1), 0);
    EXPECT_GT(mk::printWaitMs(3e38f, 1), 0);
}

TEST_F(Callback, TagAnswerComesBackWithoutItsFraming) {
    FakeNetPrinter printer;
    printer.setCallbackAnswer(std::string("\x02" "E2801160\x00" "6000\x03\r\n", 17));
    std::string answer;
    EXPECT_TRUE(mk::sendAndAwaitCallback(printer.address(), "RD1,2,0,6\r\n", 0, 2000, answer));
    EXPECT_EQ(answer, "E28011606000");
    ASSERT_TRUE(printer.waitForJobs(1, kFakeWait));
    EXPECT_EQ(printer.jobs()[0], setup.callbackCommand(setup.firstPort()) + "RD1,2,0,6\r\n");
}

TEST_F(Callback, TakenPortsAreSkipped) {
    for (const std::string& holderAddress : {std::string("0.0.0.0"), setup.hostAddress()}) {
        SCOPED_TRACE(holderAddress);
        PortHolder taken(holderAddress, setup.firstPort());
        ASSERT_TRUE(taken.held());
        FakeNetPrinter printer;
        printer.setCallbackAnswer("OK");
        std::string answer;
        EXPECT_TRUE(mk::sendAndAwaitCallback(printer.address(), "HI0,2,0,2,1,2\r\n", 9100, 2000, answer));
        EXPECT_EQ(answer, "OK");
        ASSERT_EQ(printer.callbackTargets().size(), 1u);
        EXPECT_EQ(printer.callbackTargets()[0], setup.hostAddress() + ":" + std::to_string(setup.firstPort() + 1));
        EXPECT_EQ(printer.jobs()[0].rfind(setup.callbackCommand(setup.firstPort() + 1), 0), 0u);
    }
}

// The printer hangs up last, so each exchange leaves the host's end of the
// call-back in TIME_WAIT on the port: a firewall opened for 9210 must still
// see 9210 on the next exchange.
TEST_F(Callback, ShippedPortIsTakenAgainByTheNextExchange) {
    mk::CommTiming shipped = mk::commTiming();
    shipped.firstCallbackPort = 9210;
    const mk::ScopedCommTiming timing(shipped);
    FakeNetPrinter printer;
    printer.setCallbackAnswer("OK");
    for (int exchange = 0; exchange < 2; ++exchange) {
        SCOPED_TRACE(exchange);
        std::string answer;
        EXPECT_TRUE(mk::sendAndAwaitCallback(printer.address(), "RD1,2,0,6\r\n", 9100, 2000, answer));
        const auto targets = printer.callbackTargets();
        ASSERT_EQ(targets.size(), static_cast<std::size_t>(exchange + 1));
        if (exchange == 0 && targets[0] != setup.hostAddress() + ":9210") {
            GTEST_SKIP() << "9210 is in use by another program";
        }
        EXPECT_EQ(targets.back(), setup.hostAddress() + ":9210");
    }
}

TEST_F(Callback, NoCallbackFailsAfterTheWaitTime) {
    struct Case {
        int timeoutMs;
        int expectedWaitMs;
    };
    // 0 takes the default wait, which the setup shortened to 400 ms.
    for (const Case& c : {Case{300, 300}, Case{0, 400}, Case{-5, 400}}) {
        SCOPED_TRACE(c.timeoutMs);
        FakeNetPrinter printer;  // never calls back
        std::string answer = "stale";
        const auto start = Clock::now();
        EXPECT_FALSE(mk::sendAndAwaitCallback(printer.address(), "RD1,2,0,6\r\n", 9100, c.timeoutMs, answer));
        EXPECT_GE(millisecondsSince(start), c.expectedWaitMs);
        EXPECT_LT(millisecondsSince(start), c.expectedWaitMs + 2000);
        EXPECT_EQ(answer, "");
        EXPECT_TRUE(printer.waitForJobs(1, kFakeWait));  // it was asked
    }
}

// A tag read's exchange holds one unit of the process's socket use count;
// the confirmed print starts the socket library itself, outside the count.
TEST_F(Callback, OnlyTheTagReadExchangeIsCounted) {
    for (const bool confirmedPrint : {false, true}) {
        SCOPED_TRACE(confirmedPrint);
        FakeNetPrinter device;  // never calls back
        const std::string job = "job";
        auto exchange = std::async(std::launch::async, [&] {
            std::string answer;
            return confirmedPrint ? mk::writeAndWaitForPn(networkPrinter(device.address()), bytesOf(job), 3, 500, 0)
                                  : mk::sendAndAwaitCallback(device.address(), job, 9100, 500, answer);
        });
        ASSERT_TRUE(device.waitForJobs(1, kFakeWait));  // the exchange now waits for the call-back
        EXPECT_EQ(mk::platform::SocketUse::count(), confirmedPrint ? 0 : 1);
        EXPECT_FALSE(exchange.get());
    }
}

TEST_F(Callback, UnreachablePrinterStillEndsAfterTheWaitTime) {
    FakeNetPrinter printer(FakeNetPrinter::Options{.raw = FakeNetPrinter::Behaviour::Refuse});
    std::string answer;
    const auto start = Clock::now();
    EXPECT_FALSE(mk::sendAndAwaitCallback(printer.address(), "RD1,2,0,6\r\n", 9100, 300, answer));
    EXPECT_GE(millisecondsSince(start), 300);
}

TEST_F(Callback, AnswerOfFramingOnlyCountsAsNone) {
    for (const std::string& reply : {std::string("\r\n"), std::string("\x02\x03", 2), std::string()}) {
        FakeNetPrinter printer;
        printer.setCallbackAnswer(reply);
        std::string answer;
        EXPECT_FALSE(mk::sendAndAwaitCallback(printer.address(), "RD1,2,0,6\r\n", 9100, 1000, answer));
        EXPECT_EQ(answer, "");
    }
}

TEST_F(Callback, MissingAddressOrPayloadOpensNothing) {
    FakeNetPrinter printer;
    std::string answer;
    EXPECT_FALSE(mk::sendAndAwaitCallback("", "RD1,2,0,6\r\n", 9100, 1000, answer));
    EXPECT_FALSE(mk::sendAndAwaitCallback(printer.address(), "", 9100, 1000, answer));
    EXPECT_FALSE(printer.waitForJobs(1, milliseconds(100)));
}

TEST_F(Callback, AddressWithoutADotFailsBeforeAnySocket) {
    std::string answer;
    const auto start = Clock::now();
    EXPECT_FALSE(mk::sendAndAwaitCallback("localhost", "RD1,2,0,6\r\n", 9100, 5000, answer));
    mk::setLastError(-777, "before");
    const std::string job = "job";
    EXPECT_FALSE(mk::writeAndWaitForPn(networkPrinter("localhost"), bytesOf(job), 3, 5000, 10.0f));
    EXPECT_EQ(mk::getLastErrorCode(), -777);
    EXPECT_LT(millisecondsSince(start), 1000);
}

TEST_F(Callback, ForeignPeerIsTurnedAway) {
    struct Case {
        std::optional<std::string> printerAnswer;
        bool result;
        std::string answer;
    };
    const Case cases[] = {
        {std::nullopt, false, ""},      // only the stranger calls
        {"AB12", true, "AB12"},         // the stranger first, then the printer
    };
    for (const Case& c : cases) {
        FakeNetPrinter printer;
        printer.setForeignCallback("DEADBEEF");
        printer.setCallbackAnswer(c.printerAnswer);
        std::string answer;
        const auto start = Clock::now();
        EXPECT_EQ(mk::sendAndAwaitCallback(printer.address(), "RD1,2,0,6\r\n", 9100, 800, answer), c.result);
        EXPECT_EQ(answer, c.answer);
        if (!c.result) {
            EXPECT_GE(millisecondsSince(start), 800);  // the wait went on after the stranger
        }
        EXPECT_GE(printer.callbackTargets().size(), 1u);
    }
}

TEST_F(Callback, ConfirmedPrintSendsTheJobAndWaitsForTheLabel) {
    for (int type : {2, 5, 7, 9}) {
        SCOPED_TRACE(type);
        FakeNetPrinter device;
        device.setCallbackAnswer("PN");
        Printer printer = networkPrinter(device.address(), type);
        printer.speed = 4;
        const std::string job = "^XA^FDconfirmed^XZ\r\n";
        const auto start = Clock::now();
        EXPECT_TRUE(mk::writeAndWaitForPn(printer, bytesOf(job), static_cast<int>(job.size()), 2000, 20.0f));
        EXPECT_GE(millisecondsSince(start), 100 + 297);  // the pause before the job, then the label
        ASSERT_TRUE(device.waitForJobs(1, kFakeWait));
        EXPECT_EQ(device.jobs()[0], setup.callbackCommand(setup.firstPort()) + job);
    }
}

TEST_F(Callback, ConfirmedPrintSendsALargeJobWhole) {
    mk::platform::setSendLimitForTesting(3000);
    FakeNetPrinter device(FakeNetPrinter::Options{.pieceBytes = 900});
    device.setCallbackAnswer("PN");
    Printer printer = networkPrinter(device.address());
    std::string job(100000, '\0');
    for (std::size_t i = 0; i < job.size(); ++i) job[i] = static_cast<char>(i % 251);
    EXPECT_TRUE(mk::writeAndWaitForPn(printer, bytesOf(job), static_cast<int>(job.size()), 3000, 0.0f));
    mk::platform::setSendLimitForTesting(0);
    ASSERT_TRUE(device.waitForJobs(1, kFakeWait));
    EXPECT_TRUE(device.jobs()[0] == setup.callbackCommand(setup.firstPort()) + job);
}

TEST_F(Callback, ConfirmedPrintRejectsAnswersOtherThanPN) {
    for (const std::string& reply : {std::string("P"), std::string("PX"), std::string("NP"), std::string()}) {
        SCOPED_TRACE(reply);
        FakeNetPrinter device;
        device.setCallbackAnswer(reply);
        mk::setLastError(0, "");
        const std::string job = "job";
        EXPECT_FALSE(mk::writeAndWaitForPn(networkPrinter(device.address()), bytesOf(job), 3, 2000, 10.0f));
        EXPECT_EQ(mk::getLastErrorCode(), MK_ERR_PN_NOT_RECEIVED);
        EXPECT_STREQ(mk::getLastErrorMessage(), "writeAndWaitForPn: expected 'PN' not received");
        ASSERT_TRUE(device.waitForJobs(1, kFakeWait));  // the job had gone out
    }
}

TEST_F(Callback, ConfirmedPrintWithoutCallbackFailsAfterTheWaitTime) {
    for (int timeoutMs : {300, 0}) {  // 0: the default wait, 600 ms in this setup
        SCOPED_TRACE(timeoutMs);
        FakeNetPrinter device;
        mk::setLastError(-777, "before");
        const std::string job = "job";
        const auto start = Clock::now();
        EXPECT_FALSE(mk::writeAndWaitForPn(networkPrinter(device.address()), bytesOf(job), 3, timeoutMs, 10.0f));
        EXPECT_GE(millisecondsSince(start), timeoutMs > 0 ? timeoutMs : 600);
        EXPECT_EQ(mk::getLastErrorCode(), -777);
    }
}

TEST_F(Callback, ConfirmedPrintFromAStrangerIsNotTaken) {
    FakeNetPrinter device;
    device.setForeignCallback("PN");
    const std::string job = "job";
    EXPECT_FALSE(mk::writeAndWaitForPn(networkPrinter(device.address()), bytesOf(job), 3, 700, 10.0f));
    EXPECT_EQ(device.callbackTargets().size(), 1u);
}

TEST_F(Callback, ConfirmedPrintToAnUnreachablePrinterFailsAtOnce) {
    FakeNetPrinter device(FakeNetPrinter::Options{.raw = FakeNetPrinter::Behaviour::Refuse});
    mk::setLastError(-777, "before");
    const std::string job = "job";
    const auto start = Clock::now();
    EXPECT_FALSE(mk::writeAndWaitForPn(networkPrinter(device.address()), bytesOf(job), 3, 5000, 10.0f));
    EXPECT_LT(millisecondsSince(start), 2000);
    EXPECT_EQ(mk::getLastErrorCode(), -777);
}

TEST_F(Callback, ConfirmedPrintChecksPrinterAndData) {
    const std::string job = "job";
    for (int type : {0, 1, 3, 4, 6, 8, 10, -1}) {
        SCOPED_TRACE(type);
        EXPECT_FALSE(mk::writeAndWaitForPn(networkPrinter("127.0.0.1", type), bytesOf(job), 3, 100, 10.0f));
        EXPECT_EQ(mk::getLastErrorCode(), MK_ERR_PN_NOT_NET);
        EXPECT_STREQ(mk::getLastErrorMessage(), "writeAndWaitForPn: not a NET connection");
    }
    EXPECT_FALSE(mk::writeAndWaitForPn(networkPrinter(""), bytesOf(job), 3, 100, 10.0f));
    EXPECT_EQ(mk::getLastErrorCode(), MK_ERR_PN_NOT_NET);
    EXPECT_FALSE(mk::writeAndWaitForPn(networkPrinter("127.0.0.1"), nullptr, 3, 100, 10.0f));
    EXPECT_EQ(mk::getLastErrorCode(), MK_ERR_PN_DATA);
    EXPECT_STREQ(mk::getLastErrorMessage(), "writeAndWaitForPn: invalid data");
    EXPECT_FALSE(mk::writeAndWaitForPn(networkPrinter("127.0.0.1"), bytesOf(job), 0, 100, 10.0f));
    EXPECT_EQ(mk::getLastErrorCode(), MK_ERR_PN_DATA);
}

}  // namespace
