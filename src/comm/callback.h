#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/printer.h"

namespace mk {

// The host address a printer is told to call back to: the first of the host's
// addresses that shares the printer address's first number and its dot, else
// the first one; none when the printer address names no IPv4 host or the host
// has no address.
std::optional<std::string> chooseLocalAddress(const std::string& printerAddress,
                                              const std::vector<std::string>& hostAddresses);
// The same over the host's own addresses (platform::hostIpv4Addresses).
std::optional<std::string> chooseLocalAddress(const std::string& printerAddress);

// Asks the printer at address:port (9100 when port <= 0) to call back, sends
// the payload, and waits up to timeoutMs (3000 when <= 0) for the printer's
// own call-back. The answer is what the printer sent less NUL, STX, ETX, CR
// and LF; false when nothing is left. Sets no last error.
bool sendAndAwaitCallback(const std::string& address, const std::string& payload, int port, int timeoutMs,
                          std::string& answer);

// Sends a print job through the call-back protocol to port 9100 and waits up
// to timeoutMs (10000 when <= 0) for the answer "PN", then for the label to
// print. Codes: -545 not a network printer, -546 no data, -549 no "PN".
bool writeAndWaitForPn(const Printer& printer, const std::uint8_t* data, int length, int timeoutMs,
                       float labelLengthMm);

// The printer frames its answers with NUL, STX, ETX, CR and LF; the answer
// is what remains.
std::string dropAnswerFraming(std::string_view bytes);

// A confirmed network print is good when the call-back brought exactly "PN".
bool isPnAnswer(std::string_view received);

// How long a confirmed label takes to come out after "PN", in milliseconds.
int printWaitMs(float labelLengthMm, int speed);

}  // namespace mk
