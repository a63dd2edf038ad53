#pragma once
// The USB printer class on Windows: printers are the present interfaces of
// the USB printer device-interface class that SetupAPI lists, opened by
// their device path and driven with overlapped reads, writes and the class
// driver's port-status request, each waited for with a bound and cancelled
// when the bound passes.
//
// The system calls that reach the class driver go through UsbPrintCalls, so
// that a test can stand a fake driver where Windows has the real one. Each
// call keeps the system call's arguments, results and last-error rule.

#include <windows.h>
#include <setupapi.h>

#include "platform/usb_driver.h"

namespace mk::platform {

// GUID_DEVINTERFACE_USBPRINT
inline constexpr GUID kUsbPrinterInterfaceClass = {
    0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
// IOCTL_USBPRINT_GET_LPT_STATUS: one status byte out.
inline constexpr DWORD kGetLptStatus = 0x220030;

class UsbPrintCalls {
public:
    virtual ~UsbPrintCalls() = default;

    // SetupDiGetClassDevsW with no enumerator and no window.
    virtual HDEVINFO getClassDevs(const GUID& interfaceClass, DWORD flags) const = 0;
    virtual BOOL enumDeviceInterfaces(HDEVINFO set, const GUID& interfaceClass, DWORD index,
                                      SP_DEVICE_INTERFACE_DATA* interface) const = 0;
    // SetupDiGetDeviceInterfaceDetailW without the device information record.
    virtual BOOL getDeviceInterfaceDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interface,
                                          SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD size,
                                          DWORD* required) const = 0;
    virtual BOOL destroyDeviceInfoList(HDEVINFO set) const = 0;

    // CreateFileW of an existing device, without security attributes.
    virtual HANDLE createFile(const wchar_t* path, DWORD access, DWORD shareMode, DWORD flags) const = 0;
    // Overlapped ReadFile, WriteFile and DeviceIoControl: the count moved is
    // collected with GetOverlappedResult.
    virtual BOOL readFile(HANDLE file, void* buffer, DWORD size, OVERLAPPED* overlapped) const = 0;
    virtual BOOL writeFile(HANDLE file, const void* data, DWORD size, OVERLAPPED* overlapped) const = 0;
    virtual BOOL deviceIoControl(HANDLE file, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                                 OVERLAPPED* overlapped) const = 0;
    // CancelIoEx of one request.
    virtual BOOL cancelIo(HANDLE file, OVERLAPPED* overlapped) const = 0;
    // CreateEventW of an unnamed auto-reset event, not signalled, for a
    // request on the file.
    virtual HANDLE createEvent(HANDLE file) const = 0;
    // WaitForSingleObject on a request's event.
    virtual DWORD waitFor(HANDLE event, DWORD milliseconds) const = 0;
    virtual BOOL closeHandle(HANDLE file) const = 0;
};

// Windows' own calls.
const UsbPrintCalls& systemUsbPrintCalls();

// The USB printer class driven through the given calls.
class Win32UsbDriver final : public UsbDriver {
public:
    constexpr explicit Win32UsbDriver(const UsbPrintCalls& calls) : calls_(calls) {}
    explicit Win32UsbDriver(const UsbPrintCalls&& calls) = delete;

    // Device paths as SetupAPI reports them, in its order; the path is the
    // identifier too (it carries the ids and the serial number).
    std::optional<std::vector<UsbPrinterNode>> listPrinters() const override;
    std::unique_ptr<UsbDevice> open(const std::string& devicePath, UsbAccess access) const override;

private:
    const UsbPrintCalls& calls_;
};

}  // namespace mk::platform
