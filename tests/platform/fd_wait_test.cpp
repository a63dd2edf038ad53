#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>

#include "platform/linux/fd_wait.h"

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

TEST(FdWait, WaitReadableTellsReadyTimedOutHangupAndFailed) {
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

}  // namespace
