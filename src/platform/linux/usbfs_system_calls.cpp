// The system's calls beneath the Linux USB driver: usbfs ioctls on the
// device's node, sysfs and /proc.
#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "platform/linux/fd_wait.h"
#include "platform/linux/node_holders.h"
#include "platform/linux/usbfs_calls.h"

namespace mk::platform {
namespace {

int ioctlResult(int result) { return result < 0 ? -errno : result; }

// An ioctl that a signal may cut short before it did anything.
template <class Argument>
int retried(int fd, unsigned long request, Argument argument) {
    for (;;) {
        const int result = ::ioctl(fd, request, argument);
        if (result >= 0 || errno != EINTR) return ioctlResult(result);
    }
}

int interfaceIoctl(int fd, int interface, int request) {
    usbdevfs_ioctl command{};
    command.ifno = interface;
    command.ioctl_code = request;
    command.data = nullptr;
    return retried(fd, USBDEVFS_IOCTL, &command);
}

}  // namespace

SystemUsbfsCalls::SystemUsbfsCalls(std::filesystem::path sysfsRoot, std::filesystem::path procRoot,
                                   std::filesystem::path devRoot)
    : sysfsRoot_(std::move(sysfsRoot)), procRoot_(std::move(procRoot)), devRoot_(std::move(devRoot)) {}

std::optional<std::vector<UsbPrinterNode>> SystemUsbfsCalls::listPrinters(UsbSerialMemo& memo) const {
    return scanUsbSysfs(sysfsRoot_, devRoot_, &memo);
}

std::optional<UsbDeviceLook> SystemUsbfsCalls::lookAt(const std::string& devicePath) const {
    UsbDeviceSysfs device = usbDeviceSysfsOf(sysfsRoot_, devicePath);
    if (device.found != UsbDeviceSysfs::Found::Device) return std::nullopt;
    return UsbDeviceLook{device.configuration, std::move(device.descriptors)};
}

InterfaceHolder SystemUsbfsCalls::holderOf(const std::string& devicePath, int interface) const {
    const UsblpNode node = usblpNodeOf(sysfsRoot_, devicePath, interface);
    switch (node.found) {
    case UsblpNode::Found::None: return InterfaceHolder::None;
    case UsblpNode::Found::OtherDriver: return InterfaceHolder::Other;
    case UsblpNode::Found::Node:
        return deviceOpenInAnyProcess(procRoot_, node.device) ? InterfaceHolder::UsblpNodeOpen : InterfaceHolder::Usblp;
    case UsblpNode::Found::Unreadable: break;
    }
    return InterfaceHolder::Unknown;
}

int SystemUsbfsCalls::openNode(const std::string& path) const {
    return ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
}

void SystemUsbfsCalls::closeNode(int fd) const { ::close(fd); }

std::optional<std::string> SystemUsbfsCalls::driverOf(int fd, int interface) const {
    usbdevfs_getdriver driver{};
    driver.interface = static_cast<unsigned>(interface);
    const int result = retried(fd, USBDEVFS_GETDRIVER, &driver);
    if (result == -ENODATA) return std::string();
    if (result < 0) return std::nullopt;
    driver.driver[sizeof driver.driver - 1] = '\0';
    return std::string(driver.driver);
}

int SystemUsbfsCalls::disconnect(int fd, int interface) const { return interfaceIoctl(fd, interface, USBDEVFS_DISCONNECT); }

int SystemUsbfsCalls::connect(int fd, int interface) const { return interfaceIoctl(fd, interface, USBDEVFS_CONNECT); }

int SystemUsbfsCalls::claimInterface(int fd, int interface) const {
    unsigned number = static_cast<unsigned>(interface);
    return retried(fd, USBDEVFS_CLAIMINTERFACE, &number);
}

int SystemUsbfsCalls::releaseInterface(int fd, int interface) const {
    unsigned number = static_cast<unsigned>(interface);
    return retried(fd, USBDEVFS_RELEASEINTERFACE, &number);
}

int SystemUsbfsCalls::setInterface(int fd, int interface, int alternate) const {
    usbdevfs_setinterface setting{static_cast<unsigned>(interface), static_cast<unsigned>(alternate)};
    return retried(fd, USBDEVFS_SETINTERFACE, &setting);
}

// Submitted and reaped, so that a transfer that ends by its time-out still
// tells how many bytes it moved (USBDEVFS_BULK loses that count).
int SystemUsbfsCalls::bulkTransfer(int fd, uint8_t endpoint, void* data, size_t length, unsigned timeoutMs,
                                   size_t* moved) const {
    *moved = 0;
    usbdevfs_urb urb{};
    urb.type = USBDEVFS_URB_TYPE_BULK;
    urb.endpoint = endpoint;
    urb.buffer = data;
    urb.buffer_length = static_cast<int>(std::min<size_t>(length, INT_MAX));
    const int submitted = retried(fd, USBDEVFS_SUBMITURB, &urb);
    if (submitted < 0) return submitted;
    // usbfs makes the node writable when a transfer of it has ended.
    const FdWait waited = waitWritable(fd, std::chrono::milliseconds(timeoutMs));
    // A transfer not ended by now is cut short. Whatever happened, the
    // transfer is reaped before the caller's buffer is handed back: a cut
    // transfer ends at once, and one of a device that went away has ended.
    if (waited != FdWait::Ready) ::ioctl(fd, USBDEVFS_DISCARDURB, &urb);
    usbdevfs_urb* reaped = nullptr;
    const int reap = retried(fd, USBDEVFS_REAPURB, &reaped);
    if (reap < 0) return reap;
    *moved = static_cast<size_t>(std::max(urb.actual_length, 0));
    if (urb.status == 0) return 0;
    if (waited == FdWait::TimedOut && (urb.status == -ENOENT || urb.status == -ECONNRESET)) return -ETIMEDOUT;
    return urb.status;
}

int SystemUsbfsCalls::controlTransfer(int fd, uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                                      void* data, uint16_t length, unsigned timeoutMs) const {
    usbdevfs_ctrltransfer transfer{};
    transfer.bRequestType = requestType;
    transfer.bRequest = request;
    transfer.wValue = value;
    transfer.wIndex = index;
    transfer.wLength = length;
    transfer.timeout = timeoutMs;
    transfer.data = data;
    return ioctlResult(::ioctl(fd, USBDEVFS_CONTROL, &transfer));
}

const UsbfsCalls& systemUsbfsCalls() {
    static const SystemUsbfsCalls calls("/sys", "/proc", "/dev");
    return calls;
}

const UsbDriver& systemUsbDriver() {
    static const UsbfsDriver driver(systemUsbfsCalls());
    return driver;
}

}  // namespace mk::platform
