// The USB printer class on Linux through libusb: the library claims the
// printer's interface for each operation, so that every transfer reports its
// own outcome and nothing is read from the printer that the caller did not
// ask for. Where the kernel's usblp driver is bound it is detached meanwhile
// and attached again after, unless a program has its node open: taking the
// interface then would cut that program off, so the open fails instead.
#include <fcntl.h>
#include <libusb.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

#include "platform/linux/node_holders.h"
#include "platform/linux/usb_sysfs_scan.h"
#include "platform/linux/unique_fd.h"
#include "platform/usb_driver.h"

namespace mk::platform {
namespace {

constexpr uint8_t kPrinterClass = 7;
// The printer-class request GET_PORT_STATUS: device to host, class,
// interface (0xA1), request 1, the interface number as index, one byte.
constexpr uint8_t kClassInterfaceIn = 0xA1;
constexpr uint8_t kGetPortStatus = 1;
// A printer must send a request's first answer packet within 500 ms; one
// that has not after a second will not. (Giving usblp the printer back costs
// up to 5 s more for such a printer: usblp asks it for its id on attaching.)
constexpr unsigned kStatusTimeoutMs = 1000;
// A read asks for at most this much; an answer is far shorter.
constexpr size_t kLargestRead = 64 * 1024;

// One libusb session for the whole process, made on first use and kept.
// Without device discovery libusb starts no thread of its own (it would keep
// one watching for devices for the rest of the process); printers are found
// through sysfs and opened by their node, which needs no discovery. The
// option is libusb's process-wide default, so libusb sessions a host makes
// later do not discover devices either.
libusb_context* session() {
    static libusb_context* const context = [] {
        libusb_set_option(nullptr, LIBUSB_OPTION_NO_DEVICE_DISCOVERY);
        libusb_context* made = nullptr;
        return libusb_init(&made) == LIBUSB_SUCCESS ? made : nullptr;
    }();
    return context;
}

unsigned timeoutMs(std::chrono::milliseconds timeout) {
    // libusb takes 0 as "no limit"; the shortest bounded wait is 1 ms.
    return static_cast<unsigned>(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 1, UINT_MAX));
}

UsbOutcome outcomeOf(int result) {
    switch (result) {
    case LIBUSB_SUCCESS: return UsbOutcome::Done;
    case LIBUSB_ERROR_TIMEOUT: return UsbOutcome::TimedOut;
    case LIBUSB_ERROR_PIPE: return UsbOutcome::Refused;
    case LIBUSB_ERROR_NO_DEVICE: return UsbOutcome::Gone;
    case LIBUSB_ERROR_INTERRUPTED:
    case LIBUSB_ERROR_NO_MEM: return UsbOutcome::WaitFailed;
    default: return UsbOutcome::Failed;
    }
}

// Where the printer class sits in the device's active configuration.
struct PrinterInterface {
    int number = -1;
    int alternate = 0;
    unsigned char out = 0;  // bulk endpoint to the printer
    unsigned char in = 0;   // bulk endpoint from it; 0 for a one-way printer
    size_t inPacket = 64;   // the largest packet it sends
};

std::optional<PrinterInterface> findPrinterInterface(libusb_device* device) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS) return std::nullopt;
    const std::unique_ptr<libusb_config_descriptor, decltype(&libusb_free_config_descriptor)> owned(
        config, libusb_free_config_descriptor);
    std::optional<PrinterInterface> best;
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface& interface = config->interface[i];
        for (int a = 0; a < interface.num_altsetting; ++a) {
            const libusb_interface_descriptor& setting = interface.altsetting[a];
            if (setting.bInterfaceClass != kPrinterClass) continue;
            PrinterInterface found{setting.bInterfaceNumber, setting.bAlternateSetting};
            for (int e = 0; e < setting.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
                if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) continue;
                if (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN) {
                    if (found.in == 0) {
                        found.in = endpoint.bEndpointAddress;
                        found.inPacket = std::max<size_t>(endpoint.wMaxPacketSize & 0x7ff, 1);
                    }
                } else if (found.out == 0) {
                    found.out = endpoint.bEndpointAddress;
                }
            }
            if (found.out == 0) continue;
            // The first printer interface; within it a two-way setting, if
            // any, so that the printer can answer.
            if (!best) best = found;
            if (best->number == found.number && best->in == 0 && found.in != 0) best = found;
        }
        if (best) break;
    }
    return best;
}

class LibusbPrinter final : public UsbDevice {
public:
    LibusbPrinter(UniqueFd node, libusb_device_handle* handle, PrinterInterface interface, bool reattach)
        : node_(std::move(node)), handle_(handle), interface_(interface), reattach_(reattach) {}

    ~LibusbPrinter() override {
        libusb_release_interface(handle_, interface_.number);
        if (reattach_) libusb_attach_kernel_driver(handle_, interface_.number);
        libusb_close(handle_);
    }

    LibusbPrinter(const LibusbPrinter&) = delete;
    LibusbPrinter& operator=(const LibusbPrinter&) = delete;

    UsbTransfer write(const void* data, size_t size, std::chrono::milliseconds timeout) override {
        int moved = 0;
        const int length = static_cast<int>(std::min<size_t>(size, INT_MAX));
        const int result = libusb_bulk_transfer(handle_, interface_.out,
                                                static_cast<unsigned char*>(const_cast<void*>(data)), length, &moved,
                                                timeoutMs(timeout));
        return {outcomeOf(result), static_cast<size_t>(std::max(moved, 0))};
    }

    UsbTransfer read(void* buffer, size_t size, std::chrono::milliseconds timeout) override {
        if (interface_.in == 0) return {UsbOutcome::Failed, 0};
        // Asking for whole packets: a packet larger than the space asked for
        // would fail the transfer and lose the answer.
        const size_t wanted = std::min(size, kLargestRead);
        const size_t packets = (wanted + interface_.inPacket - 1) / interface_.inPacket;
        std::vector<unsigned char> whole(packets * interface_.inPacket);
        int moved = 0;
        const int result = libusb_bulk_transfer(handle_, interface_.in, whole.data(), static_cast<int>(whole.size()),
                                                &moved, timeoutMs(timeout));
        const size_t kept = std::min(static_cast<size_t>(std::max(moved, 0)), wanted);
        std::copy_n(whole.data(), kept, static_cast<unsigned char*>(buffer));
        return {outcomeOf(result), kept};
    }

    std::optional<uint8_t> portStatus() override {
        unsigned char status = 0;
        const int result = libusb_control_transfer(
            handle_, kClassInterfaceIn, kGetPortStatus, 0, static_cast<uint16_t>(interface_.number), &status, 1,
            kStatusTimeoutMs);
        if (result != 1) return std::nullopt;
        return status;
    }

private:
    UniqueFd node_;  // libusb does not close a node it was handed; declared first, closed last
    libusb_device_handle* handle_;
    PrinterInterface interface_;
    bool reattach_;  // the kernel's driver was bound before we took the interface
};

class LibusbDriver final : public UsbDriver {
public:
    std::optional<std::vector<UsbPrinterNode>> listPrinters() const override { return scanUsbSysfs("/sys", "/dev"); }

    std::unique_ptr<UsbDevice> open(const std::string& devicePath, UsbAccess) const override {
        // Every operation needs the control pipe and the interface claimed,
        // so reading and writing alike open the node for both directions.
        UniqueFd node(::open(devicePath.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY));
        if (!node.valid() || session() == nullptr) return nullptr;
        libusb_device_handle* handle = nullptr;
        if (libusb_wrap_sys_device(session(), static_cast<intptr_t>(node.fd()), &handle) != LIBUSB_SUCCESS) {
            return nullptr;
        }
        const std::optional<PrinterInterface> interface = findPrinterInterface(libusb_get_device(handle));
        if (interface) {
            // Whether the kernel's driver holds it is asked before taking it,
            // so that it is attached again only where it was.
            const bool bound = libusb_kernel_driver_active(handle, interface->number) == 1;
            if (!(bound && inUseThroughKernelDriver(devicePath, interface->number)) &&
                claim(handle, *interface, bound)) {
                return std::make_unique<LibusbPrinter>(std::move(node), handle, *interface, bound);
            }
        }
        libusb_close(handle);
        return nullptr;
    }

private:
    // A program that has usblp's node open, writing or idle: claiming the
    // interface would unbind usblp under it and fail its writes. Asking
    // usblp itself (a trial open) is no way to find out: its open starts a
    // read that takes and drops any answer the printer has waiting.
    static bool inUseThroughKernelDriver(const std::string& devicePath, int interfaceNumber) {
        const std::string node = usblpNodeOf("/sys", "/dev", devicePath, interfaceNumber);
        return !node.empty() && nodeOpenInAnyProcess("/proc", node);
    }

    // Fails when another program holds the interface; the kernel's driver is
    // then left bound as it was.
    static bool claim(libusb_device_handle* handle, const PrinterInterface& interface, bool bound) {
        if (bound && libusb_detach_kernel_driver(handle, interface.number) != LIBUSB_SUCCESS) return false;
        if (libusb_claim_interface(handle, interface.number) == LIBUSB_SUCCESS) {
            if (interface.alternate == 0 ||
                libusb_set_interface_alt_setting(handle, interface.number, interface.alternate) == LIBUSB_SUCCESS) {
                return true;
            }
            libusb_release_interface(handle, interface.number);
        }
        if (bound) libusb_attach_kernel_driver(handle, interface.number);
        return false;
    }
};

}  // namespace

const UsbDriver& systemUsbDriver() {
    static const LibusbDriver driver;
    return driver;
}

}  // namespace mk::platform
