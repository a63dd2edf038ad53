#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/usb_driver.h"

namespace mk::platform {

// Lists the printer-class interfaces (class 07) of the USB devices under
// <sysfsRoot>/bus/usb/devices, one per device (its first such interface), in
// the order of bus number, then device address, which is the order the
// devices were attached in on each bus. Sysfs shows every device whether or
// not a kernel driver is bound to it. Each node's path is the device's node
// under <devRoot>/bus/usb. A missing devices folder means a system without
// USB: no printers.
std::optional<std::vector<UsbPrinterNode>> scanUsbSysfs(const std::filesystem::path& sysfsRoot,
                                                        const std::filesystem::path& devRoot);

// The node the kernel's printer driver (usblp) made for the given interface
// of the device whose node is <devRoot>/bus/usb/BBB/DDD, as
// <devRoot>/usb/lpN; empty when it has made none (usblp is not bound).
std::string usblpNodeOf(const std::filesystem::path& sysfsRoot, const std::filesystem::path& devRoot,
                        const std::string& usbNode, int interfaceNumber);

}  // namespace mk::platform
