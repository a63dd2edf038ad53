// Reading, writing and asking the status of a USB printer.
#include "comm/usb_io.h"

#include <algorithm>

#include "comm/comm_errors.h"
#include "comm/comm_timing.h"
#include "comm/status_retry.h"

namespace mk {
namespace {

using platform::UsbAccess;
using platform::UsbOutcome;
using platform::UsbTransfer;

constexpr uint32_t kWriteChunk = 512;
constexpr int kStatusAttempts = 10;

UsbHandle openUsb(const std::string& devicePath, UsbAccess access, CommError failure) {
    UsbHandle handle(platform::usbDriver().open(devicePath, access));
    if (!handle.valid()) setCommError(failure, devicePath);
    return handle;
}

// One chunk, handed over whole. The stall limit bounds a wait without
// progress: a transfer that timed out after moving bytes goes on with the
// rest. Only a chunk the printer took completely is success.
bool writeChunk(platform::UsbDevice& device, const unsigned char* data, uint32_t size,
                std::chrono::milliseconds stallLimit) {
    for (uint32_t sent = 0; sent < size;) {
        const UsbTransfer transfer = device.write(data + sent, size - sent, stallLimit);
        const uint32_t moved = static_cast<uint32_t>(std::min<size_t>(transfer.moved, size - sent));
        sent += moved;
        if (transfer.outcome == UsbOutcome::TimedOut && moved > 0) continue;
        if (transfer.outcome != UsbOutcome::Done) {
            setCommError(CommError::UsbWriteFailed);
            return false;
        }
        if (sent != size) {
            setCommError(CommError::UsbPartialWrite);
            return false;
        }
    }
    return true;
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
    const UsbTransfer transfer = handle.device().read(buffer, length, std::chrono::milliseconds(timeoutMs));
    const uint32_t moved = static_cast<uint32_t>(std::min<size_t>(transfer.moved, length));
    // Bytes that arrived before a time-out are the printer's answer too.
    if (transfer.outcome == UsbOutcome::Done || moved > 0) {
        if (count != nullptr) *count = moved;
        return true;
    }
    switch (transfer.outcome) {
    case UsbOutcome::TimedOut:
        setCommError(CommError::UsbReadTimeout);
        break;
    case UsbOutcome::WaitFailed:
        setCommError(CommError::UsbReadWaitFailed);
        break;
    case UsbOutcome::NoWait:
        setCommError(CommError::UsbReadEventFailed);
        break;
    default:  // a printer that refused or went away read nothing, without a message
        break;
    }
    return false;
}

bool writeUsb(const UsbHandle& handle, const void* data, uint32_t length) {
    if (!handle.valid() || data == nullptr || length == 0) {
        setCommError(CommError::UsbWriteArgs);
        return false;
    }
    const std::chrono::milliseconds stallLimit = commTiming().usbWriteStallLimit;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (uint32_t offset = 0; offset < length;) {
        const uint32_t chunk = std::min(kWriteChunk, length - offset);
        if (!writeChunk(handle.device(), bytes + offset, chunk, stallLimit)) return false;
        offset += chunk;
    }
    return true;
}

int getUsbStatusCodeOnce(const UsbHandle& handle) {
    if (!handle.valid()) {
        setCommError(CommError::UsbStatusHandle);
        return -1;
    }
    const std::optional<uint8_t> status = handle.device().portStatus();
    return status ? *status : kUsbStatusRequestFailed;
}

int getUsbStatusCode(const UsbHandle& handle) {
    return askWhilePassing(kStatusAttempts, commTiming().usbStatusPause, [&] { return getUsbStatusCodeOnce(handle); });
}

void closeUsbHandle(UsbHandle& handle) { handle.reset(); }

}  // namespace mk
