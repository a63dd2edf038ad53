#include "comm/net_transport.h"

#include "comm/comm_timing.h"
#include "comm/status_retry.h"
#include "portable/socket_use.h"

namespace mk {
namespace {

constexpr int kStatusAttempts = 20;

// One request without the address check, which both callers make first.
int queryStatusAttempt(const std::string& address) {
    const platform::SocketUse use;
    PrinterConnection printer = connectToPrinter(address, kStatusPort, commTiming().netReceiveTimeout);
    if (!printer.connected) return kNetStatusFailed;
    static constexpr char kRequest[] = "PS\r\n";
    printer.socket.sendSome(kRequest, sizeof kRequest - 1, sendStallDeadline());
    unsigned char reply = 0;
    if (printer.socket.receiveSome(&reply, 1) <= 0) return kNetStatusFailed;
    return statusFromReplyByte(reply);
}

}  // namespace

int statusFromReplyByte(unsigned char byte) {
    if (byte >= '0' && byte <= '9') return byte - '0';
    return byte;
}

PrinterConnection connectToPrinter(const std::string& address, int port, std::chrono::milliseconds receiveTimeout) {
    PrinterConnection printer{platform::TcpSocket::open()};
    if (!printer.socket.valid()) return printer;
    printer.socket.setReceiveTimeout(receiveTimeout);
    printer.connected = printer.socket.connect(address, port, commTiming().connectBound);
    return printer;
}

platform::Deadline sendStallDeadline() { return std::chrono::steady_clock::now() + commTiming().netSendStallLimit; }

bool sendWhole(platform::TcpSocket& socket, const std::uint8_t* data, int length) {
    // The stall limit runs from the last byte the socket took, for the whole
    // job: a printer that stops reading (out of paper, jammed) fails the send
    // one limit after the socket buffers fill, whatever the job's size.
    for (int sent = 0; sent < length;) {
        const long taken = socket.sendSome(data + sent, static_cast<std::size_t>(length - sent), sendStallDeadline());
        if (taken <= 0) return false;
        sent += static_cast<int>(taken);
    }
    return true;
}

bool sendTcp(const std::string& address, int port, const std::uint8_t* data, int length) {
    if (address.empty() || data == nullptr || length <= 0) return false;
    const platform::SocketUse use;
    PrinterConnection printer =
        connectToPrinter(address, port > 0 ? port : kRawPrintPort, commTiming().netReceiveTimeout);
    return printer.connected && sendWhole(printer.socket, data, length);
}

int queryNetStatusOnce(const std::string& address) {
    if (address.empty()) return kNetStatusNoAddress;
    return queryStatusAttempt(address);
}

int queryNetStatus(const std::string& address) {
    if (address.empty()) return kNetStatusNoAddress;
    return askWhilePassing(kStatusAttempts, commTiming().netStatusPause, [&] { return queryStatusAttempt(address); });
}

}  // namespace mk
