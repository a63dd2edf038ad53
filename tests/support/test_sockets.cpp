#include "support/test_sockets.h"

#ifdef _WIN32
#include <random>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cerrno>

namespace mk::test {

#ifdef _WIN32

int openSocket(bool nonBlocking) {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) return -1;
    const SOCKET made = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (made == INVALID_SOCKET) return -1;
    SetHandleInformation(reinterpret_cast<HANDLE>(made), HANDLE_FLAG_INHERIT, 0);
    const int socket = static_cast<int>(made);
    if (nonBlocking && !setNonBlocking(socket, true)) {
        closeSocket(socket);
        return -1;
    }
    return socket;
}

int acceptSocket(int listener) {
    const SOCKET accepted = ::accept(static_cast<SOCKET>(listener), nullptr, nullptr);
    if (accepted == INVALID_SOCKET) return -1;
    SetHandleInformation(reinterpret_cast<HANDLE>(accepted), HANDLE_FLAG_INHERIT, 0);
    // It would inherit a non-blocking listener's mode.
    setNonBlocking(static_cast<int>(accepted), false);
    return static_cast<int>(accepted);
}

void closeSocket(int socket) { closesocket(static_cast<SOCKET>(socket)); }

bool setNonBlocking(int socket, bool on) {
    u_long mode = on ? 1 : 0;
    return ioctlsocket(static_cast<SOCKET>(socket), FIONBIO, &mode) == 0;
}

bool connectInProgress() { return WSAGetLastError() == WSAEWOULDBLOCK; }

long sendBytes(int socket, const void* data, std::size_t size) {
    return ::send(static_cast<SOCKET>(socket), static_cast<const char*>(data), static_cast<int>(size), 0);
}

long receiveBytes(int socket, void* buffer, std::size_t size) {
    return ::recv(static_cast<SOCKET>(socket), static_cast<char*>(buffer), static_cast<int>(size), 0);
}

int pollSockets(pollfd* entries, std::size_t count, int timeoutMs) {
    return WSAPoll(entries, static_cast<ULONG>(count), timeoutMs);
}

bool openWakePair(int ends[2]) {
    // No pipe can be polled with sockets on Windows: a loopback connection.
    ends[0] = ends[1] = -1;
    const int listener = openSocket();
    sockaddr_in local = socketAddress("127.0.0.1", 0);
    int size = sizeof local;
    const bool ready = listener >= 0 && ::bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
                       ::listen(listener, 1) == 0 &&
                       getsockname(listener, reinterpret_cast<sockaddr*>(&local), &size) == 0;
    if (ready) {
        ends[1] = openSocket();
        if (ends[1] >= 0 && ::connect(ends[1], reinterpret_cast<sockaddr*>(&local), sizeof local) == 0) {
            ends[0] = acceptSocket(listener);
        }
    }
    if (listener >= 0) closeSocket(listener);
    if (ends[0] >= 0) return true;
    if (ends[1] >= 0) closeSocket(ends[1]);
    ends[1] = -1;
    return false;
}

void wake(int end) {
    const char byte = 1;
    sendBytes(end, &byte, 1);
}

unsigned testProcessNumber() {
    // Wine numbers its processes apart from the system's: a random part keeps
    // them apart from the Linux test processes running meanwhile.
    static const unsigned number = [] {
        std::random_device random;
        return static_cast<unsigned>(GetCurrentProcessId()) ^ (random() & 0xffff);
    }();
    return number;
}

#else

int openSocket(bool nonBlocking) {
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
}

int acceptSocket(int listener) { return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); }

void closeSocket(int socket) { ::close(socket); }

bool setNonBlocking(int socket, bool on) {
    const int flags = fcntl(socket, F_GETFL);
    return flags >= 0 && fcntl(socket, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}

bool connectInProgress() { return errno == EINPROGRESS; }

long sendBytes(int socket, const void* data, std::size_t size) { return ::send(socket, data, size, MSG_NOSIGNAL); }

long receiveBytes(int socket, void* buffer, std::size_t size) { return ::recv(socket, buffer, size, 0); }

int pollSockets(pollfd* entries, std::size_t count, int timeoutMs) {
    for (;;) {
        const int ready = ::poll(entries, count, timeoutMs);
        if (ready >= 0 || errno != EINTR) return ready;
    }
}

bool openWakePair(int ends[2]) { return pipe2(ends, O_CLOEXEC) == 0; }

void wake(int end) {
    const char byte = 1;
    (void)!::write(end, &byte, 1);
}

unsigned testProcessNumber() { return static_cast<unsigned>(getpid()); }

#endif

bool setSocketOption(int socket, int level, int name, int value) {
#ifdef _WIN32
    return setsockopt(static_cast<SOCKET>(socket), level, name, reinterpret_cast<const char*>(&value),
                      sizeof value) == 0;
#else
    return setsockopt(socket, level, name, &value, sizeof value) == 0;
#endif
}

pollfd pollEntry(int socket, short events) {
    pollfd entry{};
    entry.fd = static_cast<decltype(entry.fd)>(socket);
    entry.events = events;
    return entry;
}

void shutdownSending(int socket) {
#ifdef _WIN32
    ::shutdown(static_cast<SOCKET>(socket), SD_SEND);
#else
    ::shutdown(socket, SHUT_WR);
#endif
}

int pendingError(int socket) {
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) return -1;
    return error;
}

sockaddr_in socketAddress(const std::string& address, int port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &result.sin_addr);
    return result;
}

}  // namespace mk::test
