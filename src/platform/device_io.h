#pragma once

#include <chrono>
#include <cstddef>

#include "platform/fd_wait.h"
#include "platform/usb_driver.h"

namespace mk::platform {

// One read(2), retried when a signal interrupts it: the count, 0 at the end
// of the stream, or -1.
long readDevice(int fd, void* buffer, size_t size);

// Hands one chunk over with one write that takes bytes. While the device
// takes nothing it waits, for at most stallLimit in all. Returns the number
// of bytes taken (the whole chunk unless the device cut it short), or -1
// when the write failed or the device took nothing in time.
long writeDeviceChunk(const UsbDriver& driver, int fd, const void* data, size_t size,
                      std::chrono::milliseconds stallLimit);

}  // namespace mk::platform
