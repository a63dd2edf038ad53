#pragma once
// The USB printer class on Linux through libusb: the library claims the
// printer's interface for each operation, so that every transfer reports its
// own outcome and nothing is read from the printer that the caller did not
// ask for. Where the kernel's usblp driver is bound it is detached meanwhile
// and attached again when the library's last handle on it lets go, unless a
// program has its node open: taking the interface then would cut that
// program off, so the open fails instead. Each operation has a libusb session
// of its own, ended before the operation returns: libusb's device-event
// thread then runs only while the library or the host has a session, and a
// host's own sessions see every device.
//
// The calls that reach the device go through LibusbCalls, so that a test can
// stand a fake device where the system has the real one. Each call keeps the
// libusb function's arguments and results.

#include <libusb.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "platform/usb_driver.h"

namespace mk::platform {

class LibusbCalls {
public:
    virtual ~LibusbCalls() = default;

    // open(2) of a device node for reading and writing: a descriptor or -1;
    // and its close.
    virtual int openNode(const std::string& path) const = 0;
    virtual void closeNode(int fd) const = 0;
    // libusb_init and libusb_exit of a libusb session of the library's own,
    // one per operation.
    virtual int init(libusb_context** context) const = 0;
    virtual void exit(libusb_context* context) const = 0;
    virtual int wrapSysDevice(libusb_context* context, int fd, libusb_device_handle** handle) const = 0;
    // libusb_get_active_config_descriptor of the handle's device.
    virtual int getActiveConfigDescriptor(libusb_device_handle* handle, libusb_config_descriptor** config) const = 0;
    virtual void freeConfigDescriptor(libusb_config_descriptor* config) const = 0;
    virtual int kernelDriverActive(libusb_device_handle* handle, int interface) const = 0;
    // Whether a program has open the node that the kernel's printer driver
    // (usblp) made for this interface of the device at devicePath, by any
    // name; true also when that cannot be found out.
    virtual bool kernelDriverNodeInUse(const std::string& devicePath, int interface) const = 0;
    virtual int detachKernelDriver(libusb_device_handle* handle, int interface) const = 0;
    virtual int attachKernelDriver(libusb_device_handle* handle, int interface) const = 0;
    virtual int claimInterface(libusb_device_handle* handle, int interface) const = 0;
    virtual int releaseInterface(libusb_device_handle* handle, int interface) const = 0;
    virtual int setInterfaceAltSetting(libusb_device_handle* handle, int interface, int alternate) const = 0;
    virtual int bulkTransfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data, int length,
                             int* transferred, unsigned timeoutMs) const = 0;
    virtual int controlTransfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request, uint16_t value,
                                uint16_t index, unsigned char* data, uint16_t length, unsigned timeoutMs) const = 0;
    virtual void close(libusb_device_handle* handle) const = 0;
};

// libusb's and the system's own calls.
const LibusbCalls& systemLibusbCalls();

// Which printer interfaces the library took from the kernel's driver, and how
// many of its handles are open on each: usblp is attached again when the
// last of them lets go, whichever detached it. Handles of one driver share
// it; the system's driver is one for the whole process.
class KernelDriverLoans {
public:
    using Key = std::pair<std::string, int>;  // device node, interface number
    struct Loan {
        int handles = 0;
        bool detached = false;
    };
    std::mutex mutex;
    std::map<Key, Loan> loans;  // under mutex; a loan goes with its last handle
};

// The USB printer class driven through the given calls.
class LibusbDriver final : public UsbDriver {
public:
    explicit LibusbDriver(const LibusbCalls& calls) : calls_(calls), loans_(std::make_shared<KernelDriverLoans>()) {}
    explicit LibusbDriver(const LibusbCalls&& calls) = delete;

    // The printer interfaces sysfs shows, each device by its node under
    // /dev/bus/usb.
    std::optional<std::vector<UsbPrinterNode>> listPrinters() const override;
    std::unique_ptr<UsbDevice> open(const std::string& devicePath, UsbAccess access) const override;

private:
    const LibusbCalls& calls_;
    std::shared_ptr<KernelDriverLoans> loans_;
};

// The time a status request may take: a printer must send a request's first
// answer packet within 500 ms, and one that has not after a second will not.
inline constexpr unsigned kUsbStatusTimeoutMs = 1000;

}  // namespace mk::platform
