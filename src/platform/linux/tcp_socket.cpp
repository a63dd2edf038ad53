#include "platform/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>

#include "platform/linux/fd_wait.h"
#include "portable/socket_use.h"
#include "platform/tcp_socket_testing.h"

namespace mk::platform {
namespace {

std::atomic<std::size_t> sendLimit{0};

int fdOf(const SocketHandle& socket) { return static_cast<int>(socket.get()); }

// False when the text is not a dotted-decimal IPv4 address.
bool socketAddress(const std::string& address, int port, sockaddr_in& result) {
    result = sockaddr_in{};
    result.sin_family = AF_INET;
    result.sin_port = htons(static_cast<std::uint16_t>(port & 0xffff));
    return inet_pton(AF_INET, address.c_str(), &result.sin_addr) == 1;
}

std::string addressText(const in_addr& address) {
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &address, text, sizeof text) == nullptr) return {};
    return text;
}

bool setNonBlocking(int fd, bool on) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0) return false;
    return fcntl(fd, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kSendRetry{20};

bool setTimeout(int fd, int option, std::chrono::milliseconds timeout) {
    const auto ms = std::max<std::chrono::milliseconds::rep>(timeout.count(), 0);
    timeval value{};
    value.tv_sec = static_cast<time_t>(ms / 1000);
    value.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
    return setsockopt(fd, SOL_SOCKET, option, &value, sizeof value) == 0;
}

// A hang-up ends the wait as readiness does: the connect's outcome, or the
// accept that follows, tells what happened.
bool hasEvent(FdWait wait) { return wait == FdWait::Ready || wait == FdWait::Hangup; }

}  // namespace

bool startSocketLibrary() { return true; }
void stopSocketLibrary() {}

void SocketHandle::reset(Native native) {
    if (native_ >= 0) ::close(static_cast<int>(native_));
    native_ = native;
}

bool isHostIpv4(const std::string& address) {
    sockaddr_in parsed{};
    return socketAddress(address, 0, parsed) && parsed.sin_addr.s_addr != htonl(INADDR_ANY);
}

TcpSocket TcpSocket::open() { return TcpSocket(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP)); }

bool TcpSocket::setReceiveTimeout(std::chrono::milliseconds timeout) {
    return valid() && setTimeout(fdOf(socket_), SO_RCVTIMEO, timeout);
}

bool TcpSocket::connect(const std::string& address, int port, std::chrono::milliseconds bound) {
    sockaddr_in target{};
    // Linux would take 0.0.0.0 for the local host.
    if (!valid() || !isHostIpv4(address) || !socketAddress(address, port, target)) return false;
    const Deadline deadline = Clock::now() + bound;
    if (!setNonBlocking(fdOf(socket_), true)) return false;
    if (::connect(fdOf(socket_), reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) return false;
        if (!hasEvent(waitWritable(fdOf(socket_), deadline))) return false;
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(fdOf(socket_), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) return false;
    }
    return setNonBlocking(fdOf(socket_), false);
}

bool TcpSocket::bind(const std::string& address, int port) {
    sockaddr_in local{};
    if (!valid() || !socketAddress(address, port, local)) return false;
    return ::bind(fdOf(socket_), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

bool TcpSocket::listenOn(const std::string& address, int port) {
    if (!valid()) return false;
    // Without it Linux refuses a port whose earlier connections sit in
    // TIME_WAIT for a minute; with it, it still refuses one that a socket
    // listens on (checked again by listen, so two threads racing for one
    // port cannot both have it).
    const int on = 1;
    if (setsockopt(fdOf(socket_), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) return false;
    return bind(address, port) && ::listen(fdOf(socket_), SOMAXCONN) == 0;
}

TcpSocket TcpSocket::acceptBefore(Deadline deadline, std::string& peerAddress) {
    peerAddress.clear();
    if (!valid()) return {};
    // Non-blocking, so that a peer that gave up between the readiness and
    // the accept cannot hold the caller past the wait.
    if (!setNonBlocking(fdOf(socket_), true)) return {};
    while (hasEvent(waitReadable(fdOf(socket_), deadline))) {
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        const int fd = accept4(fdOf(socket_), reinterpret_cast<sockaddr*>(&peer), &size, SOCK_CLOEXEC);
        if (fd >= 0) {
            peerAddress = addressText(peer.sin_addr);
            return TcpSocket(fd);
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED) break;
    }
    return {};
}

long TcpSocket::sendSome(const void* data, std::size_t length, Deadline deadline) {
    if (!valid()) return -1;
    const std::size_t limit = sendLimit.load();
    if (limit > 0 && length > limit) length = limit;
    for (;;) {
        const ssize_t sent = send(fdOf(socket_), data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0) return static_cast<long>(sent);
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        const Deadline now = Clock::now();
        if (now >= deadline) return -1;
        // Linux reports room only once a third of the send buffer is free,
        // which a printer that reads slowly but steadily may take longer
        // than the deadline to free: try again every little while instead.
        // A hang-up is no answer either: the next send reports it.
        if (waitWritable(fdOf(socket_), std::min(deadline, now + kSendRetry)) == FdWait::Failed) return -1;
    }
}

long TcpSocket::receiveSome(void* buffer, std::size_t length) {
    if (!valid()) return -1;
    for (;;) {
        const ssize_t received = recv(fdOf(socket_), buffer, length, 0);
        if (received >= 0 || errno != EINTR) return static_cast<long>(received);
    }
}

std::string canonicalIpv4(const std::string& address) {
    sockaddr_in parsed{};
    socketAddress(address, 0, parsed);  // a text that does not convert stays 0.0.0.0
    return addressText(parsed.sin_addr);
}

std::vector<InterfaceAddress> interfaceIpv4Addresses() {
    ifaddrs* found = nullptr;
    if (getifaddrs(&found) != 0) return {};
    std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> list(found, freeifaddrs);
    std::vector<InterfaceAddress> addresses;
    for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        if ((entry->ifa_flags & IFF_UP) == 0) continue;
        addresses.push_back({addressText(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr),
                             (entry->ifa_flags & IFF_LOOPBACK) != 0});
    }
    return addresses;
}

void setSendLimitForTesting(std::size_t bytes) { sendLimit.store(bytes); }

}  // namespace mk::platform
