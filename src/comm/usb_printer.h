#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mklabel.h"

namespace mk {

// One supported printer found on the USB bus.
struct UsbDeviceRecord {
    std::string name;        // "Stampwell" for every printer
    std::string port;        // USB01, USB02, ... in the order found
    std::string serial;      // at most 31 characters
    std::string devicePath;  // the node every USB operation opens
};

// Every supported printer attached now, found afresh on each call. An empty
// result leaves code 0 and "No VELMOR USB printers found" in the last error;
// a bus that cannot be listed at all leaves -501.
std::vector<UsbDeviceRecord> scanUsbPrinters();

// The third '#'-separated piece of a printer identifier (the instance
// identifier, which for a printer is its serial number), cut to 31
// characters; empty when the identifier has no such piece.
std::string serialFromDevicePath(std::string_view identifier);

// The first printer whose serial equals the given one byte for byte (an
// empty serial takes the first printer found); a record of empty strings,
// and -502 in the last error, when none does.
UsbDeviceRecord findUsbPrinterBySerial(const std::string& serial);

std::vector<UsbPrinterInfo> buildUsbPrinterInfoList();

}  // namespace mk
