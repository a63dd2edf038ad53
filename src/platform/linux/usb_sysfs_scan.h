#pragma once
// What sysfs tells of the USB printers, read without waiting for any device:
// the attributes read here are the ones the kernel answers from what it holds,
// without taking the device's lock (a device's `serial` is the one exception,
// and it is read once per device attachment, see UsbSerialMemo).

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/usb_driver.h"

namespace mk::platform {

// The serial numbers read so far, per device attachment (sysfs name, bus
// number, device address, vendor and product): reading a device's `serial`
// waits while the kernel holds that device (a driver probing it, another
// program's reset), so each attachment's serial is read once, and a scan
// while another printer is being probed passes that printer by. A device
// plugged again gets another address, so a kept serial never names a
// different device. Bounded; the oldest entry goes first.
class UsbSerialMemo {
public:
    struct Attachment {
        std::string name;
        unsigned bus = 0;
        unsigned address = 0;
        std::string ids;  // "vvvv:pppp"
        bool operator==(const Attachment&) const = default;
    };
    static constexpr size_t kEntries = 64;

    std::optional<std::string> find(const Attachment& attachment) const;
    void keep(const Attachment& attachment, const std::string& serial);

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<Attachment, std::string>> entries_;  // oldest first; under mutex_
};

// Lists the printer-class interfaces (class 07) of the USB devices under
// <sysfsRoot>/bus/usb/devices, one per device (its first such interface by
// number), in the order of bus number, then device address, which is the
// order the devices were attached in on each bus. Sysfs shows every device whether or
// not a kernel driver is bound to it. Each node's path is the device's node
// under <devRoot>/bus/usb. A missing devices folder means a system without
// USB: no printers. Serials come from `memo` where it has them.
std::optional<std::vector<UsbPrinterNode>> scanUsbSysfs(const std::filesystem::path& sysfsRoot,
                                                        const std::filesystem::path& devRoot,
                                                        UsbSerialMemo* memo = nullptr);

// A device as sysfs shows it, found by its node <devRoot>/bus/usb/BBB/DDD
// (any devRoot: only BBB and DDD are read).
struct UsbDeviceSysfs {
    enum class Found { None, Device, Unreadable };
    Found found = Found::None;
    std::filesystem::path folder;
    // The active configuration's value, from its interfaces' names (0 when
    // it has none), and the raw descriptors: the device's, then each
    // configuration's with everything in it.
    int configuration = 0;
    std::vector<uint8_t> descriptors;
};
UsbDeviceSysfs usbDeviceSysfsOf(const std::filesystem::path& sysfsRoot, const std::string& usbNode);

// Which kernel driver has one interface of a device: none, usblp with the
// device number of the node it made, another one (usbfs for a program that
// claimed it, or any other driver), or Unreadable when sysfs could not be
// read to the end.
struct UsblpNode {
    enum class Found { None, Node, OtherDriver, Unreadable };
    Found found = Found::None;
    dev_t device = 0;
};

// The driver of the given interface of the device whose node is usbNode,
// from <sysfsRoot>/bus/usb/devices/<interface>/driver and, for usblp,
// usbmisc/lpN/dev.
UsblpNode usblpNodeOf(const std::filesystem::path& sysfsRoot, const std::string& usbNode, int interfaceNumber);

}  // namespace mk::platform
