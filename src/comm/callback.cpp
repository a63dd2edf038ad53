#include "comm/callback.h"

#include <chrono>
#include <cstdio>
#include <limits>
#include <thread>

#include "comm/comm_errors.h"
#include "comm/interface_type.h"
#include "comm/comm_timing.h"
#include "comm/net_transport.h"
#include "portable/socket_use.h"
#include "platform/tcp_socket.h"

namespace mk {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using platform::TcpSocket;

constexpr int kLastPort = 65535;
constexpr milliseconds kPrinterReceiveTimeout{5000};  // nothing is read on this connection
constexpr milliseconds kCommandPause{100};            // the printer takes the command before the payload
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

// Listens on the first port from 9210 upward that is free on the local
// address. The socket that bound the port keeps it: a port found free and let
// go could be taken by another exchange before the listener binds it.
std::optional<CallbackListener> openCallbackListener(const std::string& printerAddress) {
    const std::optional<std::string> local = chooseLocalAddress(printerAddress);
    if (!local) return std::nullopt;
    for (int port = commTiming().firstCallbackPort; port <= kLastPort; ++port) {
        TcpSocket socket = TcpSocket::open();
        if (socket.valid() && socket.listenOn(*local, port)) {
            return CallbackListener{std::move(socket), callbackCommand(port, *local)};
        }
    }
    return std::nullopt;
}

// Waits for the call-back from the printer itself: a connection from any
// other peer could confirm a print that never happened or inject tag data, so
// it is closed and the wait goes on until its end.
TcpSocket acceptCallback(TcpSocket& listener, const std::string& printerAddress, milliseconds wait) {
    const std::string printer = platform::canonicalIpv4(printerAddress);
    const platform::Deadline deadline = Clock::now() + wait;
    for (;;) {
        std::string peer;
        TcpSocket connection = listener.acceptBefore(deadline, peer);
        if (!connection.valid() || peer == printer) return connection;
    }
}

// One receive of at most maxBytes on the call-back connection.
std::string receiveAnswer(TcpSocket& connection, milliseconds wait, std::size_t maxBytes) {
    connection.setReceiveTimeout(wait);
    std::string received(maxBytes, '\0');
    const long count = connection.receiveSome(received.data(), maxBytes);
    received.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    return received;
}

}  // namespace

std::optional<std::string> chooseLocalAddress(const std::string& printerAddress,
                                              const std::vector<std::string>& hostAddresses) {
    if (!platform::isHostIpv4(printerAddress) || hostAddresses.empty()) return std::nullopt;
    const std::string prefix = printerAddress.substr(0, printerAddress.find('.') + 1);
    for (const std::string& address : hostAddresses) {
        if (address.rfind(prefix, 0) == 0) return address;
    }
    return hostAddresses.front();
}

std::optional<std::string> chooseLocalAddress(const std::string& printerAddress) {
    if (!platform::isHostIpv4(printerAddress)) return std::nullopt;
    return chooseLocalAddress(printerAddress, platform::hostIpv4Addresses());
}

bool sendAndAwaitCallback(const std::string& address, const std::string& payload, int port, int timeoutMs,
                          std::string& answer) {
    answer.clear();
    if (address.empty() || payload.empty()) return false;
    const platform::SocketUse use;
    std::optional<CallbackListener> listener = openCallbackListener(address);
    if (!listener) return false;
    {
        PrinterConnection printer = connectToPrinter(address, port > 0 ? port : kRawPrintPort, kPrinterReceiveTimeout);
        if (!printer.socket.valid()) return false;
        // A printer that could not be asked does not call back: the wait
        // below then runs out.
        if (printer.connected) {
            printer.socket.sendSome(listener->command.data(), listener->command.size(), sendStallDeadline());
            std::this_thread::sleep_for(kCommandPause);
            printer.socket.sendSome(payload.data(), payload.size(), sendStallDeadline());
        }
    }
    const milliseconds wait = timeoutMs > 0 ? milliseconds(timeoutMs) : commTiming().tagWaitDefault;
    TcpSocket callback = acceptCallback(listener->socket, address, wait);
    listener->socket.close();
    if (!callback.valid()) return false;
    answer = dropAnswerFraming(receiveAnswer(callback, wait, kTagAnswerMaxBytes));
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
    // This exchange starts the socket library itself, outside the use count.
    const platform::SocketUse use(platform::SocketUse::Uncounted);
    std::optional<CallbackListener> listener = openCallbackListener(printer.netAddress);
    if (!listener) return false;
    {
        PrinterConnection connection = connectToPrinter(printer.netAddress, kRawPrintPort, kPrinterReceiveTimeout);
        if (!connection.connected) return false;
        connection.socket.sendSome(listener->command.data(), listener->command.size(), sendStallDeadline());
        std::this_thread::sleep_for(kCommandPause);
        if (!sendWhole(connection.socket, data, length)) return false;
    }
    const milliseconds wait = timeoutMs > 0 ? milliseconds(timeoutMs) : commTiming().confirmWaitDefault;
    TcpSocket callback = acceptCallback(listener->socket, printer.netAddress, wait);
    listener->socket.close();
    if (!callback.valid()) return false;
    const std::string received = receiveAnswer(callback, wait, kPnAnswerBytes);
    callback.close();
    if (!isPnAnswer(received)) {
        setCommError(CommError::PnNotReceived);
        return false;
    }
    std::this_thread::sleep_for(milliseconds(printWaitMs(labelLengthMm, printer.speed)));
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

bool isPnAnswer(std::string_view received) { return received == "PN"; }

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
