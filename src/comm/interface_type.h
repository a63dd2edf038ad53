#pragma once

#include "model/printer.h"

namespace mk {

// What a printer's interface type selects (comm/transport.h holds each
// family's routes). The library tests only the family, never a single
// member: 4, 6 and 8 behave as 1 (USB, with a print confirmation added by
// the print calls), 5, 7 and 9 as 2 (network).
enum class InterfaceFamily { Driver, Usb, Network, Unsupported };

bool isDriverInterface(const Printer& printer);
bool isUsbInterface(const Printer& printer);
bool isNetInterface(const Printer& printer);

}  // namespace mk
