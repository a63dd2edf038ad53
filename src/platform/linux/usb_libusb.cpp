// The Linux USB driver's decisions: which interface and setting to use, how
// a transfer's outcome reads, how the kernel's driver is handed back.
#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

#include "platform/linux/libusb_calls.h"
#include "platform/linux/usb_sysfs_scan.h"

namespace mk::platform {
namespace {

constexpr uint8_t kPrinterClass = 7;
// The printer-class request GET_PORT_STATUS: device to host, class,
// interface (0xA1), request 1, the interface number as index, one byte.
constexpr uint8_t kClassInterfaceIn = 0xA1;
constexpr uint8_t kGetPortStatus = 1;
// A read asks for at most this much; an answer is far shorter.
constexpr size_t kLargestRead = 64 * 1024;

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

std::optional<PrinterInterface> findPrinterInterface(const libusb_config_descriptor& config) {
    std::optional<PrinterInterface> best;
    for (int i = 0; i < config.bNumInterfaces; ++i) {
        const libusb_interface& interface = config.interface[i];
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

// An open device node wrapped by libusb in a session of its own; closes all
// three when it goes. libusb stops its device-event thread when its last
// session ends, so none is left running after an operation.
class Wrapped {
public:
    Wrapped(const LibusbCalls& calls, int fd) : calls_(calls), fd_(fd) {
        if (calls_.init(&context_) != LIBUSB_SUCCESS) {
            context_ = nullptr;
        } else if (calls_.wrapSysDevice(context_, fd_, &handle_) != LIBUSB_SUCCESS) {
            handle_ = nullptr;
        }
    }
    ~Wrapped() {
        if (handle_ != nullptr) calls_.close(handle_);
        if (context_ != nullptr) calls_.exit(context_);
        calls_.closeNode(fd_);  // libusb does not close a node it was handed
    }
    Wrapped(const Wrapped&) = delete;
    Wrapped& operator=(const Wrapped&) = delete;

    libusb_device_handle* handle() const { return handle_; }

private:
    const LibusbCalls& calls_;
    int fd_;
    libusb_context* context_ = nullptr;
    libusb_device_handle* handle_ = nullptr;
};

// Takes the interface for one handle, detaching usblp where it is bound.
// Fails when another program holds the interface or usblp's node, leaving
// usblp as it was. Called under the loans' lock.
bool take(const LibusbCalls& calls, libusb_device_handle* handle, const std::string& devicePath,
          const PrinterInterface& interface, KernelDriverLoans::Loan& loan) {
    // A program that has usblp's node open, writing or idle, would be cut
    // off by taking the interface, so the printer is left alone. (Asking
    // usblp itself, by trying to open its node, is no way to find out: its
    // open starts a read that takes and drops any answer the printer has
    // waiting.)
    if (calls.kernelDriverActive(handle, interface.number) == 1) {
        if (calls.kernelDriverNodeInUse(devicePath, interface.number)) return false;
        if (calls.detachKernelDriver(handle, interface.number) != LIBUSB_SUCCESS) return false;
        loan.detached = true;
    }
    if (calls.claimInterface(handle, interface.number) != LIBUSB_SUCCESS) return false;
    if (interface.alternate == 0 ||
        calls.setInterfaceAltSetting(handle, interface.number, interface.alternate) == LIBUSB_SUCCESS) {
        return true;
    }
    calls.releaseInterface(handle, interface.number);
    return false;
}

// One handle gives up its share of the loan; the last one hands usblp back
// where the library detached it, whichever handle that was. Called under the
// loans' lock, the interface released.
void giveBack(const LibusbCalls& calls, libusb_device_handle* handle, KernelDriverLoans& loans,
              const KernelDriverLoans::Key& key) {
    const auto loan = loans.loans.find(key);
    if (--loan->second.handles > 0) return;
    if (loan->second.detached) calls.attachKernelDriver(handle, key.second);
    loans.loans.erase(loan);
}

class LibusbPrinter final : public UsbDevice {
public:
    LibusbPrinter(const LibusbCalls& calls, std::unique_ptr<Wrapped> device, PrinterInterface interface,
                  std::shared_ptr<KernelDriverLoans> loans, KernelDriverLoans::Key key)
        : calls_(calls), device_(std::move(device)), interface_(interface), loans_(std::move(loans)),
          key_(std::move(key)) {}

    ~LibusbPrinter() override {
        const std::lock_guard lock(loans_->mutex);
        calls_.releaseInterface(handle(), interface_.number);
        giveBack(calls_, handle(), *loans_, key_);
    }

    LibusbPrinter(const LibusbPrinter&) = delete;
    LibusbPrinter& operator=(const LibusbPrinter&) = delete;

    UsbTransfer write(const void* data, size_t size, std::chrono::milliseconds timeout) override {
        int moved = 0;
        const int length = static_cast<int>(std::min<size_t>(size, INT_MAX));
        const int result = calls_.bulkTransfer(handle(), interface_.out,
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
        const int result = calls_.bulkTransfer(handle(), interface_.in, whole.data(), static_cast<int>(whole.size()),
                                               &moved, timeoutMs(timeout));
        const size_t kept = std::min(static_cast<size_t>(std::max(moved, 0)), wanted);
        std::copy_n(whole.data(), kept, static_cast<unsigned char*>(buffer));
        return {outcomeOf(result), kept};
    }

    std::optional<uint8_t> portStatus() override {
        unsigned char status = 0;
        const int result = calls_.controlTransfer(handle(), kClassInterfaceIn, kGetPortStatus, 0,
                                                  static_cast<uint16_t>(interface_.number), &status, 1,
                                                  kUsbStatusTimeoutMs);
        if (result != 1) return std::nullopt;
        return status;
    }

private:
    libusb_device_handle* handle() const { return device_->handle(); }

    const LibusbCalls& calls_;
    std::unique_ptr<Wrapped> device_;
    PrinterInterface interface_;
    std::shared_ptr<KernelDriverLoans> loans_;
    KernelDriverLoans::Key key_;
};

std::optional<PrinterInterface> printerInterfaceOf(const LibusbCalls& calls, libusb_device_handle* handle) {
    libusb_config_descriptor* config = nullptr;
    if (calls.getActiveConfigDescriptor(handle, &config) != LIBUSB_SUCCESS || config == nullptr) return std::nullopt;
    const std::optional<PrinterInterface> found = findPrinterInterface(*config);
    calls.freeConfigDescriptor(config);
    return found;
}

}  // namespace

std::optional<std::vector<UsbPrinterNode>> LibusbDriver::listPrinters() const { return scanUsbSysfs("/sys", "/dev"); }

std::unique_ptr<UsbDevice> LibusbDriver::open(const std::string& devicePath, UsbAccess) const {
    // Every operation needs the control pipe and the interface claimed, so
    // reading and writing alike open the node for both directions.
    const int fd = calls_.openNode(devicePath);
    if (fd < 0) return nullptr;
    auto device = std::make_unique<Wrapped>(calls_, fd);
    if (device->handle() == nullptr) return nullptr;
    const std::optional<PrinterInterface> interface = printerInterfaceOf(calls_, device->handle());
    if (!interface) return nullptr;
    const std::lock_guard lock(loans_->mutex);
    const KernelDriverLoans::Key key{devicePath, interface->number};
    KernelDriverLoans::Loan& loan = loans_->loans[key];
    ++loan.handles;
    if (!take(calls_, device->handle(), devicePath, *interface, loan)) {
        giveBack(calls_, device->handle(), *loans_, key);
        return nullptr;
    }
    return std::make_unique<LibusbPrinter>(calls_, std::move(device), *interface, loans_, key);
}

}  // namespace mk::platform
