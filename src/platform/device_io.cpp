#include "platform/device_io.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <thread>

namespace mk::platform {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A device may report itself writable and still refuse the write (usblp
// does so while it waits for paper); pausing keeps that from spinning.
constexpr milliseconds kRefusedWritePause{10};

int pollTimeout(Clock::duration remaining) {
    const auto ms = std::chrono::ceil<milliseconds>(remaining).count();
    return static_cast<int>(std::clamp<decltype(ms)>(ms, 0, INT_MAX));
}

DeviceWait waitFor(int fd, short events, milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, pollTimeout(deadline - Clock::now()));
        if (ready < 0) {
            if (errno == EINTR) continue;
            return DeviceWait::Failed;
        }
        if (ready == 0) return DeviceWait::TimedOut;
        if (entry.revents & POLLNVAL) return DeviceWait::Failed;
        if (entry.revents & (POLLERR | POLLHUP)) return DeviceWait::Hangup;
        return DeviceWait::Ready;
    }
}

}  // namespace

DeviceWait waitReadable(int fd, milliseconds timeout) { return waitFor(fd, POLLIN, timeout); }

DeviceWait waitWritable(int fd, milliseconds timeout) { return waitFor(fd, POLLOUT, timeout); }

long readDevice(int fd, void* buffer, size_t size) {
    for (;;) {
        const long n = ::read(fd, buffer, size);
        if (n >= 0 || errno != EINTR) return n;
    }
}

long writeDeviceChunk(const UsbDriver& driver, int fd, const void* data, size_t size, milliseconds stallLimit) {
    const Clock::time_point deadline = Clock::now() + stallLimit;
    bool refusedAfterReady = false;
    for (;;) {
        const long n = driver.writeSome(fd, data, size);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;

        if (refusedAfterReady) std::this_thread::sleep_for(std::min<Clock::duration>(kRefusedWritePause, deadline - Clock::now()));
        const Clock::duration remaining = deadline - Clock::now();
        if (remaining <= Clock::duration::zero()) {
            errno = ETIMEDOUT;
            return -1;
        }
        switch (waitWritable(fd, std::chrono::ceil<milliseconds>(remaining))) {
        case DeviceWait::Ready:
        case DeviceWait::Hangup:  // the next write reports the failure
            refusedAfterReady = true;
            break;
        case DeviceWait::TimedOut:
            errno = ETIMEDOUT;
            return -1;
        case DeviceWait::Failed:
            return -1;
        }
    }
}

void closeDevice(int fd) {
    if (fd >= 0) ::close(fd);
}

}  // namespace mk::platform
