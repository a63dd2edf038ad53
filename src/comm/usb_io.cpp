// Reading, writing and asking the status of a USB printer.
#include "comm/usb_io.h"

#include <algorithm>

#include "comm/comm_errors.h"
#include "comm/comm_timing.h"
#include "comm/status_retry.h"
#include "platform/device_io.h"
#include "platform/usb_driver.h"

namespace mk {
namespace {

using platform::FdWait;
using platform::UsbAccess;

constexpr uint32_t kWriteChunk = 512;
constexpr int kStatusAttempts = 10;

UsbHandle openUsb(const std::string& devicePath, UsbAccess access, CommError failure) {
    UsbHandle handle(platform::usbDriver().openDevice(devicePath, access));
    if (!handle.valid()) setCommError(failure, devicePath);
    return handle;
}

}  // namespace

UsbHandle openUsbForRead(const std::string& devicePath) {
    return openUsb(devicePath, UsbAccess::ReadOnly, CommError::UsbOpenForRead);
}

UsbHandle openUsbForStatus(const std::string& devicePath) {
    return openUsb(devicePath, UsbAccess::ReadWrite, CommError::UsbOpenForStatus);
}

UsbHandle openUsbForWrite(const std::string& devicePath) {
    return openUsb(devicePath, UsbAccess::ReadWrite, CommError::UsbOpenForWrite);
}

bool readUsb(const UsbHandle& handle, void* buffer, uint32_t length, uint32_t* count, uint32_t timeoutMs) {
    if (count != nullptr) *count = 0;
    if (!handle.valid() || buffer == nullptr || length == 0) {
        setCommError(CommError::UsbReadArgs);
        return false;
    }
    switch (platform::waitReadable(handle.fd(), std::chrono::milliseconds(timeoutMs))) {
    case FdWait::TimedOut:
        setCommError(CommError::UsbReadTimeout);
        return false;
    case FdWait::Failed:
        setCommError(CommError::UsbReadWaitFailed);
        return false;
    case FdWait::Ready:
    case FdWait::Hangup:  // the read tells whether anything is left
        break;
    }
    const long n = platform::readDevice(handle.fd(), buffer, length);
    if (n <= 0) return false;
    if (count != nullptr) *count = static_cast<uint32_t>(n);
    return true;
}

bool writeUsb(const UsbHandle& handle, const void* data, uint32_t length) {
    if (!handle.valid() || data == nullptr || length == 0) {
        setCommError(CommError::UsbWriteArgs);
        return false;
    }
    const platform::UsbDriver& driver = platform::usbDriver();
    const std::chrono::milliseconds stallLimit = commTiming().usbWriteStallLimit;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (uint32_t offset = 0; offset < length;) {
        const uint32_t chunk = std::min(kWriteChunk, length - offset);
        const long taken = platform::writeDeviceChunk(driver, handle.fd(), bytes + offset, chunk, stallLimit);
        if (taken < 0) {
            setCommError(CommError::UsbWriteFailed);
            return false;
        }
        if (static_cast<uint32_t>(taken) != chunk) {
            setCommError(CommError::UsbPartialWrite);
            return false;
        }
        offset += chunk;
    }
    // The last chunk may still be on its way; closing the device now would
    // drop it, so the write is done only when the device is ready again.
    if (platform::waitWritable(handle.fd(), stallLimit) != FdWait::Ready) {
        setCommError(CommError::UsbWriteFailed);
        return false;
    }
    return true;
}

int getUsbStatusCodeOnce(const UsbHandle& handle) {
    if (!handle.valid()) {
        setCommError(CommError::UsbStatusHandle);
        return -1;
    }
    const std::optional<uint8_t> status = platform::usbDriver().portStatus(handle.fd());
    return status ? *status : kUsbStatusRequestFailed;
}

int getUsbStatusCode(const UsbHandle& handle) {
    return askWhilePassing(kStatusAttempts, commTiming().usbStatusPause, [&] { return getUsbStatusCodeOnce(handle); });
}

void closeUsbHandle(UsbHandle& handle) { handle.reset(); }

}  // namespace mk
