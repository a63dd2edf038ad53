#pragma once

#include <chrono>

namespace mk::platform {

using Deadline = std::chrono::steady_clock::time_point;

enum class FdWait {
    Ready,     // the descriptor can take or give bytes
    Hangup,    // the peer is gone or in error; the next read or write says how
    TimedOut,
    Failed,    // the wait itself failed (for instance a descriptor that is not open)
};

// Bounded waits for one descriptor; a signal does not end them early.
FdWait waitReadable(int fd, Deadline deadline);
FdWait waitWritable(int fd, Deadline deadline);
FdWait waitReadable(int fd, std::chrono::milliseconds timeout);
FdWait waitWritable(int fd, std::chrono::milliseconds timeout);

}  // namespace mk::platform
