// Network printers are not reached on Windows yet: no socket opens, so every
// network call fails as it does when the system refuses a socket.
#include "platform/tcp_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/tcp_socket_testing.h"

namespace mk::platform {

bool isHostIpv4(const std::string& address) {
    in_addr converted{};
    return inet_pton(AF_INET, address.c_str(), &converted) == 1 && converted.s_addr != htonl(INADDR_ANY);
}

TcpSocket TcpSocket::open() { return TcpSocket(); }

bool TcpSocket::setReceiveTimeout(std::chrono::milliseconds) { return false; }
bool TcpSocket::connect(const std::string&, int, std::chrono::milliseconds) { return false; }
bool TcpSocket::bind(const std::string&, int) { return false; }
bool TcpSocket::listenOn(const std::string&, int) { return false; }

TcpSocket TcpSocket::acceptBefore(Deadline, std::string& peerAddress) {
    peerAddress.clear();
    return TcpSocket();
}

long TcpSocket::sendSome(const void*, std::size_t, Deadline) { return -1; }
long TcpSocket::receiveSome(void*, std::size_t) { return -1; }

std::string canonicalIpv4(const std::string& address) {
    in_addr converted{};
    if (inet_pton(AF_INET, address.c_str(), &converted) != 1) converted = in_addr{};
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &converted, text, sizeof text) == nullptr) return "0.0.0.0";
    return text;
}

std::vector<InterfaceAddress> interfaceIpv4Addresses() { return {}; }

void setSendLimitForTesting(std::size_t) {}

}  // namespace mk::platform
