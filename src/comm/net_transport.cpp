#include "comm/net_transport.h"

#include <atomic>

#include "comm/net_timing.h"
#include "platform/tcp_socket.h"

namespace mk {
namespace {

std::atomic<int> useCount{0};

constexpr int kStatusAttempts = 20;

bool isBusyStatus(int status) { return status == 1 || status == 4; }

// The printer sends its status as a digit for 0..9 and as a raw byte
// otherwise.
int statusFromByte(unsigned char byte) {
    if (byte >= '0' && byte <= '9') return byte - '0';
    return byte;
}

// One request without the address check, which both callers make first.
int queryStatusAttempt(const std::string& address) {
    SocketLibraryUse use;
    platform::TcpSocket socket = platform::TcpSocket::open();
    if (!socket.valid()) return kNetStatusFailed;
    socket.setReceiveTimeout(kNetReceiveTimeoutMs);
    if (!socket.connect(address, kStatusPort, netTiming().connectBoundMs)) return kNetStatusFailed;
    static constexpr char kRequest[] = "PS\r\n";
    socket.sendSome(kRequest, sizeof kRequest - 1);
    unsigned char reply = 0;
    if (socket.receiveSome(&reply, 1) <= 0) return kNetStatusFailed;
    return statusFromByte(reply);
}

}  // namespace

void wsaAcquire() { useCount.fetch_add(1); }

void wsaRelease() { useCount.fetch_sub(1); }

int socketUseCount() { return useCount.load(); }

bool sendTcp(const std::string& address, int port, const std::uint8_t* data, int length) {
    if (address.empty() || data == nullptr || length <= 0) return false;
    SocketLibraryUse use;
    platform::TcpSocket socket = platform::TcpSocket::open();
    if (!socket.valid()) return false;
    socket.setReceiveTimeout(kNetReceiveTimeoutMs);
    if (!socket.connect(address, port > 0 ? port : kRawPrintPort, netTiming().connectBoundMs)) return false;
    long sent = 0;
    while (sent < length) {
        const long taken = socket.sendSome(data + sent, static_cast<std::size_t>(length - sent));
        if (taken <= 0) return false;
        sent += taken;
    }
    return true;
}

int queryNetStatusOnce(const std::string& address) {
    if (address.empty()) return kNetStatusNoAddress;
    return queryStatusAttempt(address);
}

int queryNetStatus(const std::string& address) {
    if (address.empty()) return kNetStatusNoAddress;
    for (int attempt = 1;; ++attempt) {
        const int status = queryStatusAttempt(address);
        if (status < 0 || !isBusyStatus(status)) return status;
        platform::sleepMs(netTiming().statusPauseMs);
        if (attempt == kStatusAttempts) return status;
    }
}

}  // namespace mk
