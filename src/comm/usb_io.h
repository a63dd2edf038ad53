#pragma once

#include <cstdint>
#include <string>

#include "platform/unique_fd.h"

namespace mk {

// An open USB printer device. Every USB operation opens the device, does its
// work and closes it again; the holder closes it on every path out.
using UsbHandle = platform::UniqueFd;

// Each returns an invalid handle and records its failure (-511, -520, -503,
// with the path) when the device cannot be opened.
UsbHandle openUsbForRead(const std::string& devicePath);
UsbHandle openUsbForStatus(const std::string& devicePath);
UsbHandle openUsbForWrite(const std::string& devicePath);

// Waits up to timeoutMs for the printer to send, then reads at most length
// bytes. True when bytes arrived; count (when given) is 0 unless they did.
bool readUsb(const UsbHandle& handle, void* buffer, uint32_t length, uint32_t* count, uint32_t timeoutMs);

// Writes in chunks of at most 512 bytes, one write each. A printer that takes
// nothing for the stall limit fails the write rather than holding the caller.
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
