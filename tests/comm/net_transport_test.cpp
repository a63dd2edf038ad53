#include "comm/net_transport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "comm/comm_timing.h"
#include "platform/tcp_socket_testing.h"
#include "portable/socket_use.h"
#include "support/fake_net_printer.h"
#include "support/loopback.h"

namespace {

using mk::test::FakeNetPrinter;
using Behaviour = FakeNetPrinter::Behaviour;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kJobWait{5000};

std::string patternBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xff);
    return bytes;
}

const std::uint8_t* bytesOf(const std::string& text) { return reinterpret_cast<const std::uint8_t*>(text.data()); }

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

// Every exchange must give back its unit of the use count, whatever happened.
class NetTransport : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(mk::platform::SocketUse::count(), 0); }
};

class SendLimit {
public:
    explicit SendLimit(std::size_t bytes) { mk::platform::setSendLimitForTesting(bytes); }
    ~SendLimit() { mk::platform::setSendLimitForTesting(0); }
};

// The stall limit bounds a pause, not the job: this printer takes several
// times the limit over the job, but never pauses that long.
TEST_F(NetTransport, LargeJobArrivesWholeThroughPartialSends) {
    // Well above a scheduling hiccup of the fake printer's thread on a busy
    // machine, well below the few seconds the whole job takes.
    constexpr milliseconds kStallLimit{1000};
    const mk::ScopedCommTiming timing({.netSendStallLimit = kStallLimit});
    FakeNetPrinter printer(FakeNetPrinter::Options{.pieceBytes = 700});
    // Loopback send buffers grow to a few MiB, and the send returns once the
    // rest fits in them (4 MiB here): the job outlasts that by 6 MiB, read
    // 700 bytes at a time with a pause after each, at least 1.8 s.
    const std::string job = patternBytes(10 << 20);
    SendLimit limit(4096);  // many sends, each continuing where the last stopped

    const auto start = Clock::now();
    EXPECT_TRUE(mk::sendTcp(printer.address(), 9100, bytesOf(job), static_cast<int>(job.size())));
    EXPECT_GT(millisecondsSince(start), kStallLimit.count()) << "the printer read too fast to show anything";
    ASSERT_TRUE(printer.waitForJobs(1, kJobWait));
    EXPECT_EQ(printer.jobs()[0].size(), job.size());
    EXPECT_TRUE(printer.jobs()[0] == job);
}

TEST_F(NetTransport, PortZeroOrBelowMeansTheRawPrintPort) {
    for (int port : {9100, 0, -1, -70000}) {
        SCOPED_TRACE(port);
        FakeNetPrinter printer;
        const std::string job = "^XA\r\n";
        EXPECT_TRUE(mk::sendTcp(printer.address(), port, bytesOf(job), static_cast<int>(job.size())));
        ASSERT_TRUE(printer.waitForJobs(1, kJobWait));
        EXPECT_EQ(printer.jobs()[0], job);
    }
}

TEST_F(NetTransport, SendRefusesMissingArgumentsWithoutConnecting) {
    FakeNetPrinter printer;
    const std::string job = "data";
    EXPECT_FALSE(mk::sendTcp("", 9100, bytesOf(job), 4));
    EXPECT_FALSE(mk::sendTcp(printer.address(), 9100, nullptr, 4));
    EXPECT_FALSE(mk::sendTcp(printer.address(), 9100, bytesOf(job), 0));
    EXPECT_FALSE(mk::sendTcp(printer.address(), 9100, bytesOf(job), -1));
    EXPECT_FALSE(printer.waitForJobs(1, milliseconds(200)));
}

TEST_F(NetTransport, SendFailsWhenThePrinterRefusesOrHangsUp) {
    const std::string job = patternBytes(16 << 20);  // more than the socket buffers hold
    for (Behaviour behaviour : {Behaviour::Refuse, Behaviour::AcceptAndClose}) {
        SCOPED_TRACE(static_cast<int>(behaviour));
        FakeNetPrinter printer(FakeNetPrinter::Options{.raw = behaviour});
        // A send to a peer that has gone must fail, not kill the process.
        EXPECT_FALSE(mk::sendTcp(printer.address(), 9100, bytesOf(job), static_cast<int>(job.size())));
    }
    EXPECT_FALSE(mk::sendTcp("not an address", 9100, bytesOf(job), 10));
}

// The limit counts from the last byte the socket took, over the whole job: a
// send that restarted it for every partial send would hold the caller a
// multiple of it, the more the larger the job.
TEST_F(NetTransport, PrinterThatStopsReadingFailsTheSendAfterTheStallLimit) {
    constexpr milliseconds kStallLimit{1000};
    const mk::ScopedCommTiming timing({.netSendStallLimit = kStallLimit});
    for (std::size_t jobBytes : {std::size_t{8} << 20, std::size_t{64} << 20}) {
        SCOPED_TRACE(jobBytes);
        auto printer = std::make_unique<FakeNetPrinter>(
            FakeNetPrinter::Options{.raw = Behaviour::Stalled, .stallAfterBytes = 64 << 10});
        const std::string address = printer->address();
        const std::string job = patternBytes(jobBytes);  // far more than the socket buffers hold
        auto result = std::async(std::launch::async,
                                 [&] { return mk::sendTcp(address, 9100, bytesOf(job), static_cast<int>(job.size())); });
        const bool stopped = printer->waitForJobs(1, kJobWait);
        const auto stoppedAt = Clock::now();
        const bool ended = result.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        const long long afterStop = millisecondsSince(stoppedAt);
        printer.reset();  // hangs up, so a send that is still blocked comes back
        EXPECT_TRUE(stopped);
        EXPECT_TRUE(ended) << "the send waited past its stall limit";
        EXPECT_FALSE(result.get());
        EXPECT_GE(afterStop, kStallLimit.count() - 300);
        EXPECT_LT(afterStop, kStallLimit.count() + 900);
    }
}

TEST_F(NetTransport, StatusReplyBytesBecomeStatusCodes) {
    struct Case {
        unsigned char reply;
        int status;
    };
    const Case cases[] = {{'0', 0}, {'9', 9}, {'Y', 89}, {'Q', 81}, {'x', 120}, {0xFF, 255}, {0x00, 0}, {'5', 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.reply));
        FakeNetPrinter printer;
        printer.setStatusReplies({c.reply});
        EXPECT_EQ(mk::queryNetStatus(printer.address()), c.status);
        EXPECT_EQ(mk::queryNetStatusOnce(printer.address()), c.status);
        const auto requests = printer.statusRequests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0], "PS\r\n");
        EXPECT_EQ(requests[1], "PS\r\n");
    }
}

TEST_F(NetTransport, BusyStatusesAreAskedAgain) {
    const mk::ScopedCommTiming timing({.netStatusPause = milliseconds(5)});
    struct Case {
        std::vector<FakeNetPrinter::StatusReply> replies;
        int status;
        std::size_t requests;
    };
    const Case cases[] = {
        {{0x01, '0'}, 0, 2},
        {{0x04, 'Y'}, 89, 2},
        {{'1', '4', '1', 'Q'}, 81, 4},
        {{'4', 0x02}, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        FakeNetPrinter printer;
        printer.setStatusReplies(c.replies);
        EXPECT_EQ(mk::queryNetStatus(printer.address()), c.status);
        EXPECT_EQ(printer.statusRequests().size(), c.requests);
    }
}

TEST_F(NetTransport, SingleStatusAttemptDoesNotAskAgain) {
    FakeNetPrinter printer;
    printer.setStatusReplies({'4', '0'});
    EXPECT_EQ(mk::queryNetStatusOnce(printer.address()), 4);
    EXPECT_EQ(printer.statusRequests().size(), 1u);
}

TEST_F(NetTransport, PrinterBusyEveryTimeGivesItsStatusAfterTwentyAttempts) {
    const mk::ScopedCommTiming timing({.netStatusPause = milliseconds(15)});
    FakeNetPrinter printer;
    printer.setStatusReplies({'4'});
    const auto start = Clock::now();
    EXPECT_EQ(mk::queryNetStatus(printer.address()), 4);
    EXPECT_EQ(printer.statusRequests().size(), 20u);
    EXPECT_GE(millisecondsSince(start), 20 * 15);  // a pause after every attempt, the last included
}

TEST_F(NetTransport, StatusFailuresAreReportedAtOnce) {
    {
        const mk::ScopedCommTiming timing({.netStatusPause = milliseconds(2000)});
        FakeNetPrinter printer;
        printer.setStatusReplies({std::nullopt, '0'});  // closes without a byte
        const auto start = Clock::now();
        EXPECT_EQ(mk::queryNetStatus(printer.address()), mk::kNetStatusFailed);
        EXPECT_LT(millisecondsSince(start), 1500);
        EXPECT_EQ(printer.statusRequests().size(), 1u);
    }
    {
        const mk::ScopedCommTiming timing({.netStatusPause = milliseconds(5)});
        FakeNetPrinter printer;
        printer.setStatusReplies({'1', std::nullopt});  // a failure after a busy answer ends it too
        EXPECT_EQ(mk::queryNetStatus(printer.address()), mk::kNetStatusFailed);
        EXPECT_EQ(printer.statusRequests().size(), 2u);
    }
    for (Behaviour behaviour : {Behaviour::Refuse, Behaviour::AcceptAndClose}) {
        FakeNetPrinter printer(FakeNetPrinter::Options{.status = behaviour});
        EXPECT_EQ(mk::queryNetStatus(printer.address()), mk::kNetStatusFailed);
        EXPECT_EQ(mk::queryNetStatusOnce(printer.address()), mk::kNetStatusFailed);
    }
    EXPECT_EQ(mk::queryNetStatus(""), mk::kNetStatusNoAddress);
    EXPECT_EQ(mk::queryNetStatusOnce(""), mk::kNetStatusNoAddress);
}

TEST_F(NetTransport, SilentPrinterEndsTheStatusQueryAfterTheReceiveTimeOut) {
    const mk::ScopedCommTiming timing({.netReceiveTimeout = milliseconds(600)});
    FakeNetPrinter printer(FakeNetPrinter::Options{.status = Behaviour::Silent});
    const auto start = Clock::now();
    auto result = std::async(std::launch::async, [&] { return mk::queryNetStatus(printer.address()); });

    // While the exchange runs it holds one unit of the use count.
    const auto deadline = Clock::now() + kJobWait;
    while (printer.statusRequests().empty() && Clock::now() < deadline) std::this_thread::sleep_for(milliseconds(5));
    EXPECT_EQ(mk::platform::SocketUse::count(), 1);

    ASSERT_EQ(result.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(result.get(), mk::kNetStatusFailed);
    EXPECT_GE(millisecondsSince(start), 600);
    EXPECT_EQ(printer.statusRequests().size(), 1u);
}

TEST_F(NetTransport, UnansweredConnectionFailsWithinTheBound) {
    mk::test::UnansweredEndpoint silent(9100);
    ASSERT_TRUE(silent.ready());
    const std::string job = "data";
    const auto start = Clock::now();
    EXPECT_FALSE(mk::sendTcp(silent.address(), 9100, bytesOf(job), 4));
    const long long elapsed = millisecondsSince(start);
    EXPECT_GE(elapsed, 19000);
    EXPECT_LT(elapsed, 25000);
}

TEST_F(NetTransport, UnansweredStatusQueryFailsWithinTheBound) {
    const mk::ScopedCommTiming timing({.connectBound = milliseconds(800)});
    mk::test::UnansweredEndpoint silent(59100);
    ASSERT_TRUE(silent.ready());
    const auto start = Clock::now();
    EXPECT_EQ(mk::queryNetStatus(silent.address()), mk::kNetStatusFailed);
    const long long elapsed = millisecondsSince(start);
    EXPECT_GE(elapsed, 700);
    EXPECT_LT(elapsed, 5000);
}

}  // namespace
