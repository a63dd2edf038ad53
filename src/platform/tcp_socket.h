#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/fd_wait.h"
#include "platform/unique_fd.h"

namespace mk::platform {

// An IPv4 TCP stream socket, closed when the holder goes. Addresses are
// dotted-decimal texts; a text that does not convert stands for 0.0.0.0, which
// the system then refuses to connect to.
class TcpSocket {
public:
    TcpSocket() = default;

    // A new socket; valid() is false when the system refused one.
    static TcpSocket open();

    bool valid() const { return fd_.valid(); }
    void close() { fd_.reset(); }

    bool setReceiveTimeout(std::chrono::milliseconds timeout);
    // A send that can hand nothing over for this long fails (or reports the
    // bytes it did hand over) instead of blocking.
    bool setSendTimeout(std::chrono::milliseconds timeout);
    // Gives up after the bound: the system's own limit for an unanswered
    // handshake is minutes.
    bool connect(const std::string& address, int port, std::chrono::milliseconds bound);
    bool bind(const std::string& address, int port);
    bool listen(int backlog);
    // Waits until the deadline at most for a peer; an invalid socket when none
    // came or the accept failed. peerAddress receives the peer's address text.
    TcpSocket acceptBefore(Deadline deadline, std::string& peerAddress);

    // One send call: the number of bytes taken, or -1. A peer that has gone
    // gives -1, never a signal.
    long sendSome(const void* data, std::size_t length);
    // One receive call: bytes received, 0 when the peer closed, -1 on error or
    // when the receive time-out passed.
    long receiveSome(void* buffer, std::size_t length);

private:
    explicit TcpSocket(int fd) : fd_(fd) {}
    UniqueFd fd_;
};

// The text an IPv4 address text converts to ("0.0.0.0" when it does not), so
// that two spellings of one address compare equal.
std::string canonicalIpv4(const std::string& address);

// The host's IPv4 addresses as its name resolves, in the resolver's order;
// empty when the name or the look-up fails.
std::vector<std::string> hostIpv4Addresses();

}  // namespace mk::platform
