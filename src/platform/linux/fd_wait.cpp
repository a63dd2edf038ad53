#include "platform/linux/fd_wait.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace mk::platform {
namespace {

using Clock = std::chrono::steady_clock;

int pollTimeout(Deadline deadline) {
    // Rounded up: a wait must not end before its deadline.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<decltype(ms)>(ms, 0, INT_MAX));
}

FdWait waitFor(int fd, short events, Deadline deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, pollTimeout(deadline));
        if (ready < 0) {
            if (errno == EINTR) continue;
            return FdWait::Failed;
        }
        if (ready == 0) return FdWait::TimedOut;
        if (entry.revents & POLLNVAL) return FdWait::Failed;
        if (entry.revents & (POLLERR | POLLHUP)) return FdWait::Hangup;
        return FdWait::Ready;
    }
}

}  // namespace

FdWait waitReadable(int fd, Deadline deadline) { return waitFor(fd, POLLIN, deadline); }

FdWait waitWritable(int fd, Deadline deadline) { return waitFor(fd, POLLOUT, deadline); }

FdWait waitReadable(int fd, std::chrono::milliseconds timeout) { return waitReadable(fd, Clock::now() + timeout); }

FdWait waitWritable(int fd, std::chrono::milliseconds timeout) { return waitWritable(fd, Clock::now() + timeout); }

}  // namespace mk::platform
