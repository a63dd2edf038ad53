#pragma once

#include <string>

namespace mk::testing {

// A loopback address (127.A.B.C, never 127.0.0.x) that no other fixture of
// this process and, as far as process ids go, no other test process uses.
// Lets every test keep the printers' fixed ports without clashing.
std::string uniqueLoopbackAddress();

// The first of 20 consecutive ports in 20000..31999 (below the ephemeral
// range) that are this test process's own for call-back listeners.
int uniquePortBase();

// True for addresses in 127.0.0.0/8; the fixtures never send elsewhere.
bool isLoopbackAddress(const std::string& address);

}  // namespace mk::testing

namespace mk::testing {

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

}  // namespace mk::testing
