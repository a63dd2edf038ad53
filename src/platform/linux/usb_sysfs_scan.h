#pragma once

#include <filesystem>
#include <optional>
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

}  // namespace mk::platform
