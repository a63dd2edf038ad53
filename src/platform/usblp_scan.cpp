// Finding the printers usblp has bound, through sysfs.
#include <algorithm>
#include <charconv>
#include <fstream>
#include <system_error>
#include <utility>

#include "platform/usb_driver.h"

namespace mk::platform {
namespace {

namespace fs = std::filesystem;

// Attributes are one short line; anything longer is not an id or a serial.
constexpr size_t kAttributeLimit = 256;

// The number N of a class entry named lpN; nullopt for other entries (the
// class also holds hiddevN and the like).
std::optional<unsigned> lpNumber(const std::string& name) {
    if (name.size() < 3 || name.compare(0, 2, "lp") != 0) return std::nullopt;
    unsigned number = 0;
    const char* first = name.data() + 2;
    const char* last = name.data() + name.size();
    const auto [end, error] = std::from_chars(first, last, number);
    if (error != std::errc() || end != last) return std::nullopt;
    return number;
}

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

std::optional<UsbPrinterNode> nodeOf(const fs::path& classEntry, const fs::path& devRoot) {
    std::error_code error;
    const fs::path interface = fs::canonical(classEntry / "device", error);
    if (error) return std::nullopt;
    const fs::path usbDevice = interface.parent_path();
    const std::string vendor = readAttribute(usbDevice / "idVendor");
    const std::string product = readAttribute(usbDevice / "idProduct");
    if (vendor.empty() || product.empty()) return std::nullopt;
    const std::string serial = readAttribute(usbDevice / "serial");
    return UsbPrinterNode{
        (devRoot / "usb" / classEntry.filename()).string(),
        "usb#vid_" + vendor + "&pid_" + product + "#" + serial + "#usblp",
    };
}

}  // namespace

std::optional<std::vector<UsbPrinterNode>> scanUsblp(const fs::path& sysfsRoot, const fs::path& devRoot) {
    const fs::path classDir = sysfsRoot / "class" / "usbmisc";
    std::error_code error;
    fs::directory_iterator entries(classDir, error);
    if (error == std::errc::no_such_file_or_directory) return std::vector<UsbPrinterNode>{};
    if (error) return std::nullopt;

    std::vector<std::pair<unsigned, UsbPrinterNode>> found;
    for (; entries != fs::directory_iterator(); entries.increment(error)) {
        if (error) return std::nullopt;
        const std::optional<unsigned> number = lpNumber(entries->path().filename().string());
        if (!number) continue;
        if (std::optional<UsbPrinterNode> node = nodeOf(entries->path(), devRoot)) {
            found.emplace_back(*number, std::move(*node));
        }
    }
    if (error) return std::nullopt;

    // Directory order is arbitrary; lp numbers follow the order the
    // printers were bound in.
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<UsbPrinterNode> nodes;
    nodes.reserve(found.size());
    for (auto& entry : found) nodes.push_back(std::move(entry.second));
    return nodes;
}

}  // namespace mk::platform
