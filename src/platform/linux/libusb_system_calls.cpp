// libusb's and the system's calls beneath the Linux USB driver.
#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/libusb_calls.h"
#include "platform/linux/node_holders.h"
#include "platform/linux/usb_sysfs_scan.h"

namespace mk::platform {
namespace {

class SystemLibusbCalls final : public LibusbCalls {
public:
    int openNode(const std::string& path) const override {
        return ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    }
    void closeNode(int fd) const override { ::close(fd); }
    int init(libusb_context** context) const override { return libusb_init(context); }
    void exit(libusb_context* context) const override { libusb_exit(context); }
    int wrapSysDevice(libusb_context* context, int fd, libusb_device_handle** handle) const override {
        return libusb_wrap_sys_device(context, static_cast<intptr_t>(fd), handle);
    }
    int getActiveConfigDescriptor(libusb_device_handle* handle, libusb_config_descriptor** config) const override {
        return libusb_get_active_config_descriptor(libusb_get_device(handle), config);
    }
    void freeConfigDescriptor(libusb_config_descriptor* config) const override { libusb_free_config_descriptor(config); }
    int kernelDriverActive(libusb_device_handle* handle, int interface) const override {
        return libusb_kernel_driver_active(handle, interface);
    }
    bool kernelDriverNodeInUse(const std::string& devicePath, int interface) const override {
        const UsblpNode node = usblpNodeOf("/sys", devicePath, interface);
        switch (node.found) {
        case UsblpNode::Found::None: return false;
        case UsblpNode::Found::Node: return deviceOpenInAnyProcess("/proc", node.device);
        case UsblpNode::Found::Unreadable: break;
        }
        return true;
    }
    int detachKernelDriver(libusb_device_handle* handle, int interface) const override {
        return libusb_detach_kernel_driver(handle, interface);
    }
    int attachKernelDriver(libusb_device_handle* handle, int interface) const override {
        return libusb_attach_kernel_driver(handle, interface);
    }
    int claimInterface(libusb_device_handle* handle, int interface) const override {
        return libusb_claim_interface(handle, interface);
    }
    int releaseInterface(libusb_device_handle* handle, int interface) const override {
        return libusb_release_interface(handle, interface);
    }
    int setInterfaceAltSetting(libusb_device_handle* handle, int interface, int alternate) const override {
        return libusb_set_interface_alt_setting(handle, interface, alternate);
    }
    int bulkTransfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data, int length,
                     int* transferred, unsigned timeoutMs) const override {
        return libusb_bulk_transfer(handle, endpoint, data, length, transferred, timeoutMs);
    }
    int controlTransfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request, uint16_t value,
                        uint16_t index, unsigned char* data, uint16_t length, unsigned timeoutMs) const override {
        return libusb_control_transfer(handle, requestType, request, value, index, data, length, timeoutMs);
    }
    void close(libusb_device_handle* handle) const override { libusb_close(handle); }
};

}  // namespace

const LibusbCalls& systemLibusbCalls() {
    static const SystemLibusbCalls calls;
    return calls;
}

const UsbDriver& systemUsbDriver() {
    static const LibusbDriver driver(systemLibusbCalls());
    return driver;
}

}  // namespace mk::platform
