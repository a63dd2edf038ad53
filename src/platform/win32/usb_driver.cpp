// USB printers are not reached on Windows yet: the printer class lists no
// printer and no device opens, so every USB call fails as it does with no
// printer attached.
#include "platform/usb_driver.h"

#include <atomic>
#include <cerrno>

namespace mk::platform {
namespace {

class NoUsbDriver : public UsbDriver {
public:
    std::optional<std::vector<UsbPrinterNode>> listPrinters() const override { return std::vector<UsbPrinterNode>{}; }
    int openDevice(const std::string&, UsbAccess) const override {
        errno = ENODEV;
        return -1;
    }
    std::optional<uint8_t> portStatus(int) const override { return std::nullopt; }
};

constinit const NoUsbDriver kSystemDriver;
constinit std::atomic<const UsbDriver*> installedDriver{nullptr};

}  // namespace

long UsbDriver::writeSome(int, const void*, size_t) const {
    errno = ENODEV;
    return -1;
}

const UsbDriver& usbDriver() {
    const UsbDriver* driver = installedDriver.load();
    return driver != nullptr ? *driver : kSystemDriver;
}

ScopedUsbDriver::ScopedUsbDriver(const UsbDriver& driver) : previous_(installedDriver.exchange(&driver)) {}

ScopedUsbDriver::~ScopedUsbDriver() { installedDriver.store(previous_); }

}  // namespace mk::platform
