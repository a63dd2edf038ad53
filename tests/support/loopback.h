#pragma once

#include <string>

namespace mk::test {

// A loopback address (127.A.B.C, never 127.0.0.x) that no other fixture of
// this process and, as far as process ids go, no other test process uses.
// Lets every test keep the printers' fixed ports without clashing.
std::string uniqueLoopbackAddress();

// The first of 20 consecutive ports in 20000..31999 (below the ephemeral
// range) that are this test process's own for call-back listeners.
int uniquePortBase();

// True for addresses in 127.0.0.0/8; the fixtures never send elsewhere.
bool isLoopbackAddress(const std::string& address);

// Gives a socket about to listen the address reuse the library's listeners
// use, so that a port left in TIME_WAIT by an earlier test is bound as the
// library would bind it: SO_REUSEADDR on Linux, nothing on Windows (which
// binds such a port unasked, and where the option would take a port that
// another socket listens on).
bool reuseAddressAsListenersDo(int socket);

}  // namespace mk::test

namespace mk::test {

// A listener on a loopback address of its own whose accept queue is full, so
// that a further connection attempt is never answered: the handshake stays
// unanswered as with a silent host.
class UnansweredEndpoint {
public:
    explicit UnansweredEndpoint(int port);
    ~UnansweredEndpoint();
    UnansweredEndpoint(const UnansweredEndpoint&) = delete;
    UnansweredEndpoint& operator=(const UnansweredEndpoint&) = delete;

    const std::string& address() const { return address_; }
    bool ready() const { return ready_; }

private:
    std::string address_;
    int listener_ = -1;
    int filler_ = -1;
    bool ready_ = false;
};

}  // namespace mk::test
