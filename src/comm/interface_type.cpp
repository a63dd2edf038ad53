#include "comm/interface_type.h"

#include "comm/transport.h"

namespace mk {

bool isDriverInterface(const Printer& printer) {
    return transportFor(printer.interfaceType).family == InterfaceFamily::Driver;
}
bool isUsbInterface(const Printer& printer) { return transportFor(printer.interfaceType).family == InterfaceFamily::Usb; }
bool isNetInterface(const Printer& printer) {
    return transportFor(printer.interfaceType).family == InterfaceFamily::Network;
}

}  // namespace mk
