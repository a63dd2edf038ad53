#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
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
    FakeUsbDevice& busy = bus.plugPrinter("A");
    busy.refuseOpen(true);
    const std::string missing = (bus.devRoot() / "usb" / "lp9").string();
    for (const OpenCase& c : openCases()) {
        for (const std::string& path : {missing, busy.devicePath()}) {
            mk::setLastError(0, "");
            EXPECT_FALSE(c.open(path).valid()) << c.name;
            EXPECT_TRUE(mk::test::lastErrorIs(c.code, c.message + path));
        }
    }
}

TEST(UsbClose, ClosingReleasesTheDescriptorAndIgnoresInvalidHandles) {
    FakeUsbBus bus;
    FakeUsbDevice& printer = bus.plugPrinter("A");
    mk::UsbHandle handle = mk::openUsbForWrite(printer.devicePath());
    const int fd = handle.fd();
    mk::closeUsbHandle(handle);
    EXPECT_FALSE(handle.valid());
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
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

TEST(UsbWrite, AJobLargerThanTheDeviceBufferArrivesWholeAndInOrder) {
    FakeUsbBus bus;
    FakeUsbDevice& printer = bus.plugPrinter("A");
    const std::string job = pattern(3'000'000);
    mk::UsbHandle handle = mk::openUsbForWrite(printer.devicePath());
    EXPECT_TRUE(mk::writeUsb(handle, job.data(), static_cast<uint32_t>(job.size())));
    ASSERT_TRUE(printer.waitForReceived(job.size(), 10s));
    EXPECT_TRUE(printer.received() == job);
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

TEST(UsbWrite, FailedShortAndStalledWritesReportTheirCodes) {
    FakeUsbBus bus;
    const mk::ScopedCommTiming quick({.usbWriteStallLimit = 150ms, .usbStatusPause = 1ms});
    const std::string job = pattern(1300);

    FakeUsbDevice& failing = bus.plugPrinter("FAIL");
    failing.failWrites(true);
    mk::UsbHandle handle = mk::openUsbForWrite(failing.devicePath());
    EXPECT_FALSE(mk::writeUsb(handle, job.data(), 1300));
    EXPECT_TRUE(mk::test::lastErrorIs(-505, "writeUsb: WriteFile failed"));

    FakeUsbDevice& cutting = bus.plugPrinter("CUT");
    cutting.cutWrite(1, 100);
    handle = mk::openUsbForWrite(cutting.devicePath());
    EXPECT_FALSE(mk::writeUsb(handle, job.data(), 1300));
    EXPECT_TRUE(mk::test::lastErrorIs(-506, "writeUsb: partial write"));
    ASSERT_TRUE(cutting.waitForReceived(612, 5s));
    EXPECT_EQ(sizesOf(cutting.writes()), (std::vector<size_t>{512, 100}));  // no retry, nothing after

    FakeUsbDevice& stalled = bus.plugPrinter("STALL");
    stalled.stopTaking();
    const std::string big = pattern(4'000'000);
    handle = mk::openUsbForWrite(stalled.devicePath());
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(mk::writeUsb(handle, big.data(), static_cast<uint32_t>(big.size())));
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_TRUE(mk::test::lastErrorIs(-505, "writeUsb: WriteFile failed"));
}

TEST(UsbWrite, AStallShorterThanTheLimitIsWaitedOut) {
    FakeUsbBus bus;
    const mk::ScopedCommTiming patient({.usbWriteStallLimit = 5000ms, .usbStatusPause = 1ms});
    FakeUsbDevice& printer = bus.plugPrinter("SLOW");
    printer.stopTaking();
    const std::string job = pattern(2'000'000);
    mk::UsbHandle handle = mk::openUsbForWrite(printer.devicePath());
    std::thread resume([&] {
        std::this_thread::sleep_for(300ms);
        printer.resumeTaking();
    });
    EXPECT_TRUE(mk::writeUsb(handle, job.data(), static_cast<uint32_t>(job.size())));
    resume.join();
    ASSERT_TRUE(printer.waitForReceived(job.size(), 10s));
    EXPECT_TRUE(printer.received() == job);
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

TEST(UsbRead, AWaitOnADescriptorThatIsNotOpenFailsWithMinus509) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    ::close(fds[1]);
    mk::UsbHandle stale(fds[0]);
    char buffer[8];
    uint32_t count = 99;
    EXPECT_FALSE(mk::readUsb(stale, buffer, sizeof buffer, &count, 1000));
    stale.release();  // not ours to close
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(mk::test::lastErrorIs(-509, "readUsb: wait failed"));
}

TEST(UsbRead, APrinterThatWentAwayReadsNothingWithoutAMessage) {
    // The real driver on a pipe whose writer is gone: the wait ends at once
    // and the read finds nothing.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[1]);
    mk::UsbHandle gone(fds[0]);
    char buffer[8];
    uint32_t count = 99;
    mk::setLastError(-999, "earlier");
    EXPECT_FALSE(mk::readUsb(gone, buffer, sizeof buffer, &count, 5000));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(MkGetLastErrorCode(), -999);
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

TEST(UsbStatus, TheUsblpDriverRefusingTheRequestGivesMinus103) {
    // A terminal refuses the printer-status ioctl as a device without it would.
    mk::UsbHandle terminal(::open("/dev/ptmx", O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(terminal.valid());
    EXPECT_EQ(mk::getUsbStatusCode(terminal), -103);
}

}  // namespace
