#include "comm/write_data.h"

#include "comm/comm_errors.h"
#include "comm/net_transport.h"
#include "platform/spooler.h"

namespace mk {
namespace {

constexpr const char* kSpoolerJobTitle = "MK_Stampwell Job";

enum class Route { Usb, Network, Spooler, Unsupported };

Route routeOf(int interfaceType) {
    switch (interfaceType) {
        case 0:
            return Route::Spooler;
        case 1:
        case 4:
        case 6:
        case 8:
            return Route::Usb;
        case 2:
        case 5:
        case 7:
        case 9:
            return Route::Network;
        default:
            return Route::Unsupported;
    }
}

bool writeUsbRoute(const Printer& printer, const std::uint8_t* data, int length) {
    if (printer.usbDevicePath.empty()) {
        setCommError(CommError::WriteUsbPathNotSet);
        return false;
    }
    (void)data;
    (void)length;
    return false;
}

}  // namespace

bool writeData(const Printer& printer, const std::uint8_t* data, int length) {
    if (data == nullptr || length < 1) {
        setCommError(CommError::WriteArgs);
        return false;
    }
    switch (routeOf(printer.interfaceType)) {
        case Route::Usb:
            return writeUsbRoute(printer, data, length);
        case Route::Network:
            if (printer.netAddress.empty()) {
                setCommError(CommError::WriteNetAddressNotSet);
                return false;
            }
            return sendTcp(printer.netAddress, printer.netPort, data, length);
        case Route::Spooler:
            return sendToDriver(printer, data, length);
        case Route::Unsupported:
            break;
    }
    setCommError(CommError::WriteUnsupportedInterface);
    return false;
}

bool sendToDriver(const Printer& printer, const std::uint8_t* data, int length) {
    if (data == nullptr || length < 1) return false;
    platform::SpoolerJob job;
    if (!job.open(printer.driverName)) {
        setCommError(CommError::SpoolOpenFailed);
        return false;
    }
    if (!job.create(kSpoolerJobTitle)) {
        setCommError(CommError::SpoolStartDocFailed);
        return false;
    }
    if (!job.startDocument()) {
        setCommError(CommError::SpoolStartPageFailed);
        return false;
    }
    // The scheduler gives its verdict on the bytes only when the document
    // ends, so a refused document is a failed write, not a success.
    if (!job.write(data, static_cast<std::size_t>(length)) || !job.finish()) {
        setCommError(CommError::SpoolWriteFailed);
        return false;
    }
    return true;
}

}  // namespace mk
