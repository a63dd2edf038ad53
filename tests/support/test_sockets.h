#pragma once
// The few socket calls the fixtures make, alike on Linux and on Windows.
// Sockets are held as int: a Windows SOCKET's value fits, and -1 is what
// INVALID_SOCKET converts to.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#endif

#include <cstddef>
#include <string>

namespace mk::test {

// A TCP socket that processes started meanwhile do not inherit; -1 on
// failure. The first one starts the system's socket library for the process.
int openSocket(bool nonBlocking = false);
int acceptSocket(int listener);
void closeSocket(int socket);
bool setNonBlocking(int socket, bool on);
bool setSocketOption(int socket, int level, int name, int value);
// True when the last connect on a non-blocking socket is under way.
bool connectInProgress();

void shutdownSending(int socket);
int pendingError(int socket);  // SO_ERROR; -1 when it cannot be read
// Never a signal for a peer that has gone.
long sendBytes(int socket, const void* data, std::size_t size);
long receiveBytes(int socket, void* buffer, std::size_t size);
pollfd pollEntry(int socket, short events);
// poll(), which a signal does not end early; entries of socket -1 are passed
// over.
int pollSockets(pollfd* entries, std::size_t count, int timeoutMs);

// Two connected ends, closed with closeSocket: [0] turns readable once
// wake([1]) was called. Wakes a thread that waits in pollSockets.
bool openWakePair(int ends[2]);
void wake(int end);

sockaddr_in socketAddress(const std::string& address, int port);

// Distinguishes this test process from the others running at the same time.
unsigned testProcessNumber();

}  // namespace mk::test
