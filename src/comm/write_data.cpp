#include "comm/write_data.h"

#include "comm/comm_errors.h"
#include "comm/interface_type.h"
#include "comm/net_transport.h"
#include "comm/usb_io.h"
#include "platform/spooler.h"

namespace mk {
namespace {

constexpr const char* kSpoolerJobTitle = "MK_Stampwell Job";

bool writeUsbRoute(const Printer& printer, const std::uint8_t* data, int length) {
    if (printer.usbDevicePath.empty()) {
        setCommError(CommError::WriteUsbPathNotSet);
        return false;
    }
    UsbHandle handle = openUsbForWrite(printer.usbDevicePath);
    if (!handle.valid()) return false;
    const bool written = writeUsb(handle, data, static_cast<std::uint32_t>(length));
    closeUsbHandle(handle);
    return written;
}

}  // namespace

bool writeData(const Printer& printer, const std::uint8_t* data, int length) {
    if (data == nullptr || length < 1) {
        setCommError(CommError::WriteArgs);
        return false;
    }
    switch (interfaceFamily(printer.interfaceType)) {
        case InterfaceFamily::Usb:
            return writeUsbRoute(printer, data, length);
        case InterfaceFamily::Network:
            if (printer.netAddress.empty()) {
                setCommError(CommError::WriteNetAddressNotSet);
                return false;
            }
            return sendTcp(printer.netAddress, printer.netPort, data, length);
        case InterfaceFamily::Driver:
            return sendToDriver(printer, data, length);
        case InterfaceFamily::Unsupported:
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
