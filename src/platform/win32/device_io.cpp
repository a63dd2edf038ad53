// No USB device is ever open on Windows yet (see usb_driver.cpp): reads and
// writes fail.
#include "platform/device_io.h"

#include <cerrno>

namespace mk::platform {

long readDevice(int, void*, size_t) {
    errno = ENODEV;
    return -1;
}

long writeDeviceChunk(const UsbDriver&, int, const void*, size_t, std::chrono::milliseconds) {
    errno = ENODEV;
    return -1;
}

FdWait waitReadable(int, Deadline) { return FdWait::Failed; }
FdWait waitWritable(int, Deadline) { return FdWait::Failed; }
FdWait waitReadable(int, std::chrono::milliseconds) { return FdWait::Failed; }
FdWait waitWritable(int, std::chrono::milliseconds) { return FdWait::Failed; }

}  // namespace mk::platform
