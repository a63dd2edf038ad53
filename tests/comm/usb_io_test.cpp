#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "comm/comm_timing.h"
#include "comm/usb_io.h"
#include "mklabel.h"
#include "model/last_error.h"
#include "platform/usb_driver.h"
#include "support/fake_usb_device.h"
#include "support/last_error_check.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using mk::platform::UsbAccess;
using mk::platform::UsbOutcome;
using mk::test::FakeUsbBus;
using mk::test::FakeUsbDevice;

std::string pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    return bytes;
}

std::vector<size_t> sizesOf(const std::vector<std::string>& writes) {
    std::vector<size_t> sizes;
    for (const std::string& write : writes) sizes.push_back(write.size());
    return sizes;
}

struct OpenCase {
    const char* name;
    std::function<mk::UsbHandle(const std::string&)> open;
    UsbAccess access;
    int code;
    std::string message;
};

const std::vector<OpenCase>& openCases() {
    static const std::vector<OpenCase> cases = {
        {"read", mk::openUsbForRead, UsbAccess::ReadOnly, -511, "Failed to open USB device for read: "},
        {"status", mk::openUsbForStatus, UsbAccess::ReadWrite, -520, "Failed to open USB device for status: "},
        {"write", mk::openUsbForWrite, UsbAccess::ReadWrite, -503, "Failed to open USB device for write: "},
    };
    return cases;
}

TEST(UsbOpen, OpensWithTheAccessEachOperationNeeds) {
    FakeUsbBus bus;
    FakeUsbDevice& printer = bus.plugPrinter("A");
    std::vector<UsbAccess> expected;
    for (const OpenCase& c : openCases()) {
        mk::UsbHandle handle = c.open(printer.devicePath());
        EXPECT_TRUE(handle.valid()) << c.name;
        expected.push_back(c.access);
    }
    EXPECT_EQ(printer.opens(), expected);
}

TEST(UsbOpen, AFailedOpenRecordsItsCodeWithThePath) {
    FakeUsbBus bus;
    FakeUsbDevice& held = bus.plugPrinter("A");  // another program holds it
    held.refuseOpen(true);
    FakeUsbDevice& gone = bus.plugPrinter("B");
    gone.unplug();
    const std::string missing = bus.absentDevicePath();
    for (const OpenCase& c : openCases()) {
        for (const std::string& path : {missing, held.devicePath(), gone.devicePath()}) {
            mk::setLastError(0, "");
            EXPECT_FALSE(c.open(path).valid()) << c.name;
            EXPECT_TRUE(mk::test::lastErrorIs(c.code, c.message + path));
        }
    }
}

TEST(UsbClose, ClosingReleasesThePrinterAndIgnoresInvalidHandles) {
    FakeUsbBus bus;
    FakeUsbDevice& printer = bus.plugPrinter("A");
    mk::UsbHandle handle = mk::openUsbForWrite(printer.devicePath());
    EXPECT_EQ(printer.openNow(), 1);
    mk::closeUsbHandle(handle);
    EXPECT_FALSE(handle.valid());
    EXPECT_EQ(printer.openNow(), 0);
    mk::closeUsbHandle(handle);  // nothing left to close
    mk::UsbHandle never;
    mk::closeUsbHandle(never);
}

TEST(UsbWrite, GoesOutInChunksOfAtMost512Bytes) {
    FakeUsbBus bus;
    FakeUsbDevice& printer = bus.plugPrinter("A");
    struct Case {
        size_t size;
        std::vector<size_t> chunks;
    };
    const Case cases[] = {
        {1300, {512, 512, 276}},
        {512, {512}},
        {1, {1}},
        {1024, {512, 512}},
    };
    size_t expectedWrites = 0;
    std::string expectedBytes;
    for (const Case& c : cases) {
        const std::string job = pattern(c.size);
        mk::UsbHandle handle = mk::openUsbForWrite(printer.devicePath());
        EXPECT_TRUE(mk::writeUsb(handle, job.data(), static_cast<uint32_t>(job.size())));
        expectedBytes += job;
        ASSERT_TRUE(printer.waitForReceived(expectedBytes.size(), 5s));
        const std::vector<std::string> writes = printer.writes();
        EXPECT_EQ(sizesOf({writes.begin() + static_cast<long>(expectedWrites), writes.end()}), c.chunks) << c.size;
        expectedWrites = writes.size();
    }
    EXPECT_EQ(printer.received(), expectedBytes);
}

TEST(UsbWrite, InvalidArgumentsAreRefusedWithMinus504) {
    FakeUsbBus bus;
    FakeUsbDevice& printer = bus.plugPrinter("A");
    mk::UsbHandle open = mk::openUsbForWrite(printer.devicePath());
    const mk::UsbHandle invalid;
    struct Case {
        const mk::UsbHandle& handle;
        const char* data;
        uint32_t length;
    };
    for (const Case& c : {Case{invalid, "abc", 3}, Case{open, nullptr, 3}, Case{open, "abc", 0}}) {
        mk::setLastError(0, "");
        EXPECT_FALSE(mk::writeUsb(c.handle, c.data, c.length));
        EXPECT_TRUE(mk::test::lastErrorIs(-504, "writeUsb: invalid parameters"));
    }
    EXPECT_TRUE(printer.writes().empty());
}

TEST(UsbWrite, AChunkThePrinterDoesNotTakeWholeFailsTheWrite) {
    FakeUsbBus bus;
    const auto stallLimit = 150ms;
    const mk::ScopedCommTiming quick({.usbWriteStallLimit = stallLimit, .usbStatusPause = 1ms});
    const std::string job = pattern(1300);
    struct Case {
        const char* name;
        std::function<void(FakeUsbDevice&)> misbehave;
        int code;
        std::vector<size_t> taken;  // what each transfer moved
        bool waitsForTheStallLimit;
    };
    const Case cases[] = {
        {"refuses everything", [](FakeUsbDevice& d) { d.failTransfers(UsbOutcome::Refused); }, -505, {}, false},
        {"refuses after 700 bytes", [](FakeUsbDevice& d) { d.refuseAfter(700); }, -505, {512, 188}, false},
        {"goes away", [](FakeUsbDevice& d) { d.failTransfers(UsbOutcome::Gone); }, -505, {}, false},
        {"transfer fails", [](FakeUsbDevice& d) { d.failTransfers(UsbOutcome::Failed); }, -505, {}, false},
        {"takes nothing", [](FakeUsbDevice& d) { d.stopTaking(); }, -505, {}, true},
        {"stops after 700 bytes", [](FakeUsbDevice& d) { d.takeOnly(700); }, -505, {512, 188}, true},
        {"second chunk cut short", [](FakeUsbDevice& d) { d.cutWrite(1, 100); }, -506, {512, 100}, false},
    };
    for (const Case& c : cases) {
        FakeUsbDevice& printer = bus.plugPrinter(c.name);
        c.misbehave(printer);
        mk::UsbHandle handle = mk::openUsbForWrite(printer.devicePath());
        mk::setLastError(0, "");
        const Clock::time_point start = Clock::now();
        EXPECT_FALSE(mk::writeUsb(handle, job.data(), static_cast<uint32_t>(job.size()))) << c.name;
        const auto elapsed = Clock::now() - start;
        EXPECT_TRUE(mk::test::lastErrorIs(c.code, c.code == -505 ? "writeUsb: WriteFile failed" : "writeUsb: partial write"))
            << c.name;
        EXPECT_EQ(sizesOf(printer.writes()), c.taken) << c.name;  // nothing after the failed chunk
        if (c.waitsForTheStallLimit) {
            EXPECT_GE(elapsed, stallLimit) << c.name;
        }
        EXPECT_LT(elapsed, 5s) << c.name;
    }
}

TEST(UsbWrite, AStallShorterThanTheLimitIsWaitedOut) {
    FakeUsbBus bus;
    struct Case {
        const char* name;
        std::chrono::milliseconds stallLimit;
        std::function<void(FakeUsbDevice&)> pause;
        std::chrono::milliseconds resumeAfter;
    };
    // The second printer trickles: a transfer ends by time-out having moved
    // some bytes, and the write goes on, since bytes moved are progress.
    const Case cases[] = {
        {"takes nothing for a while", 2000ms, [](FakeUsbDevice& d) { d.stopTaking(); }, 300ms},
        {"takes a little, then nothing for a while", 400ms, [](FakeUsbDevice& d) { d.takeOnly(700); }, 600ms},
    };
    const std::string job = pattern(200'000);
    for (const Case& c : cases) {
        const mk::ScopedCommTiming timing({.usbWriteStallLimit = c.stallLimit, .usbStatusPause = 1ms});
        FakeUsbDevice& printer = bus.plugPrinter(c.name);
        c.pause(printer);
        mk::UsbHandle handle = mk::openUsbForWrite(printer.devicePath());
        std::thread resume([&] {
            std::this_thread::sleep_for(c.resumeAfter);
            printer.resumeTaking();
        });
        EXPECT_TRUE(mk::writeUsb(handle, job.data(), static_cast<uint32_t>(job.size()))) << c.name;
        resume.join();
        EXPECT_TRUE(printer.received() == job) << c.name;
    }
}

TEST(UsbRead, ReadsWhatThePrinterSent) {
    FakeUsbBus bus;
    FakeUsbDevice& printer = bus.plugPrinter("A");
    printer.answer("RP");
    printer.answer("0123456789");
    mk::UsbHandle handle = mk::openUsbForRead(printer.devicePath());
    char buffer[16] = {};
    uint32_t count = 99;
    EXPECT_TRUE(mk::readUsb(handle, buffer, 15, &count, 1000));
    EXPECT_EQ(std::string(buffer, count), "RP");

    EXPECT_TRUE(mk::readUsb(handle, buffer, 4, nullptr, 1000));  // no count wanted; only 4 bytes fit
    EXPECT_EQ(std::string(buffer, 4), "0123");

    printer.endAnswersByTimeOut();  // bytes that came before the time-out are the answer
    printer.answer("ABCD");
    EXPECT_TRUE(mk::readUsb(handle, buffer, 15, &count, 1000));
    EXPECT_EQ(std::string(buffer, count), "ABCD");
}

TEST(UsbRead, ATimeOutLeavesCountZeroWithMinus510) {
    FakeUsbBus bus;
    FakeUsbDevice& printer = bus.plugPrinter("A");
    mk::UsbHandle handle = mk::openUsbForRead(printer.devicePath());
    char buffer[8];
    uint32_t count = 99;
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(mk::readUsb(handle, buffer, sizeof buffer, &count, 120));
    EXPECT_GE(Clock::now() - start, 120ms);
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(mk::test::lastErrorIs(-510, "readUsb: timeout"));
}

TEST(UsbRead, InvalidArgumentsAreRefusedWithMinus508AndCountZero) {
    FakeUsbBus bus;
    FakeUsbDevice& printer = bus.plugPrinter("A");
    printer.answer("RP");
    mk::UsbHandle open = mk::openUsbForRead(printer.devicePath());
    const mk::UsbHandle invalid;
    char buffer[8];
    struct Case {
        const mk::UsbHandle& handle;
        char* buffer;
        uint32_t length;
    };
    for (const Case& c : {Case{invalid, buffer, 8}, Case{open, nullptr, 8}, Case{open, buffer, 0}}) {
        uint32_t count = 99;
        mk::setLastError(0, "");
        EXPECT_FALSE(mk::readUsb(c.handle, c.buffer, c.length, &count, 100));
        EXPECT_EQ(count, 0u);
        EXPECT_TRUE(mk::test::lastErrorIs(-508, "readUsb: invalid parameters"));
    }
}

TEST(UsbRead, AnAnswerWaitsInThePrinterThroughOtherOpensWritesAndStatusRequests) {
    FakeUsbBus bus;
    FakeUsbDevice& printer = bus.plugPrinter("A");
    printer.answer("RP");
    {
        mk::UsbHandle writing = mk::openUsbForWrite(printer.devicePath());
        EXPECT_TRUE(mk::writeUsb(writing, "~S,CHECK\r\n", 10));
        mk::UsbHandle status = mk::openUsbForStatus(printer.devicePath());
        EXPECT_EQ(mk::getUsbStatusCode(status), 0);
    }
    EXPECT_EQ(printer.reads(), 0);  // only a read asks the printer for its answer
    mk::UsbHandle handle = mk::openUsbForRead(printer.devicePath());
    char buffer[8];
    uint32_t count = 0;
    EXPECT_TRUE(mk::readUsb(handle, buffer, sizeof buffer, &count, 1000));
    EXPECT_EQ(std::string(buffer, count), "RP");
}

TEST(UsbRead, AFailedTransferReadsNothingAndOnlyAFailedWaitOrEventSaysSo) {
    FakeUsbBus bus;
    struct Case {
        UsbOutcome outcome;
        int code;  // -999: the earlier last error stays
    };
    for (const Case& c : {Case{UsbOutcome::WaitFailed, -509}, Case{UsbOutcome::NoWait, -512},
                          Case{UsbOutcome::Gone, -999}, Case{UsbOutcome::Refused, -999},
                          Case{UsbOutcome::Failed, -999}}) {
        FakeUsbDevice& printer = bus.plugPrinter("A");
        printer.answer("RP");
        mk::UsbHandle handle = mk::openUsbForRead(printer.devicePath());
        printer.failTransfers(c.outcome);
        char buffer[8];
        uint32_t count = 99;
        mk::setLastError(-999, "earlier");
        EXPECT_FALSE(mk::readUsb(handle, buffer, sizeof buffer, &count, 5000));
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(MkGetLastErrorCode(), c.code);
    }
}

TEST(UsbStatus, AsksAgainWhileThePrinterReports1Or4) {
    FakeUsbBus bus;
    const mk::ScopedCommTiming quick({.usbWriteStallLimit = 1000ms, .usbStatusPause = 5ms});
    FakeUsbDevice& printer = bus.plugPrinter("A");
    using Replies = std::vector<std::optional<uint8_t>>;
    struct Case {
        Replies replies;
        int status;
        int requests;
    };
    const Case cases[] = {
        {{0x51}, 81, 1},
        {{0}, 0, 1},
        {{0xFF}, 255, 1},
        {{0x80}, 128, 1},
        {{1, 4, 1, 0x59}, 89, 4},
        {{4}, 4, 10},
        {{1}, 1, 10},
        {{4, 4, std::nullopt}, -103, 3},
        {{std::nullopt}, -103, 1},
    };
    for (const Case& c : cases) {
        printer.setStatusReplies(c.replies);
        const int before = printer.statusRequests();
        mk::UsbHandle handle = mk::openUsbForStatus(printer.devicePath());
        mk::setLastError(-999, "earlier");
        EXPECT_EQ(mk::getUsbStatusCode(handle), c.status);
        EXPECT_EQ(printer.statusRequests() - before, c.requests) << c.status;
        EXPECT_EQ(MkGetLastErrorCode(), -999);  // a status, or a failed request, records nothing
    }
}

TEST(UsbStatus, PausesBetweenAttemptsIncludingAfterTheTenth) {
    FakeUsbBus bus;
    const mk::ScopedCommTiming paced({.usbWriteStallLimit = 1000ms, .usbStatusPause = 30ms});
    FakeUsbDevice& printer = bus.plugPrinter("A");
    printer.setStatusReplies({4});
    mk::UsbHandle handle = mk::openUsbForStatus(printer.devicePath());
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(mk::getUsbStatusCode(handle), 4);
    EXPECT_GE(Clock::now() - start, 300ms);
}

TEST(UsbStatus, OnceAsksOnlyOnce) {
    FakeUsbBus bus;
    FakeUsbDevice& printer = bus.plugPrinter("A");
    printer.setStatusReplies({4, 0});
    mk::UsbHandle handle = mk::openUsbForStatus(printer.devicePath());
    EXPECT_EQ(mk::getUsbStatusCodeOnce(handle), 4);
    EXPECT_EQ(printer.statusRequests(), 1);
}

TEST(UsbStatus, AnInvalidHandleIsMinus1WithMinus513) {
    const mk::UsbHandle invalid;
    for (auto status : {mk::getUsbStatusCode, mk::getUsbStatusCodeOnce}) {
        mk::setLastError(0, "");
        EXPECT_EQ(status(invalid), -1);
        EXPECT_TRUE(mk::test::lastErrorIs(-513, "getUsbStatusCode: invalid handle"));
    }
}

}  // namespace
