// IPv4 TCP sockets through Winsock 2.
#include "platform/tcp_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <vector>

#include "portable/socket_use.h"
#include "platform/tcp_socket_testing.h"

namespace mk::platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kSendRetry{20};

std::atomic<std::size_t> sendLimit{0};

SOCKET native(const SocketHandle& socket) { return static_cast<SOCKET>(socket.get()); }

// Four decimal numbers 0..255 joined by dots and nothing else, without
// leading zeros, as Linux reads an address: Windows' own conversion takes
// more (a space after the address), and may fill the address when it fails.
bool parseDottedIpv4(const std::string& text, in_addr& address) {
    unsigned char parts[4] = {};
    std::size_t at = 0;
    for (unsigned char& part : parts) {
        if (&part != parts) {
            if (at >= text.size() || text[at] != '.') return false;
            ++at;
        }
        const std::size_t start = at;
        unsigned value = 0;
        while (at < text.size() && at - start < 3 && text[at] >= '0' && text[at] <= '9') {
            value = value * 10 + static_cast<unsigned>(text[at] - '0');
            ++at;
        }
        if (at == start || value > 255 || (at - start > 1 && text[start] == '0')) return false;
        part = static_cast<unsigned char>(value);
    }
    if (at != text.size()) return false;
    std::memcpy(&address, parts, sizeof parts);  // network order: the numbers as written
    return true;
}

// False when the text is not a dotted-decimal IPv4 address; the address
// then stays 0.0.0.0.
bool socketAddress(const std::string& address, int port, sockaddr_in& result) {
    result = sockaddr_in{};
    result.sin_family = AF_INET;
    result.sin_port = htons(static_cast<u_short>(port & 0xffff));
    return parseDottedIpv4(address, result.sin_addr);
}

std::string addressText(const in_addr& address) {
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &address, text, sizeof text) == nullptr) return {};
    return text;
}

bool setNonBlocking(SOCKET socket, bool on) {
    u_long mode = on ? 1 : 0;
    return ioctlsocket(socket, FIONBIO, &mode) == 0;
}

timeval timeLeft(Deadline deadline) {
    // Rounded up: a wait must not end before its deadline.
    const auto us = std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now()).count();
    const long long left = std::clamp<long long>(us, 0, static_cast<long long>(INT_MAX) * 1000000);
    timeval value{};
    value.tv_sec = static_cast<long>(left / 1000000);
    value.tv_usec = static_cast<long>(left % 1000000);
    return value;
}

enum class Readiness { Ready, Failed, TimedOut };

// Windows reports a connection that failed in the exception set.
Readiness waitFor(SOCKET socket, bool writable, Deadline deadline) {
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket, &ready);
    FD_SET(socket, &failed);
    timeval left = timeLeft(deadline);
    const int count = select(0, writable ? nullptr : &ready, writable ? &ready : nullptr, &failed, &left);
    if (count < 0) return Readiness::Failed;
    if (count == 0) return Readiness::TimedOut;
    return FD_ISSET(socket, &failed) ? Readiness::Failed : Readiness::Ready;
}

}  // namespace

bool startSocketLibrary() {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void stopSocketLibrary() { WSACleanup(); }

void SocketHandle::reset(Native socket) {
    if (native_ != kNone) closesocket(static_cast<SOCKET>(native_));
    native_ = socket;
}

bool isHostIpv4(const std::string& address) {
    sockaddr_in parsed{};
    return socketAddress(address, 0, parsed) && parsed.sin_addr.s_addr != htonl(INADDR_ANY);
}

TcpSocket TcpSocket::open() {
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) return {};
    // Like descriptors opened close-on-exec: a process the host starts does
    // not keep the printer's connection open.
    SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
    return TcpSocket(static_cast<SocketHandle::Native>(socket));
}

bool TcpSocket::setReceiveTimeout(std::chrono::milliseconds timeout) {
    if (!valid()) return false;
    const DWORD ms = static_cast<DWORD>(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, MAXDWORD));
    return setsockopt(native(socket_), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms) == 0;
}

bool TcpSocket::connect(const std::string& address, int port, std::chrono::milliseconds bound) {
    sockaddr_in target{};
    // Windows would take 0.0.0.0 for the local host.
    if (!valid() || !isHostIpv4(address) || !socketAddress(address, port, target)) return false;
    const Deadline deadline = Clock::now() + bound;
    const SOCKET socket = native(socket_);
    if (!setNonBlocking(socket, true)) return false;
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
        if (waitFor(socket, true, deadline) != Readiness::Ready) return false;
        int error = 0;
        int size = sizeof error;
        if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0 || error != 0) {
            return false;
        }
    }
    return setNonBlocking(socket, false);
}

bool TcpSocket::bind(const std::string& address, int port) {
    sockaddr_in local{};
    if (!valid() || !socketAddress(address, port, local)) return false;
    return ::bind(native(socket_), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

bool TcpSocket::listenOn(const std::string& address, int port) {
    // No SO_REUSEADDR: on Windows it would let this socket take a port that
    // another socket listens on. Windows binds a port whose earlier
    // connections are only closing without being asked.
    return valid() && bind(address, port) && ::listen(native(socket_), SOMAXCONN) == 0;
}

TcpSocket TcpSocket::acceptBefore(Deadline deadline, std::string& peerAddress) {
    peerAddress.clear();
    if (!valid()) return {};
    const SOCKET listener = native(socket_);
    // Non-blocking, so that a peer that gave up between the readiness and
    // the accept cannot hold the caller past the wait.
    if (!setNonBlocking(listener, true)) return {};
    while (waitFor(listener, false, deadline) == Readiness::Ready) {
        sockaddr_in peer{};
        int size = sizeof peer;
        const SOCKET accepted = accept(listener, reinterpret_cast<sockaddr*>(&peer), &size);
        if (accepted != INVALID_SOCKET) {
            TcpSocket connection(static_cast<SocketHandle::Native>(accepted));
            SetHandleInformation(reinterpret_cast<HANDLE>(accepted), HANDLE_FLAG_INHERIT, 0);
            // An accepted socket inherits the listener's non-blocking mode.
            if (!setNonBlocking(accepted, false)) return {};
            peerAddress = addressText(peer.sin_addr);
            return connection;
        }
        const int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK && error != WSAECONNRESET && error != WSAEINTR) break;
    }
    return {};
}

long TcpSocket::sendSome(const void* data, std::size_t length, Deadline deadline) {
    if (!valid()) return -1;
    const std::size_t limit = sendLimit.load();
    if (limit > 0 && length > limit) length = limit;
    const int size = static_cast<int>(std::min<std::size_t>(length, INT_MAX));
    const SOCKET socket = native(socket_);
    // A blocking send on Windows waits until every byte is taken: non-blocking
    // for the send, blocking again after, for the receives.
    if (!setNonBlocking(socket, true)) return -1;
    long result = -1;
    for (;;) {
        const int sent = send(socket, static_cast<const char*>(data), size, 0);
        if (sent >= 0) {
            result = sent;
            break;
        }
        if (WSAGetLastError() != WSAEWOULDBLOCK) break;
        const Deadline now = Clock::now();
        if (now >= deadline) break;
        // Tried again every little while, as on Linux; a hang-up is no answer
        // either: the next send reports it.
        waitFor(socket, true, std::min(deadline, now + kSendRetry));
    }
    if (!setNonBlocking(socket, false)) return -1;
    return result;
}

long TcpSocket::receiveSome(void* buffer, std::size_t length) {
    if (!valid()) return -1;
    const int size = static_cast<int>(std::min<std::size_t>(length, INT_MAX));
    const int received = recv(native(socket_), static_cast<char*>(buffer), size, 0);
    return received >= 0 ? received : -1;
}

std::string canonicalIpv4(const std::string& address) {
    sockaddr_in parsed{};
    socketAddress(address, 0, parsed);  // a text that does not convert stays 0.0.0.0
    return addressText(parsed.sin_addr);
}

std::vector<InterfaceAddress> interfaceIpv4Addresses() {
    constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    // The list can grow between the size asked and the second call.
    ULONG size = 16 * 1024;
    std::vector<unsigned char> storage;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        storage.assign(size, 0);
        result = GetAdaptersAddresses(AF_INET, kFlags, nullptr,
                                      reinterpret_cast<IP_ADAPTER_ADDRESSES*>(storage.data()), &size);
    }
    if (result != NO_ERROR) return {};
    std::vector<InterfaceAddress> addresses;
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(storage.data()); adapter != nullptr;
         adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp) continue;
        for (const IP_ADAPTER_UNICAST_ADDRESS* entry = adapter->FirstUnicastAddress; entry != nullptr;
             entry = entry->Next) {
            const sockaddr* address = entry->Address.lpSockaddr;
            if (address == nullptr || address->sa_family != AF_INET) continue;
            addresses.push_back({addressText(reinterpret_cast<const sockaddr_in*>(address)->sin_addr),
                                 adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK});
        }
    }
    return addresses;
}

void setSendLimitForTesting(std::size_t bytes) { sendLimit.store(bytes); }

}  // namespace mk::platform
