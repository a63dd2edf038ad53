#include "platform/usb_driver.h"

#include <fcntl.h>
#include <linux/lp.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>

namespace mk::platform {
namespace {

constinit const UsblpDriver kSystemUsblp{"/sys", "/dev"};
constinit std::atomic<const UsbDriver*> installedDriver{nullptr};

}  // namespace

long UsbDriver::writeSome(int fd, const void* data, size_t size) const { return ::write(fd, data, size); }

std::optional<std::vector<UsbPrinterNode>> UsblpDriver::listPrinters() const {
    return scanUsblp(std::filesystem::path(sysfsRoot_), std::filesystem::path(devRoot_));
}

int UsblpDriver::openDevice(const std::string& devicePath, UsbAccess access) const {
    // Non-blocking, so that no write can hold the caller past its bound
    // while the printer takes nothing (writeUsb waits with poll instead).
    const int mode = access == UsbAccess::ReadOnly ? O_RDONLY : O_RDWR;
    return ::open(devicePath.c_str(), mode | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
}

std::optional<uint8_t> UsblpDriver::portStatus(int fd) const {
    int status = 0;
    if (::ioctl(fd, LPGETSTATUS, &status) != 0) return std::nullopt;
    // The driver widens a signed char: 0x80 arrives as 0xffffff80.
    return static_cast<uint8_t>(status & 0xff);
}

const UsbDriver& usbDriver() {
    const UsbDriver* driver = installedDriver.load();
    return driver != nullptr ? *driver : kSystemUsblp;
}

ScopedUsbDriver::ScopedUsbDriver(const UsbDriver& driver) : previous_(installedDriver.exchange(&driver)) {}

ScopedUsbDriver::~ScopedUsbDriver() { installedDriver.store(previous_); }

}  // namespace mk::platform
