#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/usb_driver.h"

namespace mk::platform {

// Lists the printer-class interfaces (class 07) of the USB devices under
// <sysfsRoot>/bus/usb/devices, one per device (its first such interface by
// number), in the order of bus number, then device address, which is the
// order the devices were attached in on each bus. Sysfs shows every device whether or
// not a kernel driver is bound to it. Each node's path is the device's node
// under <devRoot>/bus/usb. A missing devices folder means a system without
// USB: no printers.
std::optional<std::vector<UsbPrinterNode>> scanUsbSysfs(const std::filesystem::path& sysfsRoot,
                                                        const std::filesystem::path& devRoot);

// What the kernel's printer driver (usblp) made for one interface of a
// device: its node's device number, nothing (usblp is not bound), or
// Unreadable when sysfs could not be read to the end.
struct UsblpNode {
    enum class Found { None, Node, Unreadable };
    Found found = Found::None;
    dev_t device = 0;
};

// The usblp node of the given interface of the device whose node is
// <devRoot>/bus/usb/BBB/DDD (any devRoot: only BBB and DDD are read), from
// <sysfsRoot>/bus/usb/devices/<interface>/usbmisc/lpN/dev.
UsblpNode usblpNodeOf(const std::filesystem::path& sysfsRoot, const std::string& usbNode, int interfaceNumber);

}  // namespace mk::platform
