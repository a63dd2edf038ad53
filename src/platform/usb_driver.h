#pragma once
// The USB printer class as the library needs it: list the printers, open
// one, read, write, ask its port status, close. Each platform implements
// these few operations once (the system's driver); a test can stand a fake
// bus in its place.
//
// Rules every implementation keeps:
// - Nothing is read from a printer except when read() is called: whatever a
//   printer sends waits in the device until the host asks for it, whatever
//   opens and closes happen in between.
// - A transfer reports how it ended and how many bytes it moved, also when
//   it did not end well (a time-out can come after some bytes were moved).
// - An open device is the caller's alone until it is destroyed; destroying it
//   closes it and gives the printer back to the system.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mk::platform {

// One printer-class USB interface that is attached now.
struct UsbPrinterNode {
    // What open() takes and what a person recognises, for example the
    // device node /dev/bus/usb/001/004.
    std::string devicePath;
    // "usb#vid_xxxx&pid_xxxx#<serial>#<interface>": the vendor and product
    // ids and the serial number, laid out the way the device filter and the
    // serial parser read a printer's identifier.
    std::string identifier;
};

enum class UsbAccess { ReadOnly, ReadWrite };

enum class UsbOutcome {
    Done,        // the transfer completed
    TimedOut,    // the time-out passed first
    Refused,     // the printer stalled its endpoint: it will not take or give this
    Gone,        // the printer is no longer attached
    Failed,      // any other failure of the transfer
    WaitFailed,  // the wait for the transfer failed, not the transfer
    NoWait,      // what to wait on could not be made: the transfer was not started
};

struct UsbTransfer {
    UsbOutcome outcome;
    size_t moved;  // bytes moved before it ended, whatever the outcome
};

// An open printer interface; destroying it closes it.
class UsbDevice {
public:
    virtual ~UsbDevice() = default;

    // One bulk transfer to the printer of all `size` bytes, waiting at most
    // `timeout` for it to end.
    virtual UsbTransfer write(const void* data, size_t size, std::chrono::milliseconds timeout) = 0;
    // One bulk transfer from the printer of at most `size` bytes: it ends
    // when the printer has sent one answer (a short packet), when `size`
    // bytes arrived or when `timeout` passed. Bytes of the answer beyond
    // `size` are lost.
    virtual UsbTransfer read(void* buffer, size_t size, std::chrono::milliseconds timeout) = 0;
    // The printer-class port-status byte, or nullopt when the request fails.
    virtual std::optional<uint8_t> portStatus() = 0;
};

class UsbDriver {
public:
    virtual ~UsbDriver() = default;

    // Every attached printer-class interface, in the system's order (bus,
    // then device address); nullopt when the bus cannot be listed at all.
    virtual std::optional<std::vector<UsbPrinterNode>> listPrinters() const = 0;
    // The printer's interface, claimed for the caller alone; nullptr when it
    // cannot be opened (absent, no access, or held by another program).
    virtual std::unique_ptr<UsbDevice> open(const std::string& devicePath, UsbAccess access) const = 0;
};

// The system's driver.
const UsbDriver& systemUsbDriver();

// The driver the library uses: the system's unless a test has put another
// one in its place.
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
