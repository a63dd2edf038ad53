// USB printers are not reached on Windows yet: the printer class lists no
// printer and none opens, so every USB call fails as it does with no printer
// attached.
#include "platform/usb_driver.h"

namespace mk::platform {
namespace {

class NoUsbDriver : public UsbDriver {
public:
    std::optional<std::vector<UsbPrinterNode>> listPrinters() const override { return std::vector<UsbPrinterNode>{}; }
    std::unique_ptr<UsbDevice> open(const std::string&, UsbAccess) const override { return nullptr; }
};

}  // namespace

const UsbDriver& systemUsbDriver() {
    static const NoUsbDriver driver;
    return driver;
}

}  // namespace mk::platform
