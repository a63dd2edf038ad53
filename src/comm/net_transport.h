#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/tcp_socket.h"

namespace mk {

constexpr int kRawPrintPort = 9100;
constexpr int kStatusPort = 59100;

// A connection to a printer. The socket is invalid only when none could be
// opened; one that could not be connected in time is kept, unconnected.
struct PrinterConnection {
    platform::TcpSocket socket;
    bool connected = false;
};

// Connects to address:port within the connect bound, with this receive
// time-out on the socket. An address that names no host is not connected.
PrinterConnection connectToPrinter(const std::string& address, int port, std::chrono::milliseconds receiveTimeout);

// The latest moment a send begun now may wait for the printer to take bytes.
platform::Deadline sendStallDeadline();

// Sends every byte, each send continuing where the last one stopped; false
// at the first send that fails or when the printer takes nothing for the
// send stall limit.
bool sendWhole(platform::TcpSocket& socket, const std::uint8_t* data, int length);

// Hands every byte to the printer's raw port (9100 when port <= 0). Sets no
// last error: the result alone reports failure.
bool sendTcp(const std::string& address, int port, const std::uint8_t* data, int length);

// Status results that are not statuses; never written to the last error.
constexpr int kNetStatusNoAddress = -501;
constexpr int kNetStatusFailed = -504;

// One status request on port 59100: the status 0..255, or one of the two
// failures above.
int queryNetStatusOnce(const std::string& address);
// Asks again while the printer reports 1 or 4, up to 20 attempts.
int queryNetStatus(const std::string& address);

// The printer sends its status as a digit for 0..9 and as a raw byte
// otherwise: the status 0..255.
int statusFromReplyByte(unsigned char byte);

}  // namespace mk
