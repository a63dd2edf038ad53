#pragma once

#include <span>
#include <string_view>

namespace mk {

// Every failure printer communication records in the last error. One name per
// message rather than per code: -525 carries two different messages.
enum class CommError {
    NoUsbPrinters,
    UsbEnumFailed,
    UsbSerialNotFound,
    UsbOpenForWrite,
    UsbWriteArgs,
    UsbWriteFailed,
    UsbPartialWrite,
    UsbReadArgs,
    UsbReadWaitFailed,
    UsbReadTimeout,
    UsbOpenForRead,
    UsbReadEventFailed,
    UsbStatusHandle,
    UsbOpenForStatus,
    UsbNotFound,
    NetAddressNotSet,
    UnsupportedInterface,
    DriverNameNotSet,
    WriteArgs,
    WriteUsbPathNotSet,
    WriteNetAddressNotSet,
    WriteUnsupportedInterface,
    StatusUsbPathNotSet,
    StatusNetAddressNotSet,
    UhfInvalidBuffer,
    UhfSendFailed,
    UhfUnsupportedInterface,
    ResponseNotUsb,
    ResponseNone,
    ResponseNotRp,
    PnNotNet,
    PnInvalidData,
    PnNotReceived,
    HfInvalidBuffer,
    HfUnsupportedInterface,
    HfSendHsFailed,
    HfSendHrFailed,
    TagNetAddressNotSet,
    TagCallbackFailed,
    SpoolOpenFailed,
    SpoolStartDocFailed,
    SpoolStartPageFailed,
    SpoolWriteFailed,
};

struct CommErrorEntry {
    CommError error;
    int code;
    std::string_view message;
};

// The whole table, in the order of CommError.
std::span<const CommErrorEntry> commErrorTable();

int commErrorCode(CommError error);
std::string_view commErrorMessage(CommError error);

// Records the error in the calling thread's last error. The opening failures
// append the device path to their message.
void setCommError(CommError error);
void setCommError(CommError error, std::string_view detail);

}  // namespace mk
