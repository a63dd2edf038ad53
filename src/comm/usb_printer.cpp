// Finding the supported printers among the USB printers attached.
#include "comm/usb_printer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "comm/comm_errors.h"
#include "model/export_guard.h"
#include "platform/usb_driver.h"

static_assert(sizeof(UsbPrinterInfo) == 128, "UsbPrinterInfo is a fixed 128-byte record");
static_assert(offsetof(UsbPrinterInfo, name) == 0 && offsetof(UsbPrinterInfo, port) == 64 &&
              offsetof(UsbPrinterInfo, serial) == 96);

namespace mk {
namespace {

constexpr std::string_view kPrinterName = "Stampwell";
constexpr size_t kSerialLength = 31;

// The vendor and product ids of the supported printers, as an identifier
// spells them in lower case.
constexpr std::array<std::string_view, 2> kSupportedIds = {"vid_9f3c&pid_41a7", "vid_b7e2&pid_0c15"};

bool isSupportedPrinter(std::string_view identifier) {
    std::string lowered(identifier);
    for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::any_of(kSupportedIds.begin(), kSupportedIds.end(),
                       [&](std::string_view ids) { return lowered.find(ids) != std::string::npos; });
}

std::string portName(size_t number) {
    char port[24];
    std::snprintf(port, sizeof port, "USB%02zu", number);
    return port;
}

// Copies at most size - 1 bytes; the field was zeroed, so the rest stays 0.
template <size_t Size>
void copyField(char (&field)[Size], const std::string& text) {
    std::memcpy(field, text.data(), std::min(text.size(), Size - 1));
}

}  // namespace

std::vector<UsbDeviceRecord> scanUsbPrinters() {
    const auto nodes = platform::usbDriver().listPrinters();
    if (!nodes) {
        setCommError(CommError::UsbEnumFailed);
        return {};
    }
    std::vector<UsbDeviceRecord> records;
    for (const platform::UsbPrinterNode& node : *nodes) {
        if (!isSupportedPrinter(node.identifier)) continue;
        records.push_back({std::string(kPrinterName), portName(records.size() + 1),
                           serialFromDevicePath(node.identifier), node.devicePath});
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const UsbDeviceRecord& a, const UsbDeviceRecord& b) { return a.name < b.name; });
    if (records.empty()) setCommError(CommError::NoUsbPrinters);
    return records;
}

std::string serialFromDevicePath(std::string_view identifier) {
    const size_t first = identifier.find('#');
    if (first == std::string_view::npos) return {};
    const size_t second = identifier.find('#', first + 1);
    if (second == std::string_view::npos) return {};
    std::string_view rest = identifier.substr(second + 1);
    rest = rest.substr(0, rest.find('#'));
    return std::string(rest.substr(0, kSerialLength));
}

UsbDeviceRecord findUsbPrinterBySerial(const std::string& serial) {
    std::vector<UsbDeviceRecord> records = scanUsbPrinters();
    if (serial.empty()) return records.empty() ? UsbDeviceRecord{} : std::move(records.front());
    for (UsbDeviceRecord& record : records) {
        if (record.serial == serial) return std::move(record);
    }
    setCommError(CommError::UsbSerialNotFound);
    return {};
}

std::vector<UsbPrinterInfo> buildUsbPrinterInfoList() {
    std::vector<UsbPrinterInfo> list;
    for (const UsbDeviceRecord& record : scanUsbPrinters()) {
        UsbPrinterInfo info{};
        copyField(info.name, record.name);
        copyField(info.port, record.port);
        copyField(info.serial, record.serial);
        list.push_back(info);
    }
    return list;
}

}  // namespace mk

extern "C" MK_API int MkPrinter_EnumUsb(UsbPrinterInfo* out, int maxCount) {
    if (out == nullptr || maxCount < 1) return 0;
    return mk::guarded(0, [&] {
        const std::vector<UsbPrinterInfo> list = mk::buildUsbPrinterInfoList();
        const size_t count = std::min(list.size(), static_cast<size_t>(maxCount));
        std::copy_n(list.begin(), count, out);
        return static_cast<int>(count);
    });
}
