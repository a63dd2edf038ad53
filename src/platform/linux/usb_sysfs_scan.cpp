// Finding the USB printers through sysfs, whichever driver holds them.
#include "platform/linux/usb_sysfs_scan.h"

#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <tuple>

#include "platform/linux/unique_fd.h"

namespace mk::platform {
namespace {

namespace fs = std::filesystem;

// Attributes are one short line; anything longer is not an id or a serial.
constexpr size_t kAttributeLimit = 256;
// A device's descriptors: far less in practice; the kernel keeps at most
// 8 configurations of at most 64 KiB each.
constexpr size_t kDescriptorsLimit = 64 * 1024;
constexpr std::string_view kPrinterClass = "07";

// Up to `limit` bytes of the file; nullopt when it is absent (absent is
// true then) or cannot be read.
std::optional<std::string> readFile(const fs::path& file, size_t limit, bool* absent = nullptr) {
    const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        if (absent != nullptr) *absent = errno == ENOENT;
        return std::nullopt;
    }
    std::string bytes(limit, '\0');
    size_t got = 0;
    while (got < limit) {
        const ssize_t n = ::read(fd.fd(), bytes.data() + got, limit - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

// The attribute's first line without its line feed; empty when it is absent.
std::string firstLine(std::string text) {
    text.resize(std::min(text.find('\n'), text.size()));
    return text;
}

std::string readAttribute(const fs::path& file) { return firstLine(readFile(file, kAttributeLimit).value_or("")); }

// The whole text as a number; none when anything else is in it.
std::optional<unsigned> wholeNumber(std::string_view text, int base = 10) {
    unsigned number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return number;
}

std::optional<unsigned> readNumber(const fs::path& file, int base = 10) {
    return wholeNumber(readAttribute(file), base);
}

// A device's serial, from the memo or read (and kept) now. A device without
// one has an empty serial; one whose read failed is not kept.
std::string serialOf(const fs::path& device, const UsbSerialMemo::Attachment& attachment, UsbSerialMemo* memo) {
    if (memo != nullptr) {
        if (std::optional<std::string> kept = memo->find(attachment)) return *kept;
    }
    bool absent = false;
    const std::optional<std::string> text = readFile(device / "serial", kAttributeLimit, &absent);
    if (!text && !absent) return {};
    const std::string serial = firstLine(text.value_or(""));
    if (memo != nullptr) memo->keep(attachment, serial);
    return serial;
}

struct Found {
    unsigned bus;
    unsigned address;
    UsbPrinterNode node;
};

std::optional<Found> printerOf(const fs::path& devices, const std::string& deviceName, const std::string& interfaceName,
                               const fs::path& devRoot, UsbSerialMemo* memo) {
    const fs::path device = devices / deviceName;
    const std::optional<unsigned> bus = readNumber(device / "busnum");
    const std::optional<unsigned> address = readNumber(device / "devnum");
    const std::string vendor = readAttribute(device / "idVendor");
    const std::string product = readAttribute(device / "idProduct");
    if (!bus || !address || vendor.empty() || product.empty()) return std::nullopt;  // going away
    char node[32];
    std::snprintf(node, sizeof node, "%03u/%03u", *bus, *address);
    const std::string serial = serialOf(device, {deviceName, *bus, *address, vendor + ":" + product}, memo);
    return Found{*bus, *address,
                 UsbPrinterNode{(devRoot / "bus" / "usb" / node).string(),
                                "usb#vid_" + vendor + "&pid_" + product + "#" + serial + "#" + interfaceName}};
}

// An interface's folder name, <device>:<configuration>.<number>, both in
// decimal; nullopt for a device's own folder or anything else.
struct InterfaceName {
    std::string device;
    unsigned configuration;
    unsigned number;
};
std::optional<InterfaceName> interfaceNameOf(std::string_view name) {
    const size_t colon = name.find(':');
    const size_t dot = name.rfind('.');
    if (colon == std::string_view::npos || colon == 0 || dot == std::string_view::npos || dot < colon) return {};
    const std::optional<unsigned> configuration = wholeNumber(name.substr(colon + 1, dot - colon - 1));
    const std::optional<unsigned> number = wholeNumber(name.substr(dot + 1));
    if (!configuration || !number) return {};
    return InterfaceName{std::string(name.substr(0, colon)), *configuration, *number};
}

// The device folder whose busnum and devnum are those of the node .../BBB/DDD.
struct DeviceFolder {
    bool readable = true;
    std::string name;  // empty when there is none
};
DeviceFolder deviceFolderOf(const fs::path& devices, const std::string& usbNode) {
    const fs::path node(usbNode);
    const std::optional<unsigned> bus = wholeNumber(node.parent_path().filename().string());
    const std::optional<unsigned> address = wholeNumber(node.filename().string());
    if (!bus || !address) return {};
    std::error_code error;
    for (fs::directory_iterator it(devices, error); !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.find(':') == std::string::npos && readNumber(it->path() / "busnum") == bus &&
            readNumber(it->path() / "devnum") == address) {
            return {true, name};
        }
    }
    return {!error, {}};
}

}  // namespace

std::optional<std::string> UsbSerialMemo::find(const Attachment& attachment) const {
    const std::lock_guard lock(mutex_);
    for (const auto& [kept, serial] : entries_) {
        if (kept == attachment) return serial;
    }
    return std::nullopt;
}

void UsbSerialMemo::keep(const Attachment& attachment, const std::string& serial) {
    const std::lock_guard lock(mutex_);
    for (auto& [kept, known] : entries_) {
        if (kept == attachment) {
            known = serial;
            return;
        }
    }
    if (entries_.size() == kEntries) entries_.erase(entries_.begin());
    entries_.emplace_back(attachment, serial);
}

std::optional<std::vector<UsbPrinterNode>> scanUsbSysfs(const fs::path& sysfsRoot, const fs::path& devRoot,
                                                        UsbSerialMemo* memo) {
    const fs::path devices = sysfsRoot / "bus" / "usb" / "devices";
    std::error_code error;
    fs::directory_iterator entries(devices, error);
    if (error == std::errc::no_such_file_or_directory) return std::vector<UsbPrinterNode>{};
    if (error) return std::nullopt;

    // Interfaces sit beside their devices. A device's first printer
    // interface by number stands for it.
    struct Interface {
        unsigned number;
        std::string name;
    };
    std::map<std::string, Interface> printerInterface;
    for (; entries != fs::directory_iterator(); entries.increment(error)) {
        if (error) return std::nullopt;
        const std::string name = entries->path().filename().string();
        const std::optional<InterfaceName> parts = interfaceNameOf(name);
        if (!parts) continue;
        if (readAttribute(entries->path() / "bInterfaceClass") != kPrinterClass) continue;
        auto [it, inserted] = printerInterface.try_emplace(parts->device, Interface{parts->number, name});
        if (!inserted && parts->number < it->second.number) it->second = Interface{parts->number, name};
    }
    if (error) return std::nullopt;

    std::vector<Found> found;
    for (const auto& [deviceName, interface] : printerInterface) {
        if (std::optional<Found> printer = printerOf(devices, deviceName, interface.name, devRoot, memo)) {
            found.push_back(std::move(*printer));
        }
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return std::tie(a.bus, a.address) < std::tie(b.bus, b.address);
    });
    std::vector<UsbPrinterNode> nodes;
    nodes.reserve(found.size());
    for (Found& printer : found) nodes.push_back(std::move(printer.node));
    return nodes;
}

UsbDeviceSysfs usbDeviceSysfsOf(const fs::path& sysfsRoot, const std::string& usbNode) {
    UsbDeviceSysfs unreadable;
    unreadable.found = UsbDeviceSysfs::Found::Unreadable;
    const fs::path devices = sysfsRoot / "bus" / "usb" / "devices";
    const DeviceFolder device = deviceFolderOf(devices, usbNode);
    if (!device.readable) return unreadable;
    if (device.name.empty()) return {};
    UsbDeviceSysfs found;
    found.found = UsbDeviceSysfs::Found::Device;
    found.folder = devices / device.name;
    std::error_code error;
    for (fs::directory_iterator it(devices, error); !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::optional<InterfaceName> parts = interfaceNameOf(it->path().filename().string());
        if (parts && parts->device == device.name) {
            found.configuration = static_cast<int>(parts->configuration);
            break;
        }
    }
    if (error) return unreadable;
    bool absent = false;
    const std::optional<std::string> descriptors = readFile(found.folder / "descriptors", kDescriptorsLimit, &absent);
    if (!descriptors) return absent ? UsbDeviceSysfs{} : unreadable;
    found.descriptors.assign(descriptors->begin(), descriptors->end());
    return found;
}

UsblpNode usblpNodeOf(const fs::path& sysfsRoot, const std::string& usbNode, int interfaceNumber) {
    constexpr UsblpNode kUnreadable{UsblpNode::Found::Unreadable};
    const fs::path devices = sysfsRoot / "bus" / "usb" / "devices";
    const DeviceFolder device = deviceFolderOf(devices, usbNode);
    if (!device.readable) return kUnreadable;
    if (device.name.empty()) return {};  // gone
    std::error_code error;
    fs::path interface;
    for (fs::directory_iterator it(devices, error); !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(device.name + ":", 0) != 0) continue;
        // bInterfaceNumber is two hexadecimal digits.
        if (readNumber(it->path() / "bInterfaceNumber", 16) == static_cast<unsigned>(interfaceNumber)) {
            interface = it->path();
            break;
        }
    }
    if (error) return kUnreadable;
    if (interface.empty()) return {};
    const fs::path driver = fs::read_symlink(interface / "driver", error);
    if (error == std::errc::no_such_file_or_directory) return {};  // no driver bound
    if (error) return kUnreadable;
    if (driver.filename() != "usblp") return {UsblpNode::Found::OtherDriver};
    fs::directory_iterator lp(interface / "usbmisc", error);
    for (; !error && lp != fs::directory_iterator(); lp.increment(error)) {
        if (lp->path().filename().string().rfind("lp", 0) != 0) continue;
        // "MAJOR:MINOR"
        const std::string text = readAttribute(lp->path() / "dev");
        const size_t colon = text.find(':');
        if (colon == std::string::npos) return kUnreadable;
        const std::optional<unsigned> major = wholeNumber(std::string_view(text).substr(0, colon));
        const std::optional<unsigned> minor = wholeNumber(std::string_view(text).substr(colon + 1));
        if (!major || !minor) return kUnreadable;
        return {UsblpNode::Found::Node, ::makedev(*major, *minor)};
    }
    // usblp bound without a node: not one that can be looked at.
    return kUnreadable;
}

}  // namespace mk::platform
