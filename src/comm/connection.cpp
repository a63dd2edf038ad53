// Connecting a printer and asking its status.
#include "comm/connection.h"

#include <string>

#include "comm/comm_errors.h"
#include "comm/interface_type.h"
#include "comm/net_transport.h"
#include "comm/usb_io.h"
#include "comm/usb_printer.h"
#include "mklabel.h"
#include "model/export_guard.h"

namespace mk {
namespace {

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

// Network and spooler printers are not contacted: a target is all they need.
bool connectTo(Printer& printer, const std::string& target, CommError missing) {
    if (target.empty()) {
        setCommError(missing);
        return false;
    }
    printer.connected = true;
    return true;
}

int getUsbStatus(const Printer& printer) {
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

}  // namespace

bool connectPrinter(Printer& printer) {
    disconnectPrinter(printer);
    switch (interfaceFamily(printer.interfaceType)) {
    case InterfaceFamily::Usb:
        return connectUsb(printer);
    case InterfaceFamily::Network:
        return connectTo(printer, printer.netAddress, CommError::NetAddressNotSet);
    case InterfaceFamily::Driver:
        return connectTo(printer, printer.driverName, CommError::DriverNameNotSet);
    case InterfaceFamily::Unsupported:
        break;
    }
    setCommError(CommError::UnsupportedInterface);
    return false;
}

void disconnectPrinter(Printer& printer) {
    printer.usbDevicePath.clear();
    printer.connected = false;
}

bool isConnected(const Printer& printer) {
    if (!printer.connected) return false;
    switch (interfaceFamily(printer.interfaceType)) {
    case InterfaceFamily::Usb:
        return !printer.usbDevicePath.empty();
    case InterfaceFamily::Network:
        return !printer.netAddress.empty();
    case InterfaceFamily::Driver:
        return !printer.driverName.empty();
    case InterfaceFamily::Unsupported:
        break;
    }
    return false;
}

int getStatusCode(const Printer& printer) {
    switch (interfaceFamily(printer.interfaceType)) {
    case InterfaceFamily::Usb:
        return getUsbStatus(printer);
    case InterfaceFamily::Network:
        if (printer.netAddress.empty()) {
            setCommError(CommError::StatusNetAddressNotSet);
            return -1;
        }
        return queryNetStatus(printer.netAddress);
    case InterfaceFamily::Driver:
    case InterfaceFamily::Unsupported:
        break;
    }
    return -1;
}

}  // namespace mk

extern "C" {

MK_API int MkPrinter_Connect(Printer* printer) {
    if (printer == nullptr) return MK_FAIL;
    return mk::guarded(MK_CONNECT_FAILED, [&] { return mk::connectPrinter(*printer) ? MK_OK : MK_CONNECT_FAILED; });
}

MK_API void MkPrinter_Disconnect(Printer* printer) {
    if (printer != nullptr) mk::disconnectPrinter(*printer);
}

MK_API int MkPrinter_GetStatusCode(Printer* printer) {
    if (printer == nullptr) return MK_FAIL;
    return mk::guarded(MK_FAIL, [&] { return mk::getStatusCode(*printer); });
}

}  // extern "C"
