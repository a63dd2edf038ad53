#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include "portable/utf_convert.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/usb_print_calls.h"
#include "platform/win32/wide_path.h"

namespace mk::platform {
namespace {

// A request the driver does not give back this long after its cancellation
// is abandoned to it (see Request).
constexpr DWORD kCancelBoundMs = 5000;
constexpr DWORD kStatusTimeoutMs = 5000;
// A read asks for at most this much (an answer is far shorter), in whole
// multiples of the largest bulk packet.
constexpr size_t kLargestRead = 64 * 1024;
constexpr size_t kPacketMultiple = 512;

struct DeviceSetCloser {
    const UsbPrintCalls* calls;
    void operator()(HDEVINFO set) const { calls->destroyDeviceInfoList(set); }
};

UsbOutcome outcomeOf(DWORD error) {
    switch (error) {
    case ERROR_OPERATION_ABORTED:  // cancelled after its wait ran out
    case ERROR_SEM_TIMEOUT:        // the class driver's own time-out
        return UsbOutcome::TimedOut;
    case ERROR_GEN_FAILURE:  // the printer stalled its endpoint
        return UsbOutcome::Refused;
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_FILE_NOT_FOUND:
        return UsbOutcome::Gone;
    default:
        return UsbOutcome::Failed;
    }
}

DWORD waitMs(std::chrono::milliseconds timeout) {
    // INFINITE is no bound; the longest bounded wait is one below it.
    return static_cast<DWORD>(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, INFINITE - 1));
}

std::string pathText(const wchar_t* path) {
    return utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(path), std::wcslen(path)));
}

// One overlapped request with everything the driver may still write to
// until the request has ended: its record, its event and its bytes. The
// caller's buffer is copied in or out, so that giving up on a request that
// does not end never leaves the driver writing into the caller's memory.
struct Request {
    explicit Request(size_t size) : bytes(size) {}
    OVERLAPPED overlapped{};
    UniqueHandle event;
    std::vector<unsigned char> bytes;
};

class Win32UsbPrinter final : public UsbDevice {
public:
    Win32UsbPrinter(const UsbPrintCalls& calls, HANDLE file) : calls_(calls), file_(file) {}
    ~Win32UsbPrinter() override { calls_.closeHandle(file_); }
    Win32UsbPrinter(const Win32UsbPrinter&) = delete;
    Win32UsbPrinter& operator=(const Win32UsbPrinter&) = delete;

    UsbTransfer write(const void* data, size_t size, std::chrono::milliseconds timeout) override {
        const DWORD length = static_cast<DWORD>(std::min<size_t>(size, MAXDWORD));
        auto request = std::make_unique<Request>(length);
        std::memcpy(request->bytes.data(), data, length);
        return run(request, waitMs(timeout), [&](Request& r) {
            return calls_.writeFile(file_, r.bytes.data(), length, &r.overlapped);
        });
    }

    UsbTransfer read(void* buffer, size_t size, std::chrono::milliseconds timeout) override {
        // Whole packets of any bus speed: a packet larger than the space
        // asked for would fail the transfer and lose the answer.
        const size_t wanted = std::min<size_t>(size, kLargestRead);
        const DWORD length = static_cast<DWORD>((wanted + kPacketMultiple - 1) / kPacketMultiple * kPacketMultiple);
        auto request = std::make_unique<Request>(length);
        const UsbTransfer transfer = run(request, waitMs(timeout), [&](Request& r) {
            return calls_.readFile(file_, r.bytes.data(), length, &r.overlapped);
        });
        if (!request) return transfer;  // given up: it moved nothing
        const size_t moved = std::min<size_t>(transfer.moved, wanted);
        std::memcpy(buffer, request->bytes.data(), moved);
        return {transfer.outcome, moved};
    }

    std::optional<uint8_t> portStatus() override {
        auto request = std::make_unique<Request>(1);
        const UsbTransfer transfer = run(request, kStatusTimeoutMs, [&](Request& r) {
            r.bytes[0] = 0xFF;
            return calls_.deviceIoControl(file_, kGetLptStatus, r.bytes.data(), 1, r.bytes.data(), 1, &r.overlapped);
        });
        if (!request || transfer.outcome != UsbOutcome::Done || transfer.moved != 1) return std::nullopt;
        return request->bytes[0];
    }

private:
    // Starts the request and waits for it at most timeoutMs; a request still
    // under way then is cancelled and waited for again, since the driver
    // owns its memory until it ends. One that does not end even then is left
    // to the driver (request is emptied, its memory given up) and reported as
    // moving nothing.
    template <typename Start>
    UsbTransfer run(std::unique_ptr<Request>& request, DWORD timeoutMs, Start start) {
        request->event.reset(calls_.createEvent(file_));
        if (!request->event) return {UsbOutcome::NoWait, 0};
        request->overlapped.hEvent = request->event.get();
        if (!start(*request)) {
            const DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING) return {outcomeOf(error), 0};
            const DWORD waited = calls_.waitFor(request->event.get(), timeoutMs);
            if (waited != WAIT_OBJECT_0) {
                const UsbOutcome gaveUp = waited == WAIT_TIMEOUT ? UsbOutcome::TimedOut : UsbOutcome::WaitFailed;
                calls_.cancelIo(file_, &request->overlapped);
                if (calls_.waitFor(request->event.get(), kCancelBoundMs) != WAIT_OBJECT_0) {
                    request.release();  // the driver still owns it
                    return {gaveUp, 0};
                }
                DWORD moved = 0;
                // It may have ended well just before the cancellation.
                if (GetOverlappedResult(file_, &request->overlapped, &moved, FALSE)) return {UsbOutcome::Done, moved};
                return {gaveUp, moved};
            }
        }
        DWORD moved = 0;
        if (!GetOverlappedResult(file_, &request->overlapped, &moved, FALSE)) {
            return {outcomeOf(GetLastError()), moved};
        }
        return {UsbOutcome::Done, moved};
    }

    const UsbPrintCalls& calls_;
    HANDLE file_;
};

class SystemCalls final : public UsbPrintCalls {
public:
    HDEVINFO getClassDevs(const GUID& interfaceClass, DWORD flags) const override {
        return SetupDiGetClassDevsW(&interfaceClass, nullptr, nullptr, flags);
    }
    BOOL enumDeviceInterfaces(HDEVINFO set, const GUID& interfaceClass, DWORD index,
                              SP_DEVICE_INTERFACE_DATA* interface) const override {
        return SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, index, interface);
    }
    BOOL getDeviceInterfaceDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interface,
                                  SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD size,
                                  DWORD* required) const override {
        return SetupDiGetDeviceInterfaceDetailW(set, interface, detail, size, required, nullptr);
    }
    BOOL destroyDeviceInfoList(HDEVINFO set) const override { return SetupDiDestroyDeviceInfoList(set); }
    HANDLE createFile(const wchar_t* path, DWORD access, DWORD shareMode, DWORD flags) const override {
        return CreateFileW(path, access, shareMode, nullptr, OPEN_EXISTING, flags, nullptr);
    }
    BOOL readFile(HANDLE file, void* buffer, DWORD size, OVERLAPPED* overlapped) const override {
        return ReadFile(file, buffer, size, nullptr, overlapped);
    }
    BOOL writeFile(HANDLE file, const void* data, DWORD size, OVERLAPPED* overlapped) const override {
        return WriteFile(file, data, size, nullptr, overlapped);
    }
    BOOL deviceIoControl(HANDLE file, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                         OVERLAPPED* overlapped) const override {
        return DeviceIoControl(file, code, in, inSize, out, outSize, nullptr, overlapped);
    }
    BOOL cancelIo(HANDLE file, OVERLAPPED* overlapped) const override { return CancelIoEx(file, overlapped); }
    HANDLE createEvent(HANDLE) const override { return CreateEventW(nullptr, FALSE, FALSE, nullptr); }
    DWORD waitFor(HANDLE event, DWORD milliseconds) const override { return WaitForSingleObject(event, milliseconds); }
    BOOL closeHandle(HANDLE file) const override { return CloseHandle(file); }
};

}  // namespace

std::optional<std::vector<UsbPrinterNode>> Win32UsbDriver::listPrinters() const {
    const HDEVINFO set = calls_.getClassDevs(kUsbPrinterInterfaceClass, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return std::nullopt;
    const std::unique_ptr<void, DeviceSetCloser> owned(set, DeviceSetCloser{&calls_});
    std::vector<UsbPrinterNode> nodes;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interface{};
        interface.cbSize = sizeof interface;
        if (!calls_.enumDeviceInterfaces(set, kUsbPrinterInterfaceClass, index, &interface)) break;
        DWORD required = 0;
        // An interface whose detail cannot be had (a device leaving as it is
        // listed) is passed over.
        if (calls_.getDeviceInterfaceDetail(set, &interface, nullptr, 0, &required) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER || required <= offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) {
            continue;
        }
        // Whole records, so that the record's alignment holds.
        std::vector<SP_DEVICE_INTERFACE_DETAIL_DATA_W> storage(required / sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) + 1);
        SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail = storage.data();
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        const DWORD size = static_cast<DWORD>(storage.size() * sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W));
        if (!calls_.getDeviceInterfaceDetail(set, &interface, detail, size, nullptr)) continue;
        // The path ends within the record whatever the driver wrote.
        reinterpret_cast<wchar_t*>(storage.data() + storage.size())[-1] = L'\0';
        const std::string path = pathText(detail->DevicePath);
        if (path.empty()) continue;
        nodes.push_back({path, path});
    }
    return nodes;
}

std::unique_ptr<UsbDevice> Win32UsbDriver::open(const std::string& devicePath, UsbAccess access) const {
    const std::wstring path = widePath(devicePath.c_str());
    if (path.empty()) return nullptr;
    const DWORD rights = access == UsbAccess::ReadOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    // Overlapped for every access, so that every transfer can be given up on.
    const HANDLE file = calls_.createFile(path.c_str(), rights, FILE_SHARE_READ, FILE_FLAG_OVERLAPPED);
    if (file == INVALID_HANDLE_VALUE || file == nullptr) return nullptr;
    return std::make_unique<Win32UsbPrinter>(calls_, file);
}

namespace {
constinit const SystemCalls systemCalls;
constinit const Win32UsbDriver systemDriver(systemCalls);
}  // namespace

const UsbPrintCalls& systemUsbPrintCalls() { return systemCalls; }

const UsbDriver& systemUsbDriver() { return systemDriver; }

}  // namespace mk::platform
