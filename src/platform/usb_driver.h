#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mk::platform {

// One printer the kernel's USB printer driver has bound.
struct UsbPrinterNode {
    std::string devicePath;  // the node to open: /dev/usb/lpN
    // "usb#vid_xxxx&pid_xxxx#<serial>#usblp": the vendor and product ids and
    // the serial number, laid out the way the device filter and the serial
    // parser read a printer's identifier.
    std::string identifier;
};

enum class UsbAccess { ReadOnly, ReadWrite };

// Everything that reaches the USB printer class, behind one small interface
// so that a test can stand a fake bus beneath the library.
class UsbDriver {
public:
    virtual ~UsbDriver() = default;

    // Every bound printer in the driver's order; nullopt when the printer
    // class cannot be listed at all.
    virtual std::optional<std::vector<UsbPrinterNode>> listPrinters() const = 0;
    // A non-blocking descriptor the caller closes, or -1 with errno set.
    virtual int openDevice(const std::string& devicePath, UsbAccess access) const = 0;
    // One write(2): the number of bytes taken, or -1 with errno set.
    virtual long writeSome(int fd, const void* data, size_t size) const;
    // The port-status byte, or nullopt when the request fails.
    virtual std::optional<uint8_t> portStatus(int fd) const = 0;
};

// The Linux usblp driver as sysfs and /dev show it under the given roots
// (which must outlive it: string literals or the paths of a test's tree).
class UsblpDriver : public UsbDriver {
public:
    constexpr UsblpDriver(std::string_view sysfsRoot, std::string_view devRoot)
        : sysfsRoot_(sysfsRoot), devRoot_(devRoot) {}

    std::optional<std::vector<UsbPrinterNode>> listPrinters() const override;
    int openDevice(const std::string& devicePath, UsbAccess access) const override;
    std::optional<uint8_t> portStatus(int fd) const override;

private:
    std::string_view sysfsRoot_;
    std::string_view devRoot_;
};

// Lists the printers usblp has bound: every <sysfsRoot>/class/usbmisc/lpN
// whose device link leads to a USB interface, its USB device (the
// interface's parent) holding idVendor and idProduct, in the order of N. A
// missing class folder means the driver is not loaded: no printers.
std::optional<std::vector<UsbPrinterNode>> scanUsblp(const std::filesystem::path& sysfsRoot,
                                                     const std::filesystem::path& devRoot);

// The driver the library uses: usblp under /sys and /dev unless a test has
// put another one in its place.
const UsbDriver& usbDriver();

// Tests only: puts another driver beneath the library while it lives.
class ScopedUsbDriver {
public:
    explicit ScopedUsbDriver(const UsbDriver& driver);
    explicit ScopedUsbDriver(const UsbDriver&& driver) = delete;
    ~ScopedUsbDriver();
    ScopedUsbDriver(const ScopedUsbDriver&) = delete;
    ScopedUsbDriver& operator=(const ScopedUsbDriver&) = delete;

private:
    const UsbDriver* previous_;
};

}  // namespace mk::platform
