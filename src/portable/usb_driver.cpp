#include "platform/usb_driver.h"

#include <atomic>

namespace mk::platform {
namespace {

constinit std::atomic<const UsbDriver*> installedDriver{nullptr};

}  // namespace

const UsbDriver& usbDriver() {
    const UsbDriver* driver = installedDriver.load();
    return driver != nullptr ? *driver : systemUsbDriver();
}

ScopedUsbDriver::ScopedUsbDriver(const UsbDriver& driver) : previous_(installedDriver.exchange(&driver)) {}

ScopedUsbDriver::~ScopedUsbDriver() { installedDriver.store(previous_); }

}  // namespace mk::platform
