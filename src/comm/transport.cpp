// Each interface family's routes, and the table that chooses them.
#include "comm/transport.h"

#include <array>
#include <string>

#include "comm/callback.h"
#include "comm/comm_errors.h"
#include "comm/comm_timing.h"
#include "comm/net_transport.h"
#include "comm/usb_io.h"
#include "comm/usb_printer.h"
#include "comm/write_data.h"

namespace mk {
namespace {

// Network and spooler printers are not contacted: a target is all they need.
bool connectTo(Printer& printer, const std::string& target, CommError missing) {
    if (target.empty()) {
        setCommError(missing);
        return false;
    }
    printer.connected = true;
    return true;
}

bool sendPlainLabel(Printer& printer, const std::uint8_t* data, int length, float /*labelLengthMm*/) {
    return writeData(printer, data, length);
}

bool noAnswerAsked(const Printer& /*printer*/) { return true; }

// USB

bool connectUsb(Printer& printer) {
    UsbDeviceRecord found = findUsbPrinterBySerial(printer.usbSerial);
    if (found.devicePath.empty()) {
        // Replaces the search's own -502 or code 0: the caller asked to connect.
        setCommError(CommError::UsbNotFound);
        return false;
    }
    printer.usbDevicePath = std::move(found.devicePath);
    printer.connected = true;
    return true;
}

bool writeOverUsb(const Printer& printer, const std::uint8_t* data, int length) {
    if (printer.usbDevicePath.empty()) {
        setCommError(CommError::WriteUsbPathNotSet);
        return false;
    }
    UsbHandle handle = openUsbForWrite(printer.usbDevicePath);
    if (!handle.valid()) return false;
    const bool written = writeUsb(handle, data, static_cast<std::uint32_t>(length));
    closeUsbHandle(handle);
    return written;
}

int usbStatus(const Printer& printer) {
    if (printer.usbDevicePath.empty()) {
        setCommError(CommError::StatusUsbPathNotSet);
        return -1;
    }
    UsbHandle handle = openUsbForStatus(printer.usbDevicePath);
    if (!handle.valid()) return -1;
    const int status = getUsbStatusCode(handle);
    closeUsbHandle(handle);
    return status;
}

bool readRpAnswer(const Printer& printer) {
    return readPrintResponse(printer, static_cast<int>(commTiming().rpAnswerWait.count()));
}

// Network

bool connectNetwork(Printer& printer) { return connectTo(printer, printer.netAddress, CommError::NetAddressNotSet); }

bool writeOverNetwork(const Printer& printer, const std::uint8_t* data, int length) {
    if (printer.netAddress.empty()) {
        setCommError(CommError::WriteNetAddressNotSet);
        return false;
    }
    return sendTcp(printer.netAddress, printer.netPort, data, length);
}

int networkStatus(const Printer& printer) {
    if (printer.netAddress.empty()) {
        setCommError(CommError::StatusNetAddressNotSet);
        return -1;
    }
    return queryNetStatus(printer.netAddress);
}

int readTagOverNetwork(const Printer& printer, const TagRead& read, int timeoutMs, char* buffer, int size) {
    return readTagViaNet(printer, read.netCommand, timeoutMs, buffer, size);
}

bool sendLabelAwaitingPn(Printer& printer, const std::uint8_t* data, int length, float labelLengthMm) {
    return writeAndWaitForPn(printer, data, length, static_cast<int>(commTiming().pnAnswerWait.count()),
                             labelLengthMm);
}

// Spooler, and the types nothing supports

bool connectSpooler(Printer& printer) { return connectTo(printer, printer.driverName, CommError::DriverNameNotSet); }

int noStatus(const Printer& /*printer*/) { return -1; }

int refuseTagRead(const Printer& /*printer*/, const TagRead& read, int, char*, int) {
    setCommError(read.unsupportedInterface);
    return -1;
}

bool refuseConnect(Printer& /*printer*/) {
    setCommError(CommError::UnsupportedInterface);
    return false;
}

bool refuseWrite(const Printer& /*printer*/, const std::uint8_t*, int) {
    setCommError(CommError::WriteUnsupportedInterface);
    return false;
}

constexpr Transport kSpooler{InterfaceFamily::Driver, &Printer::driverName, connectSpooler, sendToDriver, noStatus,
                             refuseTagRead, nullptr, sendPlainLabel, noAnswerAsked};

constexpr Transport kUsb{InterfaceFamily::Usb, &Printer::usbDevicePath, connectUsb, writeOverUsb, usbStatus,
                         readTagOverUsb, nullptr, sendPlainLabel, noAnswerAsked};

constexpr Transport kNetwork{InterfaceFamily::Network, &Printer::netAddress, connectNetwork, writeOverNetwork,
                             networkStatus, readTagOverNetwork, nullptr, sendPlainLabel, noAnswerAsked};

constexpr Transport kUnsupported{InterfaceFamily::Unsupported, nullptr, refuseConnect, refuseWrite, noStatus,
                                 refuseTagRead, nullptr, sendPlainLabel, noAnswerAsked};

// A USB printer confirms a label by answering "RP" on the device.
constexpr Transport kUsbConfirmed = [] {
    Transport transport = kUsb;
    transport.confirmCommand = "PR1,1\r\n";
    transport.readAnswer = readRpAnswer;
    return transport;
}();

// A network printer confirms a label by calling back with "PN", so the job
// goes through the call-back protocol instead of a plain send.
constexpr Transport kNetworkConfirmed = [] {
    Transport transport = kNetwork;
    transport.confirmCommand = "PN1,1\r\n";
    transport.sendLabel = sendLabelAwaitingPn;
    return transport;
}();

// Indexed by the interface type; values outside it are unsupported.
constexpr std::array<const Transport*, 10> kTransports = {
    &kSpooler,       // 0
    &kUsb,           // 1
    &kNetwork,       // 2
    &kUnsupported,   // 3
    &kUsbConfirmed,  // 4
    &kNetworkConfirmed, &kUsbConfirmed, &kNetworkConfirmed, &kUsbConfirmed, &kNetworkConfirmed,  // 5 to 9
};

}  // namespace

const Transport& transportFor(int interfaceType) {
    if (interfaceType < 0 || static_cast<std::size_t>(interfaceType) >= kTransports.size()) return kUnsupported;
    return *kTransports[static_cast<std::size_t>(interfaceType)];
}

}  // namespace mk
