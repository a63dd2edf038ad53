#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/device_io.h"
#include "platform/usb_driver.h"

namespace {

using namespace std::chrono_literals;
using mk::platform::FdWait;
using Clock = std::chrono::steady_clock;

struct Pipe {
    int read = -1;
    int write = -1;
    Pipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            read = fds[0];
            write = fds[1];
        }
    }
    ~Pipe() {
        if (read >= 0) ::close(read);
        if (write >= 0) ::close(write);
    }
};

TEST(DeviceIo, WaitReadableTellsReadyTimedOutHangupAndFailed) {
    Pipe quiet;
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(mk::platform::waitReadable(quiet.read, 60ms), FdWait::TimedOut);
    EXPECT_GE(Clock::now() - start, 60ms);

    ASSERT_EQ(::write(quiet.write, "x", 1), 1);
    EXPECT_EQ(mk::platform::waitReadable(quiet.read, 1000ms), FdWait::Ready);

    Pipe gone;
    ::close(gone.write);
    gone.write = -1;
    EXPECT_EQ(mk::platform::waitReadable(gone.read, 1000ms), FdWait::Hangup);

    Pipe closed;
    const int stale = closed.read;
    ::close(closed.read);
    closed.read = -1;
    EXPECT_EQ(mk::platform::waitReadable(stale, 1000ms), FdWait::Failed);
}

TEST(DeviceIo, AChunkTheDeviceNeverTakesFailsAfterTheStallLimit) {
    Pipe full;
    const std::vector<char> block(4096, 'x');
    while (::write(full.write, block.data(), block.size()) > 0) {
    }
    const mk::platform::UsblpDriver driver("/sys", "/dev");
    const Clock::time_point start = Clock::now();
    errno = 0;
    EXPECT_EQ(mk::platform::writeDeviceChunk(driver, full.write, block.data(), 512, 150ms), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, 150ms);
    EXPECT_LT(elapsed, 3s);
}

TEST(DeviceIo, UsblpOpensNonBlockingWithTheAccessAskedAndAPtyRefusesTheStatusRequest) {
    int master = -1;
    int slave = -1;
    char name[64] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);

    const mk::platform::UsblpDriver driver("/sys", "/dev");
    struct Case {
        mk::platform::UsbAccess access;
        int mode;
    };
    for (const Case& c : {Case{mk::platform::UsbAccess::ReadOnly, O_RDONLY}, Case{mk::platform::UsbAccess::ReadWrite, O_RDWR}}) {
        const int fd = driver.openDevice(name, c.access);
        ASSERT_GE(fd, 0);
        const int flags = ::fcntl(fd, F_GETFL);
        EXPECT_EQ(flags & O_ACCMODE, c.mode);
        EXPECT_TRUE(flags & O_NONBLOCK);
        EXPECT_FALSE(driver.portStatus(fd).has_value());
        ::close(fd);
    }
    EXPECT_EQ(driver.openDevice("/nonexistent/usb/lp0", mk::platform::UsbAccess::ReadWrite), -1);
    ::close(master);
}

}  // namespace
