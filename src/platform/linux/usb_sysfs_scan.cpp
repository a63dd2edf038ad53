// Finding the USB printers through sysfs, whichever driver holds them.
#include "platform/linux/usb_sysfs_scan.h"

#include <sys/sysmacros.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <tuple>

namespace mk::platform {
namespace {

namespace fs = std::filesystem;

// Attributes are one short line; anything longer is not an id or a serial.
constexpr size_t kAttributeLimit = 256;
constexpr std::string_view kPrinterClass = "07";

// The attribute's first line without its line feed; empty when it is absent.
std::string readAttribute(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return {};
    std::string value(kAttributeLimit, '\0');
    in.read(value.data(), static_cast<std::streamsize>(value.size()));
    value.resize(static_cast<size_t>(in.gcount()));
    value.resize(std::min(value.find('\n'), value.size()));
    return value;
}

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

struct Found {
    unsigned bus;
    unsigned address;
    UsbPrinterNode node;
};

std::optional<Found> printerOf(const fs::path& devices, const std::string& deviceName, const std::string& interfaceName,
                               const fs::path& devRoot) {
    const fs::path device = devices / deviceName;
    const std::optional<unsigned> bus = readNumber(device / "busnum");
    const std::optional<unsigned> address = readNumber(device / "devnum");
    const std::string vendor = readAttribute(device / "idVendor");
    const std::string product = readAttribute(device / "idProduct");
    if (!bus || !address || vendor.empty() || product.empty()) return std::nullopt;  // going away
    char node[32];
    std::snprintf(node, sizeof node, "%03u/%03u", *bus, *address);
    return Found{*bus, *address,
                 UsbPrinterNode{(devRoot / "bus" / "usb" / node).string(),
                                "usb#vid_" + vendor + "&pid_" + product + "#" + readAttribute(device / "serial") + "#" +
                                    interfaceName}};
}

}  // namespace

std::optional<std::vector<UsbPrinterNode>> scanUsbSysfs(const fs::path& sysfsRoot, const fs::path& devRoot) {
    const fs::path devices = sysfsRoot / "bus" / "usb" / "devices";
    std::error_code error;
    fs::directory_iterator entries(devices, error);
    if (error == std::errc::no_such_file_or_directory) return std::vector<UsbPrinterNode>{};
    if (error) return std::nullopt;

    // Interfaces sit beside their devices, named <device>:<config>.<number>
    // with the number in decimal. A device's first printer interface by
    // number stands for it.
    struct Interface {
        unsigned number;
        std::string name;
    };
    std::map<std::string, Interface> printerInterface;
    for (; entries != fs::directory_iterator(); entries.increment(error)) {
        if (error) return std::nullopt;
        const std::string name = entries->path().filename().string();
        const size_t colon = name.find(':');
        const size_t dot = name.rfind('.');
        if (colon == std::string::npos || colon == 0 || dot == std::string::npos || dot < colon) continue;
        const std::optional<unsigned> number = wholeNumber(std::string_view(name).substr(dot + 1));
        if (!number) continue;
        if (readAttribute(entries->path() / "bInterfaceClass") != kPrinterClass) continue;
        auto [it, inserted] = printerInterface.try_emplace(name.substr(0, colon), Interface{*number, name});
        if (!inserted && *number < it->second.number) it->second = Interface{*number, name};
    }
    if (error) return std::nullopt;

    std::vector<Found> found;
    for (const auto& [deviceName, interface] : printerInterface) {
        if (std::optional<Found> printer = printerOf(devices, deviceName, interface.name, devRoot)) {
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

UsblpNode usblpNodeOf(const fs::path& sysfsRoot, const std::string& usbNode, int interfaceNumber) {
    constexpr UsblpNode kUnreadable{UsblpNode::Found::Unreadable};
    const fs::path node(usbNode);
    const std::optional<unsigned> bus = wholeNumber(node.parent_path().filename().string());
    const std::optional<unsigned> address = wholeNumber(node.filename().string());
    if (!bus || !address) return {};
    const fs::path devices = sysfsRoot / "bus" / "usb" / "devices";
    std::error_code error;
    std::string device;
    for (fs::directory_iterator it(devices, error); !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.find(':') == std::string::npos && readNumber(it->path() / "busnum") == bus &&
            readNumber(it->path() / "devnum") == address) {
            device = name;
            break;
        }
    }
    if (error) return kUnreadable;
    if (device.empty()) return {};  // gone
    fs::path interface;
    for (fs::directory_iterator it(devices, error); !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(device + ":", 0) != 0) continue;
        // bInterfaceNumber is two hexadecimal digits.
        if (readNumber(it->path() / "bInterfaceNumber", 16) == static_cast<unsigned>(interfaceNumber)) {
            interface = it->path();
            break;
        }
    }
    if (error) return kUnreadable;
    if (interface.empty()) return {};
    fs::directory_iterator lp(interface / "usbmisc", error);
    if (error == std::errc::no_such_file_or_directory) return {};  // usblp is not bound
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
    return error ? kUnreadable : UsblpNode{};
}

}  // namespace mk::platform
