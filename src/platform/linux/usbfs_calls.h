#pragma once
// The USB printer class on Linux, straight through the kernel's usbfs: the
// library claims the printer's interface for each operation, so that every
// transfer reports its own outcome and nothing is read from the printer that
// the caller did not ask for. Where the kernel's usblp driver is bound it is
// detached meanwhile and attached again when the library lets go, unless a
// program has its node open: taking the interface then would cut that
// program off, so the open fails instead.
//
// Printers are independent: each printer interface has a record and a lock
// of its own, and the driver's one shared lock is held only to find or make
// that record, so a printer that keeps the kernel busy (usblp waits up to 5 s
// for the id of a printer that answers no request when it is attached again)
// delays only the calls on that printer. Nothing here starts a thread, and
// nothing of another device is read that waits while the kernel holds that
// device: who holds the interface is told by sysfs and /proc before the
// device is touched.
//
// The calls that reach the system go through UsbfsCalls, so that a test can
// stand a fake device where the system has the real one. Each call keeps the
// kernel's arguments and results (0 or a negative errno).

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/usb_sysfs_scan.h"
#include "platform/usb_driver.h"

namespace mk::platform {

// A device as sysfs shows it, before anything opens it.
struct UsbDeviceLook {
    int configuration = 0;             // the active configuration's value; 0 when unconfigured
    std::vector<uint8_t> descriptors;  // the device's descriptor, then each configuration's, raw
};

// Who has a printer interface, as sysfs and /proc tell it.
enum class InterfaceHolder {
    None,           // no kernel driver: free to claim
    Usblp,          // usblp, and no program has its node open
    UsblpNodeOpen,  // usblp, and a program has its node open
    Other,          // a program claimed it (usbfs), or another driver has it
    Unknown,        // sysfs or /proc could not be read
};

class UsbfsCalls {
public:
    virtual ~UsbfsCalls() = default;

    // The printer interfaces sysfs shows, each device by its node under
    // /dev/bus/usb; serials from `memo` where it has them.
    virtual std::optional<std::vector<UsbPrinterNode>> listPrinters(UsbSerialMemo& memo) const = 0;
    // The device whose node is devicePath; nullopt when sysfs shows none.
    virtual std::optional<UsbDeviceLook> lookAt(const std::string& devicePath) const = 0;
    virtual InterfaceHolder holderOf(const std::string& devicePath, int interface) const = 0;

    // open(2) of a device node for reading and writing: a descriptor or -1;
    // and its close.
    virtual int openNode(const std::string& path) const = 0;
    virtual void closeNode(int fd) const = 0;
    // USBDEVFS_GETDRIVER: the name of the kernel driver bound to the
    // interface, empty for none; nullopt when it cannot be asked.
    virtual std::optional<std::string> driverOf(int fd, int interface) const = 0;
    // USBDEVFS_IOCTL with USBDEVFS_DISCONNECT (unbinds the kernel's driver)
    // and USBDEVFS_CONNECT (the kernel binds its drivers again, probing them).
    virtual int disconnect(int fd, int interface) const = 0;
    virtual int connect(int fd, int interface) const = 0;
    virtual int claimInterface(int fd, int interface) const = 0;
    virtual int releaseInterface(int fd, int interface) const = 0;
    virtual int setInterface(int fd, int interface, int alternate) const = 0;
    // One bulk transfer, ended after timeoutMs at most (-ETIMEDOUT); *moved
    // tells the bytes moved, whatever the result.
    virtual int bulkTransfer(int fd, uint8_t endpoint, void* data, size_t length, unsigned timeoutMs,
                             size_t* moved) const = 0;
    // USBDEVFS_CONTROL: the bytes moved, or a negative errno.
    virtual int controlTransfer(int fd, uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                                void* data, uint16_t length, unsigned timeoutMs) const = 0;
};

// The system's calls, reading sysfs and /proc under the given roots.
class SystemUsbfsCalls final : public UsbfsCalls {
public:
    SystemUsbfsCalls(std::filesystem::path sysfsRoot, std::filesystem::path procRoot, std::filesystem::path devRoot);

    std::optional<std::vector<UsbPrinterNode>> listPrinters(UsbSerialMemo& memo) const override;
    std::optional<UsbDeviceLook> lookAt(const std::string& devicePath) const override;
    InterfaceHolder holderOf(const std::string& devicePath, int interface) const override;
    int openNode(const std::string& path) const override;
    void closeNode(int fd) const override;
    std::optional<std::string> driverOf(int fd, int interface) const override;
    int disconnect(int fd, int interface) const override;
    int connect(int fd, int interface) const override;
    int claimInterface(int fd, int interface) const override;
    int releaseInterface(int fd, int interface) const override;
    int setInterface(int fd, int interface, int alternate) const override;
    int bulkTransfer(int fd, uint8_t endpoint, void* data, size_t length, unsigned timeoutMs,
                     size_t* moved) const override;
    int controlTransfer(int fd, uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, void* data,
                        uint16_t length, unsigned timeoutMs) const override;

private:
    std::filesystem::path sysfsRoot_;
    std::filesystem::path procRoot_;
    std::filesystem::path devRoot_;
};

const UsbfsCalls& systemUsbfsCalls();

// One printer interface in use by the driver: its lock, held across
// everything that reaches the interface while the library takes it and
// gives it back, and whether the library detached usblp from it.
struct UsbInterfaceRecord {
    std::mutex mutex;
    bool detached = false;  // under mutex
};

// The records of the interfaces in use, one per interface; a record goes
// with the last handle or open that uses it.
class UsbInterfaceRecords {
public:
    using Key = std::pair<std::string, int>;  // device node, interface number
    std::shared_ptr<UsbInterfaceRecord> recordOf(const Key& key);
    size_t inUse() const;

private:
    mutable std::mutex mutex_;
    std::map<Key, std::weak_ptr<UsbInterfaceRecord>> records_;  // under mutex_
};

// The USB printer class driven through the given calls.
class UsbfsDriver final : public UsbDriver {
public:
    explicit UsbfsDriver(const UsbfsCalls& calls)
        : calls_(calls), records_(std::make_shared<UsbInterfaceRecords>()),
          serials_(std::make_shared<UsbSerialMemo>()) {}
    explicit UsbfsDriver(const UsbfsCalls&& calls) = delete;

    std::optional<std::vector<UsbPrinterNode>> listPrinters() const override;
    std::unique_ptr<UsbDevice> open(const std::string& devicePath, UsbAccess access) const override;

    // Interfaces an open device or an open in progress holds a record of.
    size_t interfacesInUse() const { return records_->inUse(); }

private:
    const UsbfsCalls& calls_;
    std::shared_ptr<UsbInterfaceRecords> records_;
    std::shared_ptr<UsbSerialMemo> serials_;
};

// The time a status request may take: a printer must send a request's first
// answer packet within 500 ms, and one that has not after a second will not.
inline constexpr unsigned kUsbStatusTimeoutMs = 1000;

}  // namespace mk::platform
