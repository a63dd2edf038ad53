#include "comm/interface_type.h"

#include <array>

namespace mk {
namespace {

// Indexed by the interface type; values outside it are unsupported.
constexpr std::array kFamilies = {
    InterfaceFamily::Driver,       // 0 spooler
    InterfaceFamily::Usb,          // 1
    InterfaceFamily::Network,      // 2
    InterfaceFamily::Unsupported,  // 3
    InterfaceFamily::Usb,          // 4 with print confirmation
    InterfaceFamily::Network,      // 5 with print confirmation
    InterfaceFamily::Usb,          // 6 with print confirmation
    InterfaceFamily::Network,      // 7 with print confirmation
    InterfaceFamily::Usb,          // 8 with print confirmation
    InterfaceFamily::Network,      // 9 with print confirmation
};

}  // namespace

InterfaceFamily interfaceFamily(int interfaceType) {
    if (interfaceType < 0 || static_cast<size_t>(interfaceType) >= kFamilies.size()) return InterfaceFamily::Unsupported;
    return kFamilies[static_cast<size_t>(interfaceType)];
}

bool isDriverInterface(const Printer& printer) { return interfaceFamily(printer.interfaceType) == InterfaceFamily::Driver; }
bool isUsbInterface(const Printer& printer) { return interfaceFamily(printer.interfaceType) == InterfaceFamily::Usb; }
bool isNetInterface(const Printer& printer) { return interfaceFamily(printer.interfaceType) == InterfaceFamily::Network; }

}  // namespace mk
