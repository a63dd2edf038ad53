#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/usb_driver.h"

namespace mk {

// An open USB printer. Every USB operation opens the printer, does its work
// and closes it again; the holder closes it on every path out. While it is
// open the printer is the holder's alone.
class UsbHandle {
public:
    UsbHandle() = default;
    explicit UsbHandle(std::unique_ptr<platform::UsbDevice> device) : device_(std::move(device)) {}

    bool valid() const { return device_ != nullptr; }
    platform::UsbDevice& device() const { return *device_; }
    void reset() { device_.reset(); }

private:
    std::unique_ptr<platform::UsbDevice> device_;
};

// Each returns an invalid handle and records its failure (-511, -520, -503,
// with the path) when the printer cannot be opened.
UsbHandle openUsbForRead(const std::string& devicePath);
UsbHandle openUsbForStatus(const std::string& devicePath);
UsbHandle openUsbForWrite(const std::string& devicePath);

// Waits up to timeoutMs for the printer to send, then reads at most length
// bytes. True when the read completed or bytes arrived; count (when given)
// is 0 unless they did. Nothing the printer sends is read at any other time,
// so an answer waits in the printer for this call.
bool readUsb(const UsbHandle& handle, void* buffer, uint32_t length, uint32_t* count, uint32_t timeoutMs);

// Writes in chunks of at most 512 bytes, one transfer each, and is true only
// when the printer took every byte. A printer that takes nothing for the
// stall limit, refuses the data or goes away fails the write.
bool writeUsb(const UsbHandle& handle, const void* data, uint32_t length);

// The printer's status byte (0 to 255), asked again while the printer reports
// 1 or 4 (ten attempts at most); -1 for an invalid handle, -103 when the
// request fails (without a last error).
int getUsbStatusCode(const UsbHandle& handle);
int getUsbStatusCodeOnce(const UsbHandle& handle);

void closeUsbHandle(UsbHandle& handle);

// The result of a status request the device refuses.
inline constexpr int kUsbStatusRequestFailed = -103;

}  // namespace mk
