#include "platform/device_io.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace mk::platform {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A device may report itself writable and still refuse the write (usblp
// does so while it waits for paper); pausing keeps that from spinning.
constexpr milliseconds kRefusedWritePause{10};

}  // namespace

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
        if (Clock::now() >= deadline) {
            errno = ETIMEDOUT;
            return -1;
        }
        switch (waitWritable(fd, deadline)) {
        case FdWait::Ready:
        case FdWait::Hangup:  // the next write reports the failure
            refusedAfterReady = true;
            break;
        case FdWait::TimedOut:
            errno = ETIMEDOUT;
            return -1;
        case FdWait::Failed:
            return -1;
        }
    }
}

}  // namespace mk::platform
