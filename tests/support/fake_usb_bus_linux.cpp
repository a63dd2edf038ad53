// The fake bus on Linux: a sysfs tree and device nodes' names in a private
// temporary folder, listed by the library's own sysfs scan.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "platform/linux/usb_sysfs_scan.h"
#include "support/fake_usb_device.h"

namespace mk::test {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string nodeName(FakeUsbAddress address) {
    char node[32];
    std::snprintf(node, sizeof node, "%03u/%03u", address.bus, address.device);
    return node;
}

}  // namespace

class FakeUsbBus::System final : public platform::UsbDriver {
public:
    explicit System(const std::vector<std::unique_ptr<FakeUsbDevice>>& devices) : devices_(devices) {
        std::string pattern = (fs::temp_directory_path() / "mklabel-usb-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::system_error(errno, std::generic_category(), "mkdtemp");
        root_ = pattern;
        sysfsRoot_ = root_ / "sys";
        devRoot_ = root_ / "dev";
        fs::create_directories(devicesFolder());
        fs::create_directories(devRoot_ / "bus" / "usb");
    }

    ~System() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    fs::path devicesFolder() const { return sysfsRoot_ / "bus" / "usb" / "devices"; }

    // A USB device with one interface of the given class, as sysfs lists it
    // (device and interface side by side); returns the device's folder.
    fs::path makeDevice(std::string_view vendorId, std::string_view productId,
                        const std::optional<std::string>& serial, FakeUsbAddress address,
                        std::string_view interfaceClass) {
        const std::string name = std::to_string(address.bus) + "-" + std::to_string(nextPort_++);
        const fs::path device = devicesFolder() / name;
        const fs::path interface = devicesFolder() / (name + ":1.0");
        fs::create_directories(device);
        fs::create_directories(interface);
        writeFile(device / "idVendor", std::string(vendorId) + "\n");
        writeFile(device / "idProduct", std::string(productId) + "\n");
        writeFile(device / "busnum", std::to_string(address.bus) + "\n");
        writeFile(device / "devnum", std::to_string(address.device) + "\n");
        if (serial) writeFile(device / "serial", *serial + "\n");
        writeFile(interface / "bInterfaceClass", std::string(interfaceClass) + "\n");
        return device;
    }

    std::string nodePath(FakeUsbAddress address) const { return (devRoot_ / "bus" / "usb" / nodeName(address)).string(); }

    std::optional<std::vector<platform::UsbPrinterNode>> listPrinters() const override {
        return platform::scanUsbSysfs(sysfsRoot_, devRoot_);
    }

    std::unique_ptr<platform::UsbDevice> open(const std::string& devicePath, platform::UsbAccess access) const override {
        for (const auto& device : devices_) {
            if (device->devicePath() == devicePath) return device->open(access);
        }
        return nullptr;
    }

    fs::path root_;
    fs::path sysfsRoot_;
    fs::path devRoot_;
    unsigned nextPort_ = 1;

private:
    const std::vector<std::unique_ptr<FakeUsbDevice>>& devices_;
};

FakeUsbBus::FakeUsbBus() : system_(std::make_unique<System>(devices_)) {
    installed_ = std::make_unique<platform::ScopedUsbDriver>(*system_);
}

FakeUsbBus::~FakeUsbBus() {
    installed_.reset();
    devices_.clear();
    system_.reset();
}

FakeUsbDevice& FakeUsbBus::plug(std::string_view vendorId, std::string_view productId,
                                std::optional<std::string> serial, std::optional<FakeUsbAddress> address) {
    const FakeUsbAddress at = address.value_or(FakeUsbAddress{1, nextAddress_++});
    const fs::path entry = system_->makeDevice(vendorId, productId, serial, at, "07");
    FakeUsbDevice& device = add(std::unique_ptr<FakeUsbDevice>(new FakeUsbDevice(system_->nodePath(at))));
    device.sysfsEntry_ = entry;
    return device;
}

void FakeUsbBus::addVanishingDevice() {
    const fs::path device = system_->makeDevice("9f3c", "41a7", "GOING", {1, nextAddress_++}, "07");
    fs::remove(device / "busnum");
    fs::remove(device / "devnum");
}

void FakeUsbBus::addOtherDevice(std::string_view vendorId, std::string_view productId) {
    system_->makeDevice(vendorId, productId, "OTHER", {1, nextAddress_++}, "03");
}

void FakeUsbBus::breakDevicesFolder() {
    const fs::path devices = system_->devicesFolder();
    fs::remove_all(devices);
    writeFile(devices, "");  // a file where the folder was: listing it fails with ENOTDIR
}

std::string FakeUsbBus::absentDevicePath() const { return system_->nodePath({1, 199}); }

const std::filesystem::path& FakeUsbBus::sysfsRoot() const { return system_->sysfsRoot_; }
const std::filesystem::path& FakeUsbBus::devRoot() const { return system_->devRoot_; }

}  // namespace mk::test
