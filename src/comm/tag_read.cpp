#include "comm/tag_read.h"

#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <thread>

#include "comm/callback.h"
#include "comm/comm_errors.h"
#include "comm/comm_timing.h"
#include "comm/interface_type.h"
#include "comm/transport.h"
#include "comm/usb_io.h"
#include "comm/write_data.h"
#include "model/copy_out.h"

namespace mk {
namespace {

constexpr int kNetCallbackPort = 9100;
constexpr int kUsbReadDefaultMs = 3000;
constexpr std::uint32_t kUsbTagReadBytes = 255;
constexpr std::uint32_t kUsbResponseReadBytes = 63;

// Tag commands are short printer command lines; 64 bytes hold any of them.
[[gnu::format(printf, 1, 2)]] std::string formatCommand(const char* format, ...) {
    char text[64];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

bool sendCommand(const Printer& printer, const std::string& command) {
    return writeData(printer, reinterpret_cast<const std::uint8_t*>(command.data()), static_cast<int>(command.size()));
}

std::uint32_t usbReadTimeoutMs(int timeoutMs) {
    return static_cast<std::uint32_t>(timeoutMs > 0 ? timeoutMs : kUsbReadDefaultMs);
}

// One read from the device after the pause it needs; empty when nothing came.
std::string readUsbAnswer(const Printer& printer, std::chrono::milliseconds pause, std::uint32_t maxBytes, int timeoutMs,
                          bool& opened) {
    std::this_thread::sleep_for(pause);
    UsbHandle handle = openUsbForRead(printer.usbDevicePath);
    opened = handle.valid();
    if (!opened) return {};
    std::string bytes(maxBytes, '\0');
    std::uint32_t count = 0;
    const bool read = readUsb(handle, bytes.data(), maxBytes, &count, usbReadTimeoutMs(timeoutMs));
    closeUsbHandle(handle);
    bytes.resize(read ? count : 0);
    return bytes;
}

int readTag(const Printer& printer, const TagRead& read, int timeoutMs, char* buffer, int size) {
    if (!isValidOutBuffer(buffer, size)) {
        setCommError(read.invalidBuffer);
        return -1;
    }
    buffer[0] = '\0';
    return transportFor(printer.interfaceType).readTag(printer, read, timeoutMs, buffer, size);
}

}  // namespace

int deliverTagAnswer(std::string_view answer, char* buffer, int size) {
    const int copied = copyOut(answer, buffer, size);
    if (copied > 0 && buffer[0] == 'X') {
        buffer[0] = '\0';
        return 0;
    }
    return copied;
}

int readTagOverUsb(const Printer& printer, const TagRead& read, int timeoutMs, char* buffer, int size) {
    for (const UsbCommand& command : read.usbCommands) {
        if (!sendCommand(printer, command.text)) {
            setCommError(command.unsent);
            return -1;
        }
    }
    bool opened = false;
    const std::string received = readUsbAnswer(printer, commTiming().usbTagReadPause, kUsbTagReadBytes, timeoutMs, opened);
    if (received.empty()) return -1;
    return deliverTagAnswer(dropAnswerFraming(received), buffer, size);
}

bool holdsRpAnswer(std::string_view received) { return received.find("RP") != std::string_view::npos; }

int readTagViaNet(const Printer& printer, const std::string& command, int timeoutMs, char* buffer, int size) {
    if (printer.netAddress.empty()) {
        setCommError(CommError::TagNetAddressNotSet);
        return -1;
    }
    if (!isValidOutBuffer(buffer, size)) return -1;
    std::string answer;
    if (!sendAndAwaitCallback(printer.netAddress, command, kNetCallbackPort, timeoutMs, answer)) {
        setCommError(CommError::TagCallbackFailed);
        return -1;
    }
    return deliverTagAnswer(answer, buffer, size);
}

int readHFTag(const Printer& printer, int hsParameter, int startBlock, int blockCount, int timeoutMs,
              char* buffer, int size) {
    const TagRead read{
        CommError::HfInvalidBuffer,
        CommError::HfUnsupportedInterface,
        formatCommand("HI%d,2,0,2,%d,2\r\n", startBlock, blockCount),
        {{formatCommand("HS2,%d,1,0\r\n", hsParameter), CommError::HfSendHsFailed},
         {formatCommand("HR%d,1,0,3,%d,2,1\r\n", startBlock, blockCount), CommError::HfSendHrFailed}},
    };
    return readTag(printer, read, timeoutMs, buffer, size);
}

int readUHFTag(const Printer& printer, int bank, int length, int timeoutMs, char* buffer, int size) {
    const TagRead read{
        CommError::UhfInvalidBuffer,
        CommError::UhfUnsupportedInterface,
        formatCommand("RD%d,2,0,%d\r\n", bank, length),
        {{formatCommand("RD%d,1,0,%d\r\n", bank, length), CommError::UhfSendFailed}},
    };
    return readTag(printer, read, timeoutMs, buffer, size);
}

bool readPrintResponse(const Printer& printer, int timeoutMs) {
    if (!isUsbInterface(printer) || printer.usbDevicePath.empty()) {
        setCommError(CommError::ResponseNotUsb);
        return false;
    }
    bool opened = false;
    const std::string received = readUsbAnswer(printer, commTiming().usbResponsePause, kUsbResponseReadBytes, timeoutMs, opened);
    if (!opened) return false;
    if (received.empty()) {
        setCommError(CommError::ResponseNone);
        return false;
    }
    if (!holdsRpAnswer(received)) {
        setCommError(CommError::ResponseNotRp);
        return false;
    }
    return true;
}

}  // namespace mk
