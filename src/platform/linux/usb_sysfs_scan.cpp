// Finding the USB printers through sysfs, whichever driver holds them.
#include "platform/linux/usb_sysfs_scan.h"

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

    // Interfaces sit beside their devices, named <device>:<config>.<number>.
    // A device's first printer interface (in name order) stands for it.
    std::map<std::string, std::string> printerInterface;
    for (; entries != fs::directory_iterator(); entries.increment(error)) {
        if (error) return std::nullopt;
        const std::string name = entries->path().filename().string();
        const size_t colon = name.find(':');
        if (colon == std::string::npos || colon == 0) continue;
        if (readAttribute(entries->path() / "bInterfaceClass") != kPrinterClass) continue;
        auto [it, inserted] = printerInterface.try_emplace(name.substr(0, colon), name);
        if (!inserted && name < it->second) it->second = name;
    }
    if (error) return std::nullopt;

    std::vector<Found> found;
    for (const auto& [deviceName, interfaceName] : printerInterface) {
        if (std::optional<Found> printer = printerOf(devices, deviceName, interfaceName, devRoot)) {
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

std::string usblpNodeOf(const fs::path& sysfsRoot, const fs::path& devRoot, const std::string& usbNode,
                        int interfaceNumber) {
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
    if (device.empty()) return {};
    for (fs::directory_iterator it(devices, error); !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(device + ":", 0) != 0) continue;
        const std::string number = readAttribute(it->path() / "bInterfaceNumber");
        int value = -1;
        if (std::from_chars(number.data(), number.data() + number.size(), value, 16).ec != std::errc() ||
            value != interfaceNumber) {
            continue;
        }
        std::error_code none;
        for (const fs::directory_entry& lp : fs::directory_iterator(it->path() / "usbmisc", none)) {
            const std::string lpName = lp.path().filename().string();
            if (lpName.rfind("lp", 0) == 0) return (devRoot / "usb" / lpName).string();
        }
        return {};
    }
    return {};
}

}  // namespace mk::platform
