#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace mk::platform {

// A point of the monotonic clock that a wait does not pass.
using Deadline = std::chrono::steady_clock::time_point;

// The system's own socket (a descriptor, or a Windows SOCKET), closed the
// system's way when the holder goes.
class SocketHandle {
public:
    using Native = std::intptr_t;
    static constexpr Native kNone = -1;  // also what INVALID_SOCKET converts to

    SocketHandle() = default;
    explicit SocketHandle(Native native) : native_(native) {}
    SocketHandle(SocketHandle&& other) noexcept : native_(other.release()) {}
    SocketHandle& operator=(SocketHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;
    ~SocketHandle() { reset(); }

    bool valid() const { return native_ != kNone; }
    Native get() const { return native_; }
    Native release() { return std::exchange(native_, kNone); }
    void reset(Native native = kNone);

private:
    Native native_ = kNone;
};

// True for a dotted-decimal IPv4 text that names a host: four numbers 0..255
// and nothing around them. 0.0.0.0 is refused too: some systems connect it
// to the local host, so a mistyped printer address would print there.
bool isHostIpv4(const std::string& address);

// An IPv4 TCP stream socket, closed when the holder goes. Addresses are
// dotted-decimal texts.
class TcpSocket {
public:
    TcpSocket() = default;

    // A new socket; valid() is false when the system refused one.
    static TcpSocket open();

    bool valid() const { return socket_.valid(); }
    void close() { socket_.reset(); }

    bool setReceiveTimeout(std::chrono::milliseconds timeout);
    // Gives up after the bound: the system's own limit for an unanswered
    // handshake is minutes. An address that is not isHostIpv4 is refused
    // without a packet sent.
    bool connect(const std::string& address, int port, std::chrono::milliseconds bound);
    bool bind(const std::string& address, int port);
    // Binds to address:port and listens. A port whose earlier connections
    // are still closing (TIME_WAIT) is taken; one that another socket listens
    // on, on this address or on every address, is not. The accept queue is
    // as deep as the system allows, so that connections from strangers
    // cannot crowd out the one awaited.
    bool listenOn(const std::string& address, int port);
    // Waits until the deadline at most for a peer; an invalid socket when none
    // came or the accept failed. peerAddress receives the peer's address text.
    TcpSocket acceptBefore(Deadline deadline, std::string& peerAddress);

    // Waits until the deadline at most for room to send, then hands over as
    // many bytes as the socket takes at once: their number (at least 1), or
    // -1 when the deadline passed first, the peer has gone (never a signal)
    // or the send failed.
    long sendSome(const void* data, std::size_t length, Deadline deadline);
    // One receive call: bytes received, 0 when the peer closed, -1 on error or
    // when the receive time-out passed.
    long receiveSome(void* buffer, std::size_t length);

private:
    explicit TcpSocket(SocketHandle::Native native) : socket_(native) {}
    SocketHandle socket_;
};

// The text an IPv4 address text converts to ("0.0.0.0" when it does not), so
// that two spellings of one address compare equal.
std::string canonicalIpv4(const std::string& address);

struct InterfaceAddress {
    std::string address;  // dotted-decimal IPv4
    bool loopback = false;
};

// The IPv4 addresses of the host's network interfaces that are up, in the
// system's interface order.
std::vector<InterfaceAddress> interfaceIpv4Addresses();

// The host's own IPv4 addresses: those of interfaceIpv4Addresses() (or of
// ScopedInterfaceAddresses in tests), loopback addresses after all others,
// each group in interface order. A printer elsewhere can reach only the
// others. Empty when the host has none.
std::vector<std::string> hostIpv4Addresses();

}  // namespace mk::platform
