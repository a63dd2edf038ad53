#pragma once

namespace mk::platform {

// One user of the system's socket library for a scope: every network
// exchange holds one, declared before its sockets so that they are closed
// before it goes. The first user of the process starts the system's socket
// library and the last one cleans it up, one at a time under a lock, so an
// exchange that begins while another ends never finds it half started or
// cleaned up. Systems whose sockets need no start only count.
class SocketUse {
public:
    enum Counting { Counted, Uncounted };

    // Uncounted: the library is started for this scope alone, outside the
    // process's count (the confirmed network print does so).
    explicit SocketUse(Counting counting = Counted);
    ~SocketUse();
    SocketUse(const SocketUse&) = delete;
    SocketUse& operator=(const SocketUse&) = delete;

    // The counted users running now, on every thread. Atomic, because hosts
    // may print from several threads.
    static int count();

private:
    bool counted_;
    bool holdsLibrary_ = false;
};

// Each system's start and clean-up of its socket library, for SocketUse:
// false when the start failed.
bool startSocketLibrary();
void stopSocketLibrary();

// Tests only: while it lives, SocketUse starts and cleans up the system's
// socket library through these instead (which may fail, or count and call
// the real ones). Made and dropped while no exchange runs.
class ScopedSocketLibraryCalls {
public:
    struct Calls {
        bool (*start)();
        void (*stop)();
    };
    explicit ScopedSocketLibraryCalls(Calls calls);
    ~ScopedSocketLibraryCalls();
    ScopedSocketLibraryCalls(const ScopedSocketLibraryCalls&) = delete;
    ScopedSocketLibraryCalls& operator=(const ScopedSocketLibraryCalls&) = delete;

private:
    Calls previous_;
};

}  // namespace mk::platform
