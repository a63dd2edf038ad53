// Finding the USB printers through sysfs, whichever driver holds them.
#include "platform/linux/usb_sysfs_scan.h"

#include <sys/sysmacros.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
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

std::optional<unsigned> readNumber(const fs::path& file) {
    const std::string text = readAttribute(file);
    unsigned number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return number;
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
        unsigned number = 0;
        const auto [end, bad] = std::from_chars(name.data() + dot + 1, name.data() + name.size(), number);
        if (bad != std::errc() || end != name.data() + name.size()) continue;
        if (readAttribute(entries->path() / "bInterfaceClass") != kPrinterClass) continue;
        auto [it, inserted] = printerInterface.try_emplace(name.substr(0, colon), Interface{number, name});
        if (!inserted && number < it->second.number) it->second = Interface{number, name};
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
    unsigned bus = 0;
    unsigned address = 0;
    const std::string busText = node.parent_path().filename().string();
    const std::string addressText = node.filename().string();
    if (std::from_chars(busText.data(), busText.data() + busText.size(), bus).ec != std::errc() ||
        std::from_chars(addressText.data(), addressText.data() + addressText.size(), address).ec != std::errc()) {
        return {};
    }
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
        const std::string number = readAttribute(it->path() / "bInterfaceNumber");
        int value = -1;
        const auto [end, bad] = std::from_chars(number.data(), number.data() + number.size(), value, 16);
        if (bad == std::errc() && end == number.data() + number.size() && value == interfaceNumber) {
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
        const char* const last = text.data() + text.size();
        unsigned major = 0;
        unsigned minor = 0;
        const auto [colon, badMajor] = std::from_chars(text.data(), last, major);
        if (badMajor != std::errc() || colon == last || *colon != ':') return kUnreadable;
        const auto [end, badMinor] = std::from_chars(colon + 1, last, minor);
        if (badMinor != std::errc() || end != last) return kUnreadable;
        return {UsblpNode::Found::Node, ::makedev(major, minor)};
    }
    return error ? kUnreadable : UsblpNode{};
}

}  // namespace mk::platform
