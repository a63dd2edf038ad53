#include "comm/callback.h"

#include <chrono>
#include <cstdio>
#include <limits>

#include "comm/comm_errors.h"
#include "comm/interface_type.h"
#include "comm/net_timing.h"
#include "comm/net_transport.h"
#include "platform/tcp_socket.h"

namespace mk {
namespace {

using Clock = std::chrono::steady_clock;
using platform::TcpSocket;

constexpr int kLastPort = 65535;
constexpr int kPrinterReceiveTimeoutMs = 5000;  // nothing is read on this connection
constexpr int kCommandPauseMs = 100;            // the printer takes the command before the payload
constexpr std::size_t kTagAnswerMaxBytes = 511;
constexpr std::size_t kPnAnswerBytes = 2;

std::string callbackCommand(int port, const std::string& localAddress) {
    char text[128];
    std::snprintf(text, sizeof text, "NB%d,%s,1\r\n", port, localAddress.c_str());
    return text;
}

struct CallbackListener {
    TcpSocket socket;
    std::string command;  // tells the printer where to call back
};

std::optional<CallbackListener> openCallbackListener(const std::string& printerAddress) {
    const std::optional<std::string> local = chooseLocalAddress(printerAddress);
    if (!local) return std::nullopt;
    const std::optional<int> port = chooseListenPort();
    if (!port) return std::nullopt;
    CallbackListener listener{TcpSocket::open(), callbackCommand(*port, *local)};
    if (!listener.socket.bind(*local, *port) || !listener.socket.listen(1)) return std::nullopt;
    return listener;
}

// An invalid socket only when no socket could be opened; a socket whose
// connection failed is returned unconnected through `connected`.
TcpSocket connectToPrinter(const std::string& address, int port, bool& connected) {
    TcpSocket socket = TcpSocket::open();
    connected = false;
    if (!socket.valid()) return socket;
    socket.setReceiveTimeout(kPrinterReceiveTimeoutMs);
    connected = socket.connect(address, port, netTiming().connectBoundMs);
    return socket;
}

// Waits for the call-back from the printer itself: a connection from any
// other peer could confirm a print that never happened or inject tag data, so
// it is closed and the wait goes on until its end.
TcpSocket acceptCallback(TcpSocket& listener, const std::string& printerAddress, int waitMs) {
    const std::string printer = platform::canonicalIpv4(printerAddress);
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return {};
        std::string peer;
        TcpSocket connection = listener.acceptWithin(static_cast<int>(left), peer);
        if (!connection.valid()) return {};
        if (peer == printer) return connection;
    }
}

// One receive of at most maxBytes on the call-back connection.
std::string receiveAnswer(TcpSocket& connection, int waitMs, std::size_t maxBytes) {
    connection.setReceiveTimeout(waitMs);
    std::string received(maxBytes, '\0');
    const long count = connection.receiveSome(received.data(), maxBytes);
    received.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    return received;
}

}  // namespace

std::optional<std::string> chooseLocalAddress(const std::string& printerAddress,
                                              const std::vector<std::string>& hostAddresses) {
    const std::size_t dot = printerAddress.find('.');
    if (dot == std::string::npos || hostAddresses.empty()) return std::nullopt;
    const std::string prefix = printerAddress.substr(0, dot + 1);
    for (const std::string& address : hostAddresses) {
        if (address.rfind(prefix, 0) == 0) return address;
    }
    return hostAddresses.front();
}

std::optional<std::string> chooseLocalAddress(const std::string& printerAddress) {
    if (printerAddress.find('.') == std::string::npos) return std::nullopt;
    return chooseLocalAddress(printerAddress, localIpv4Addresses());
}

std::optional<int> chooseListenPort() {
    for (int port = netTiming().firstCallbackPort; port <= kLastPort; ++port) {
        TcpSocket probe = TcpSocket::open();
        if (probe.valid() && probe.bind("0.0.0.0", port)) return port;
    }
    return std::nullopt;
}

bool sendAndAwaitCallback(const std::string& address, const std::string& payload, int port, int timeoutMs,
                          std::string& answer) {
    answer.clear();
    if (address.empty() || payload.empty()) return false;
    SocketLibraryUse use;
    std::optional<CallbackListener> listener = openCallbackListener(address);
    if (!listener) return false;
    {
        bool connected = false;
        TcpSocket printer = connectToPrinter(address, port > 0 ? port : kRawPrintPort, connected);
        if (!printer.valid()) return false;
        // A printer that could not be asked does not call back: the wait
        // below then runs out.
        if (connected) {
            printer.sendSome(listener->command.data(), listener->command.size());
            platform::sleepMs(kCommandPauseMs);
            printer.sendSome(payload.data(), payload.size());
        }
    }
    const int waitMs = timeoutMs > 0 ? timeoutMs : netTiming().tagWaitDefaultMs;
    TcpSocket callback = acceptCallback(listener->socket, address, waitMs);
    listener->socket.close();
    if (!callback.valid()) return false;
    answer = dropAnswerFraming(receiveAnswer(callback, waitMs, kTagAnswerMaxBytes));
    return !answer.empty();
}

bool writeAndWaitForPn(const Printer& printer, const std::uint8_t* data, int length, int timeoutMs,
                       float labelLengthMm) {
    if (!isNetInterface(printer) || printer.netAddress.empty()) {
        setCommError(CommError::PnNotNet);
        return false;
    }
    if (data == nullptr || length < 1) {
        setCommError(CommError::PnInvalidData);
        return false;
    }
    // Linux sockets need no start, so this exchange has nothing to do with
    // the use count.
    std::optional<CallbackListener> listener = openCallbackListener(printer.netAddress);
    if (!listener) return false;
    {
        bool connected = false;
        TcpSocket connection = connectToPrinter(printer.netAddress, kRawPrintPort, connected);
        if (!connected) return false;
        connection.sendSome(listener->command.data(), listener->command.size());
        platform::sleepMs(kCommandPauseMs);
        for (int sent = 0; sent < length;) {
            const long taken = connection.sendSome(data + sent, static_cast<std::size_t>(length - sent));
            if (taken <= 0) return false;
            sent += static_cast<int>(taken);
        }
    }
    const int waitMs = timeoutMs > 0 ? timeoutMs : netTiming().confirmWaitDefaultMs;
    TcpSocket callback = acceptCallback(listener->socket, printer.netAddress, waitMs);
    listener->socket.close();
    if (!callback.valid()) return false;
    const std::string received = receiveAnswer(callback, waitMs, kPnAnswerBytes);
    callback.close();
    if (received != "PN") {
        setCommError(CommError::PnNotReceived);
        return false;
    }
    platform::sleepMs(printWaitMs(labelLengthMm, printer.speed));
    return true;
}

std::string dropAnswerFraming(std::string_view bytes) {
    std::string kept;
    for (const char byte : bytes) {
        const unsigned char value = static_cast<unsigned char>(byte);
        if (value != 0x00 && value != 0x02 && value != 0x03 && value != 0x0A && value != 0x0D) kept.push_back(byte);
    }
    return kept;
}

int printWaitMs(float labelLengthMm, int speed) {
    int base = 100;
    if (labelLengthMm > 0.0f && speed > 0) {
        // Speed is in inches per second. 32-bit float steps in this order, so
        // that the rounding matches what the printers' hosts expect.
        const float lengthTimes1000 = labelLengthMm * 1000.0f;
        const float millimetresPerSecond = static_cast<float>(speed) * 25.4f;
        const float rounded = lengthTimes1000 / millimetresPerSecond + 0.5f;
        // A length beyond any label would not fit the result.
        constexpr float kLongest = static_cast<float>(std::numeric_limits<int>::max() - 256);
        base = rounded < kLongest ? static_cast<int>(rounded) : static_cast<int>(kLongest);
    }
    return base + 100;
}

}  // namespace mk
