// The Linux USB driver's decisions: which interface and setting to use, how
// a transfer's outcome reads, how the kernel's driver is handed back.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <vector>

#include "platform/linux/usbfs_calls.h"

namespace mk::platform {
namespace {

constexpr uint8_t kPrinterClass = 7;
// The printer-class request GET_PORT_STATUS: device to host, class,
// interface (0xA1), request 1, the interface number as index, one byte.
constexpr uint8_t kClassInterfaceIn = 0xA1;
constexpr uint8_t kGetPortStatus = 1;
// A read asks for at most this much; an answer is far shorter.
constexpr size_t kLargestRead = 64 * 1024;

// Descriptor types and the fields read from them (USB 2.0, chapter 9).
constexpr uint8_t kConfigurationType = 2;
constexpr uint8_t kInterfaceType = 4;
constexpr uint8_t kEndpointType = 5;
constexpr uint8_t kBulk = 2;
constexpr uint8_t kEndpointIn = 0x80;

unsigned timeoutMs(std::chrono::milliseconds timeout) {
    // The kernel takes 0 as "no limit"; the shortest bounded wait is 1 ms.
    return static_cast<unsigned>(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 1, UINT_MAX));
}

UsbOutcome outcomeOf(int result) {
    switch (-result) {
    case 0: return UsbOutcome::Done;
    case ETIMEDOUT: return UsbOutcome::TimedOut;
    case EPIPE: return UsbOutcome::Refused;
    case ENODEV:
    case ESHUTDOWN: return UsbOutcome::Gone;
    case EINTR:
    case ENOMEM: return UsbOutcome::WaitFailed;
    default: return UsbOutcome::Failed;
    }
}

// Where the printer class sits in the device's active configuration.
struct PrinterInterface {
    int number = -1;
    int alternate = 0;
    uint8_t out = 0;       // bulk endpoint to the printer
    uint8_t in = 0;        // bulk endpoint from it; 0 for a one-way printer
    size_t inPacket = 64;  // the largest packet it sends
};

// The active configuration's first printer interface by number and, within
// it, the first setting with a bulk endpoint out, a two-way one if any, so
// that the printer can answer. Descriptors that run past their end are not
// read.
std::optional<PrinterInterface> findPrinterInterface(const UsbDeviceLook& look) {
    const std::vector<uint8_t>& d = look.descriptors;
    std::optional<PrinterInterface> best;
    bool inActive = false;
    std::optional<PrinterInterface> setting;  // the one being read
    const auto settle = [&] {
        if (!setting || setting->out == 0) return;
        const bool earlier = !best || setting->number < best->number;
        const bool twoWayOfSame = best && best->number == setting->number && best->in == 0 && setting->in != 0;
        if (earlier || twoWayOfSame) best = setting;
    };
    for (size_t at = 0; at + 2 <= d.size();) {
        const size_t length = d[at];
        if (length < 2 || at + length > d.size()) break;
        const uint8_t type = d[at + 1];
        if (type == kConfigurationType && length >= 6) {
            settle();
            setting.reset();
            inActive = d[at + 5] == look.configuration;
        } else if (type == kInterfaceType && length >= 9 && inActive) {
            settle();
            setting.reset();
            if (d[at + 5] == kPrinterClass) setting = PrinterInterface{d[at + 2], d[at + 3]};
        } else if (type == kEndpointType && length >= 7 && setting && (d[at + 3] & 3) == kBulk) {
            const uint8_t address = d[at + 2];
            if ((address & kEndpointIn) != 0) {
                if (setting->in == 0) {
                    setting->in = address;
                    setting->inPacket = std::max<size_t>((d[at + 4] | (d[at + 5] << 8)) & 0x7ff, 1);
                }
            } else if (setting->out == 0) {
                setting->out = address;
            }
        }
        at += length;
    }
    settle();
    return best;
}

// One open of the device node; closed when it goes.
class Node {
public:
    Node(const UsbfsCalls& calls, int fd) : calls_(calls), fd_(fd) {}
    ~Node() {
        if (fd_ >= 0) calls_.closeNode(fd_);
    }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    int fd() const { return fd_; }

private:
    const UsbfsCalls& calls_;
    int fd_;
};

// Takes the interface for one handle, detaching usblp where it is bound.
// Fails when another program holds the interface or usblp's node, leaving
// usblp as it was. Called under the interface's lock, with what sysfs and
// /proc told of its holder.
bool take(const UsbfsCalls& calls, const Node& node, const PrinterInterface& interface, InterfaceHolder holder,
          UsbInterfaceRecord& record) {
    const std::optional<std::string> driver = calls.driverOf(node.fd(), interface.number);
    if (!driver) return false;
    if (*driver == "usblp") {
        // usblp was bound after the look, which therefore did not ask who
        // has its node open: not known to be safe.
        if (holder != InterfaceHolder::Usblp) return false;
        if (calls.disconnect(node.fd(), interface.number) != 0) return false;
        record.detached = true;
    } else if (!driver->empty()) {
        return false;
    }
    if (calls.claimInterface(node.fd(), interface.number) == 0) {
        if (interface.alternate == 0 || calls.setInterface(node.fd(), interface.number, interface.alternate) == 0) {
            return true;
        }
        calls.releaseInterface(node.fd(), interface.number);
    }
    return false;
}

// Hands usblp back where the library detached it. Called under the
// interface's lock, the interface released.
void giveBack(const UsbfsCalls& calls, const Node& node, int interface, UsbInterfaceRecord& record) {
    if (!record.detached) return;
    record.detached = false;
    calls.connect(node.fd(), interface);
}

class UsbfsPrinter final : public UsbDevice {
public:
    UsbfsPrinter(const UsbfsCalls& calls, std::unique_ptr<Node> node, PrinterInterface interface,
                 std::shared_ptr<UsbInterfaceRecord> record)
        : calls_(calls), node_(std::move(node)), interface_(interface), record_(std::move(record)) {}

    ~UsbfsPrinter() override {
        const std::lock_guard lock(record_->mutex);
        calls_.releaseInterface(fd(), interface_.number);
        giveBack(calls_, *node_, interface_.number, *record_);
        node_.reset();
    }

    UsbfsPrinter(const UsbfsPrinter&) = delete;
    UsbfsPrinter& operator=(const UsbfsPrinter&) = delete;

    UsbTransfer write(const void* data, size_t size, std::chrono::milliseconds timeout) override {
        size_t moved = 0;
        const int result = calls_.bulkTransfer(fd(), interface_.out, const_cast<void*>(data),
                                               std::min<size_t>(size, INT_MAX), timeoutMs(timeout), &moved);
        return {outcomeOf(result), moved};
    }

    UsbTransfer read(void* buffer, size_t size, std::chrono::milliseconds timeout) override {
        if (interface_.in == 0) return {UsbOutcome::Failed, 0};
        // Asking for whole packets: a packet larger than the space asked for
        // would fail the transfer and lose the answer.
        const size_t wanted = std::min(size, kLargestRead);
        const size_t packets = (wanted + interface_.inPacket - 1) / interface_.inPacket;
        std::vector<unsigned char> whole(packets * interface_.inPacket);
        size_t moved = 0;
        const int result =
            calls_.bulkTransfer(fd(), interface_.in, whole.data(), whole.size(), timeoutMs(timeout), &moved);
        const size_t kept = std::min(moved, wanted);
        std::copy_n(whole.data(), kept, static_cast<unsigned char*>(buffer));
        return {outcomeOf(result), kept};
    }

    std::optional<uint8_t> portStatus() override {
        unsigned char status = 0;
        const int result = calls_.controlTransfer(fd(), kClassInterfaceIn, kGetPortStatus, 0,
                                                  static_cast<uint16_t>(interface_.number), &status, 1,
                                                  kUsbStatusTimeoutMs);
        if (result != 1) return std::nullopt;
        return status;
    }

private:
    int fd() const { return node_->fd(); }

    const UsbfsCalls& calls_;
    std::unique_ptr<Node> node_;
    PrinterInterface interface_;
    std::shared_ptr<UsbInterfaceRecord> record_;
};

}  // namespace

std::shared_ptr<UsbInterfaceRecord> UsbInterfaceRecords::recordOf(const Key& key) {
    const std::lock_guard lock(mutex_);
    std::erase_if(records_, [](const auto& entry) { return entry.second.expired(); });
    std::weak_ptr<UsbInterfaceRecord>& slot = records_[key];
    std::shared_ptr<UsbInterfaceRecord> record = slot.lock();
    if (!record) {
        record = std::make_shared<UsbInterfaceRecord>();
        slot = record;
    }
    return record;
}

size_t UsbInterfaceRecords::inUse() const {
    const std::lock_guard lock(mutex_);
    return static_cast<size_t>(
        std::count_if(records_.begin(), records_.end(), [](const auto& entry) { return !entry.second.expired(); }));
}

std::optional<std::vector<UsbPrinterNode>> UsbfsDriver::listPrinters() const { return calls_.listPrinters(*serials_); }

std::unique_ptr<UsbDevice> UsbfsDriver::open(const std::string& devicePath, UsbAccess) const {
    const std::optional<UsbDeviceLook> look = calls_.lookAt(devicePath);
    if (!look) return nullptr;
    const std::optional<PrinterInterface> interface = findPrinterInterface(*look);
    if (!interface) return nullptr;
    std::shared_ptr<UsbInterfaceRecord> record = records_->recordOf({devicePath, interface->number});
    const std::lock_guard lock(record->mutex);
    // Refused before the device is touched.
    const InterfaceHolder holder = calls_.holderOf(devicePath, interface->number);
    if (holder != InterfaceHolder::None && holder != InterfaceHolder::Usblp) return nullptr;
    // Every operation needs the control pipe and the interface claimed, so
    // reading and writing alike open the node for both directions.
    auto node = std::make_unique<Node>(calls_, calls_.openNode(devicePath));
    if (node->fd() < 0) return nullptr;
    if (!take(calls_, *node, *interface, holder, *record)) {
        giveBack(calls_, *node, interface->number, *record);
        return nullptr;
    }
    return std::make_unique<UsbfsPrinter>(calls_, std::move(node), *interface, std::move(record));
}

}  // namespace mk::platform
