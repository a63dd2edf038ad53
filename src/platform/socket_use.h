#pragma once

namespace mk::platform {

// One user of the system's socket library for a scope: every network
// exchange holds one, declared before its sockets so that they are closed
// before it goes. The library is started and cleaned up with each user; the
// system counts its own starts, so an exchange that begins while another
// ends never finds it cleaned up. Systems whose sockets need no start only
// count.
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
};

// Each system's start and clean-up of its socket library, for SocketUse.
void startSocketLibrary();
void stopSocketLibrary();

}  // namespace mk::platform
