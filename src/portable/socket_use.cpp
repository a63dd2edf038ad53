#include "portable/socket_use.h"

#include <atomic>

#include "platform/mutex.h"

namespace mk::platform {
namespace {

std::atomic<int> users{0};

// The system's socket library is started by the first user of the process
// and cleaned up by the last, always under this lock. Windows counts its own
// starts, but not safely across threads under Wine: a clean-up that races a
// start can bring its count to 0, which closes every socket of the process,
// the host's too.
Mutex libraryLock;
int libraryUsers = 0;  // users holding a start, counted or not; under libraryLock
ScopedSocketLibraryCalls::Calls libraryCalls{startSocketLibrary, stopSocketLibrary};  // under libraryLock

}  // namespace

SocketUse::SocketUse(Counting counting) : counted_(counting == Counted) {
    const std::lock_guard lock(libraryLock);
    // A start that failed is tried again by the next user; this one's socket
    // calls then fail and report it.
    holdsLibrary_ = libraryUsers > 0 || libraryCalls.start();
    if (holdsLibrary_) ++libraryUsers;
    if (counted_) users.fetch_add(1);
}

SocketUse::~SocketUse() {
    const std::lock_guard lock(libraryLock);
    if (counted_) users.fetch_sub(1);
    if (holdsLibrary_ && --libraryUsers == 0) libraryCalls.stop();
}

int SocketUse::count() { return users.load(); }

ScopedSocketLibraryCalls::ScopedSocketLibraryCalls(Calls calls) {
    const std::lock_guard lock(libraryLock);
    previous_ = libraryCalls;
    libraryCalls = calls;
}

ScopedSocketLibraryCalls::~ScopedSocketLibraryCalls() {
    const std::lock_guard lock(libraryLock);
    libraryCalls = previous_;
}

}  // namespace mk::platform
