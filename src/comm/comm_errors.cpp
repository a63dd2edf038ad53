#include "comm/comm_errors.h"

#include <array>
#include <string>

#include "mklabel.h"
#include "model/last_error.h"

namespace mk {
namespace {

using enum CommError;

constexpr std::array kCommErrors = {
    CommErrorEntry{NoUsbPrinters, MK_OK, "No VELMOR USB printers found"},
    CommErrorEntry{UsbEnumFailed, MK_ERR_USB_ENUM, "SetupDiGetClassDevs failed for USB print devices"},
    CommErrorEntry{UsbSerialNotFound, MK_ERR_USB_SERIAL_NOT_FOUND, "Printer with specified serial number not found"},
    CommErrorEntry{UsbOpenForWrite, MK_ERR_USB_OPEN_WRITE, "Failed to open USB device for write: "},
    CommErrorEntry{UsbWriteArgs, MK_ERR_USB_WRITE_ARGS, "writeUsb: invalid parameters"},
    CommErrorEntry{UsbWriteFailed, MK_ERR_USB_WRITE_FAILED, "writeUsb: WriteFile failed"},
    CommErrorEntry{UsbPartialWrite, MK_ERR_USB_PARTIAL_WRITE, "writeUsb: partial write"},
    CommErrorEntry{UsbReadArgs, MK_ERR_USB_READ_ARGS, "readUsb: invalid parameters"},
    CommErrorEntry{UsbReadWaitFailed, MK_ERR_USB_READ_WAIT, "readUsb: wait failed"},
    CommErrorEntry{UsbReadTimeout, MK_ERR_USB_READ_TIMEOUT, "readUsb: timeout"},
    CommErrorEntry{UsbOpenForRead, MK_ERR_USB_OPEN_READ, "Failed to open USB device for read: "},
    CommErrorEntry{UsbReadEventFailed, MK_ERR_USB_READ_EVENT, "readUsb: CreateEvent failed"},
    CommErrorEntry{UsbStatusHandle, MK_ERR_USB_STATUS_HANDLE, "getUsbStatusCode: invalid handle"},
    CommErrorEntry{UsbOpenForStatus, MK_ERR_USB_OPEN_STATUS, "Failed to open USB device for status: "},
    CommErrorEntry{UsbNotFound, MK_ERR_USB_NOT_FOUND, "USB printer not found"},
    CommErrorEntry{NetAddressNotSet, MK_ERR_NET_ADDRESS_NOT_SET, "Network IP address not set"},
    CommErrorEntry{UnsupportedInterface, MK_ERR_UNSUPPORTED_INTERFACE, "Unsupported interface type"},
    CommErrorEntry{DriverNameNotSet, MK_ERR_DRIVER_NAME_NOT_SET, "Driver printer name not set"},
    CommErrorEntry{WriteArgs, MK_ERR_WRITE_ARGS, "writeData: invalid parameters"},
    CommErrorEntry{WriteUsbPathNotSet, MK_ERR_WRITE_USB_PATH, "writeData: USB device path not set"},
    CommErrorEntry{WriteNetAddressNotSet, MK_ERR_WRITE_NET_ADDRESS, "writeData: network IP not set"},
    CommErrorEntry{WriteUnsupportedInterface, MK_ERR_WRITE_INTERFACE, "writeData: unsupported interface type"},
    CommErrorEntry{StatusUsbPathNotSet, MK_ERR_STATUS_USB_PATH, "getStatusCode: USB device path not set"},
    CommErrorEntry{StatusNetAddressNotSet, MK_ERR_STATUS_NET_ADDRESS, "getStatusCode: network IP not set"},
    CommErrorEntry{UhfInvalidBuffer, MK_ERR_UHF_BUFFER, "readUHFTag: invalid buffer"},
    CommErrorEntry{UhfSendFailed, MK_ERR_UHF_SEND, "readUHFTag: failed to send RD command"},
    CommErrorEntry{UhfUnsupportedInterface, MK_ERR_UHF_INTERFACE, "readUHFTag: unsupported interface"},
    CommErrorEntry{ResponseNotUsb, MK_ERR_RESPONSE_NOT_USB, "readPrintResponse: not a USB connection"},
    CommErrorEntry{ResponseNone, MK_ERR_RESPONSE_NONE, "readPrintResponse: no response from printer"},
    CommErrorEntry{ResponseNotRp, MK_ERR_RESPONSE_NOT_RP, "readPrintResponseUsb: expected 'RP' not received"},
    CommErrorEntry{PnNotNet, MK_ERR_PN_NOT_NET, "writeAndWaitForPn: not a NET connection"},
    CommErrorEntry{PnInvalidData, MK_ERR_PN_DATA, "writeAndWaitForPn: invalid data"},
    CommErrorEntry{PnNotReceived, MK_ERR_PN_NOT_RECEIVED, "writeAndWaitForPn: expected 'PN' not received"},
    CommErrorEntry{HfInvalidBuffer, MK_ERR_HF_BUFFER, "readHFTag: invalid buffer"},
    CommErrorEntry{HfUnsupportedInterface, MK_ERR_HF_INTERFACE, "readHFTag: unsupported interface"},
    CommErrorEntry{HfSendHsFailed, MK_ERR_HF_SEND_HS, "readHFTag: failed to send HS command"},
    CommErrorEntry{HfSendHrFailed, MK_ERR_HF_SEND_HR, "readHFTag: failed to send HR command"},
    CommErrorEntry{TagNetAddressNotSet, MK_ERR_TAG_NET_ADDRESS, "readTagViaNet: printer IP not set"},
    CommErrorEntry{TagCallbackFailed, MK_ERR_TAG_CALLBACK, "readTagViaNet: callback failed"},
    CommErrorEntry{SpoolOpenFailed, MK_ERR_SPOOL_OPEN, "sendToDriver: OpenPrinter failed"},
    CommErrorEntry{SpoolStartDocFailed, MK_ERR_SPOOL_START_DOC, "sendToDriver: StartDocPrinter failed"},
    CommErrorEntry{SpoolStartPageFailed, MK_ERR_SPOOL_START_PAGE, "sendToDriver: StartPagePrinter failed"},
    CommErrorEntry{SpoolWriteFailed, MK_ERR_SPOOL_WRITE, "sendToDriver: WritePrinter failed"},
};

// Looking an entry up by position is only sound while the table lists every
// error once, in the order of the enumeration.
constexpr bool tableFollowsEnumeration() {
    for (size_t i = 0; i < kCommErrors.size(); ++i) {
        if (static_cast<size_t>(kCommErrors[i].error) != i) return false;
    }
    return static_cast<size_t>(SpoolWriteFailed) + 1 == kCommErrors.size();
}
static_assert(tableFollowsEnumeration());

const CommErrorEntry& entryOf(CommError error) { return kCommErrors[static_cast<size_t>(error)]; }

}  // namespace

std::span<const CommErrorEntry> commErrorTable() { return kCommErrors; }

int commErrorCode(CommError error) { return entryOf(error).code; }

std::string_view commErrorMessage(CommError error) { return entryOf(error).message; }

void setCommError(CommError error) { setCommError(error, {}); }

void setCommError(CommError error, std::string_view detail) {
    const CommErrorEntry& entry = entryOf(error);
    std::string message(entry.message);
    message.append(detail);
    setLastError(entry.code, message);
}

}  // namespace mk
