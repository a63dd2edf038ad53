// The fake bus on Windows: the SetupAPI and file calls of the USB printer
// class as its driver answers them, beneath the library's own Win32 driver.
// Interfaces are listed in the order they were plugged; a request on an open
// device is pending until the printer has ended its transfer, and a
// cancelled one ends with the bytes it moved.
#include <gtest/gtest.h>

#include <atomic>
#include <cwchar>
#include <list>
#include <mutex>
#include <set>
#include <thread>

#include "platform/win32/usb_print_calls.h"
#include "platform/win32/wide_path.h"
#include "support/fake_usb_device.h"

namespace mk::test {
namespace {

using platform::UsbOutcome;
using platform::UsbTransfer;

// NTSTATUS values a request ends with; GetOverlappedResult turns them into
// the last errors the class driver gives.
constexpr ULONG_PTR kStatusSuccess = 0;
constexpr ULONG_PTR kStatusPending = 0x103;
constexpr ULONG_PTR kStatusCancelled = 0xC0000120;          // ERROR_OPERATION_ABORTED
constexpr ULONG_PTR kStatusIoTimeout = 0xC00000B5;          // ERROR_SEM_TIMEOUT
constexpr ULONG_PTR kStatusUnsuccessful = 0xC0000001;       // ERROR_GEN_FAILURE: a stalled endpoint
constexpr ULONG_PTR kStatusDeviceNotConnected = 0xC000009D; // ERROR_DEVICE_NOT_CONNECTED
constexpr ULONG_PTR kStatusIoDeviceError = 0xC0000185;      // ERROR_IO_DEVICE

// No transfer of the fake lasts longer, whatever the host does.
constexpr auto kTransferLimit = std::chrono::seconds(60);

constexpr const char* kClassSuffix = "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

ULONG_PTR statusOf(UsbOutcome outcome, bool cancelled) {
    switch (outcome) {
    case UsbOutcome::Done: return kStatusSuccess;
    case UsbOutcome::TimedOut: return cancelled ? kStatusCancelled : kStatusIoTimeout;
    case UsbOutcome::Refused: return kStatusUnsuccessful;
    case UsbOutcome::Gone: return kStatusDeviceNotConnected;
    default: return kStatusIoDeviceError;
    }
}

void complete(OVERLAPPED* overlapped, ULONG_PTR status, size_t moved) {
    overlapped->InternalHigh = moved;
    std::atomic_thread_fence(std::memory_order_release);
    overlapped->Internal = status;
    SetEvent(overlapped->hEvent);
}

std::string interfacePath(std::string_view vendorId, std::string_view productId, const std::string& instance) {
    return "\\\\?\\usb#vid_" + std::string(vendorId) + "&pid_" + std::string(productId) + "#" + instance +
           kClassSuffix;
}

}  // namespace

class FakeUsbBus::System final : public platform::UsbPrintCalls {
public:
    struct Entry {
        std::wstring path;
        FakeUsbDevice* device;  // null: a device leaving as it is listed
    };

    System() : driver_(*this) {}

    ~System() override {
        std::lock_guard lock(mutex_);
        if (!sets_.empty()) ADD_FAILURE() << sets_.size() << " device information set(s) not destroyed";
        if (!files_.empty()) ADD_FAILURE() << files_.size() << " device handle(s) not closed";
    }

    const platform::UsbDriver& driver() const { return driver_; }

    void addEntry(const std::string& path, FakeUsbDevice* device) {
        std::lock_guard lock(mutex_);
        entries_.push_back({platform::widePath(path.c_str()), device});
    }

    void breakListing() {
        std::lock_guard lock(mutex_);
        broken_ = true;
    }

    // ---- SetupAPI ----------------------------------------------------------

    HDEVINFO getClassDevs(const GUID& interfaceClass, DWORD flags) const override {
        std::lock_guard lock(mutex_);
        if (broken_) {
            SetLastError(ERROR_INVALID_DATA);
            return INVALID_HANDLE_VALUE;
        }
        auto set = std::make_unique<std::vector<Entry>>();
        const bool printers = IsEqualGUID(interfaceClass, platform::kUsbPrinterInterfaceClass) &&
                              (flags & DIGCF_DEVICEINTERFACE) != 0;
        for (const Entry& entry : entries_) {
            if (!printers) break;
            if ((flags & DIGCF_PRESENT) != 0 && entry.device != nullptr && !attached(*entry.device)) continue;
            set->push_back(entry);
        }
        sets_.insert(set.get());
        return reinterpret_cast<HDEVINFO>(set.release());
    }

    BOOL enumDeviceInterfaces(HDEVINFO handle, const GUID& interfaceClass, DWORD index,
                              SP_DEVICE_INTERFACE_DATA* interface) const override {
        const std::vector<Entry>* set = findSet(handle);
        if (set == nullptr) return fail(ERROR_INVALID_HANDLE);
        if (interface == nullptr || interface->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
            return fail(ERROR_INVALID_USER_BUFFER);
        }
        if (index >= set->size()) return fail(ERROR_NO_MORE_ITEMS);
        interface->InterfaceClassGuid = interfaceClass;
        interface->Flags = SPINT_ACTIVE;
        interface->Reserved = index + 1;
        return TRUE;
    }

    BOOL getDeviceInterfaceDetail(HDEVINFO handle, SP_DEVICE_INTERFACE_DATA* interface,
                                  SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD size,
                                  DWORD* required) const override {
        const std::vector<Entry>* set = findSet(handle);
        if (set == nullptr) return fail(ERROR_INVALID_HANDLE);
        if (interface == nullptr || interface->Reserved == 0 || interface->Reserved > set->size()) {
            return fail(ERROR_INVALID_PARAMETER);
        }
        const Entry& entry = (*set)[interface->Reserved - 1];
        const DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                                (entry.path.size() + 1) * sizeof(wchar_t));
        if (detail == nullptr || size < needed) {
            if (required != nullptr) *required = needed;
            return fail(detail == nullptr && size != 0 ? ERROR_INVALID_USER_BUFFER : ERROR_INSUFFICIENT_BUFFER);
        }
        if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return fail(ERROR_INVALID_USER_BUFFER);
        if (entry.device == nullptr) return fail(ERROR_NO_SUCH_DEVINST);
        std::wmemcpy(detail->DevicePath, entry.path.c_str(), entry.path.size() + 1);
        if (required != nullptr) *required = needed;
        return TRUE;
    }

    BOOL destroyDeviceInfoList(HDEVINFO handle) const override {
        std::lock_guard lock(mutex_);
        auto* set = reinterpret_cast<std::vector<Entry>*>(handle);
        if (sets_.erase(set) == 0) return fail(ERROR_INVALID_HANDLE);
        delete set;
        return TRUE;
    }

    // ---- the device -----------------------------------------------------------

    HANDLE createFile(const wchar_t* path, DWORD access, DWORD shareMode, DWORD flags) const override {
        (void)shareMode;
        if ((flags & FILE_FLAG_OVERLAPPED) == 0) {
            ADD_FAILURE() << "a printer opened for blocking transfers cannot be given up on";
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        std::lock_guard lock(mutex_);
        // Devices of one serial number share a path: the one plugged last is
        // the one opened.
        for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
            const Entry& entry = *it;
            if (entry.device == nullptr || _wcsicmp(entry.path.c_str(), path) != 0) continue;
            const bool canWrite = (access & GENERIC_WRITE) != 0;
            std::unique_ptr<platform::UsbDevice> opened =
                entry.device->open(canWrite ? platform::UsbAccess::ReadWrite : platform::UsbAccess::ReadOnly);
            if (!opened) {
                // Held by another program, or unplugged since it was listed.
                SetLastError(attached(*entry.device) ? ERROR_SHARING_VIOLATION : ERROR_FILE_NOT_FOUND);
                return INVALID_HANDLE_VALUE;
            }
            auto file = std::make_unique<File>(*entry.device, std::move(opened), canWrite);
            HANDLE handle = reinterpret_cast<HANDLE>(file.get());
            files_.insert(file.release());
            return handle;
        }
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }

    BOOL readFile(HANDLE handle, void* buffer, DWORD size, OVERLAPPED* overlapped) const override {
        return start(handle, overlapped, [=](FakeUsbDevice& device, const bool* cancelled) {
            return device.read(buffer, size, kTransferLimit, cancelled);
        });
    }

    BOOL writeFile(HANDLE handle, const void* data, DWORD size, OVERLAPPED* overlapped) const override {
        {
            std::lock_guard lock(mutex_);
            File* file = findFile(handle);
            if (file != nullptr && !file->canWrite) return fail(ERROR_ACCESS_DENIED);
        }
        return start(handle, overlapped, [=](FakeUsbDevice& device, const bool* cancelled) {
            return device.write(data, size, kTransferLimit, cancelled);
        });
    }

    BOOL deviceIoControl(HANDLE handle, DWORD code, void*, DWORD, void* out, DWORD outSize,
                         OVERLAPPED* overlapped) const override {
        std::lock_guard lock(mutex_);
        File* file = findFile(handle);
        if (file == nullptr || overlapped == nullptr) return fail(ERROR_INVALID_HANDLE);
        if (code != platform::kGetLptStatus || out == nullptr || outSize < 1) return fail(ERROR_INVALID_FUNCTION);
        const std::optional<uint8_t> status = file->opened->portStatus();
        if (!status) {
            complete(overlapped, kStatusUnsuccessful, 0);
            return fail(ERROR_GEN_FAILURE);
        }
        *static_cast<unsigned char*>(out) = *status;
        complete(overlapped, kStatusSuccess, 1);
        return TRUE;
    }

    BOOL cancelIo(HANDLE handle, OVERLAPPED* overlapped) const override {
        std::lock_guard lock(mutex_);
        File* file = findFile(handle);
        if (file == nullptr) return fail(ERROR_INVALID_HANDLE);
        for (Request& request : file->requests) {
            if (request.overlapped != overlapped || request.ended) continue;
            cancel(*file, request);
            return TRUE;
        }
        return fail(ERROR_NOT_FOUND);
    }

    HANDLE createEvent(HANDLE handle) const override {
        std::lock_guard lock(mutex_);
        File* file = findFile(handle);
        if (file != nullptr) {
            std::lock_guard deviceLock(file->device.mutex_);
            if (file->device.failure_ == UsbOutcome::NoWait) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            }
        }
        return CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }

    DWORD waitFor(HANDLE event, DWORD milliseconds) const override {
        {
            std::lock_guard lock(mutex_);
            if (failingWaits_.erase(event) > 0) {
                SetLastError(ERROR_INVALID_HANDLE);
                return WAIT_FAILED;
            }
        }
        return WaitForSingleObject(event, milliseconds);
    }

    BOOL closeHandle(HANDLE handle) const override {
        std::unique_lock lock(mutex_);
        File* file = findFile(handle);
        if (file == nullptr) return fail(ERROR_INVALID_HANDLE);
        files_.erase(file);
        // Closing a device cancels what is still under way on it.
        for (Request& request : file->requests) {
            if (!request.ended) cancel(*file, request);
        }
        lock.unlock();
        for (Request& request : file->requests) {
            if (request.worker.joinable()) request.worker.join();
        }
        delete file;
        return TRUE;
    }

private:
    struct Request {
        OVERLAPPED* overlapped;
        bool cancelled = false;       // read by the transfer under the device's lock
        std::atomic<bool> ended{false};
        std::thread worker;           // none for a request whose wait is made to fail
    };

    struct File {
        File(FakeUsbDevice& device, std::unique_ptr<platform::UsbDevice> opened, bool canWrite)
            : device(device), opened(std::move(opened)), canWrite(canWrite) {}
        FakeUsbDevice& device;
        std::unique_ptr<platform::UsbDevice> opened;  // closing it closes the device
        bool canWrite;
        std::list<Request> requests;
    };

    static BOOL fail(DWORD error) {
        SetLastError(error);
        return FALSE;
    }

    static bool attached(FakeUsbDevice& device) {
        std::lock_guard lock(device.mutex_);
        return !device.gone_;
    }

    const std::vector<Entry>* findSet(HDEVINFO handle) const {
        std::lock_guard lock(mutex_);
        auto* set = reinterpret_cast<std::vector<Entry>*>(handle);
        return sets_.count(set) > 0 ? set : nullptr;
    }

    File* findFile(HANDLE handle) const {
        auto* file = reinterpret_cast<File*>(handle);
        return files_.count(file) > 0 ? file : nullptr;
    }

    // Ends a request early: its transfer stops and reports what it moved.
    void cancel(File& file, Request& request) const {
        if (request.worker.joinable()) {
            file.device.cancel(&request.cancelled);
        } else {
            request.ended = true;
            complete(request.overlapped, kStatusCancelled, 0);
        }
    }

    // Starts one transfer on its own thread; the request is pending until the
    // transfer ends.
    template <typename Transfer>
    BOOL start(HANDLE handle, OVERLAPPED* overlapped, Transfer transfer) const {
        std::lock_guard lock(mutex_);
        File* file = findFile(handle);
        if (file == nullptr || overlapped == nullptr || overlapped->hEvent == nullptr) {
            return fail(ERROR_INVALID_PARAMETER);
        }
        file->requests.remove_if([](Request& request) {
            if (!request.ended) return false;
            if (request.worker.joinable()) request.worker.join();
            return true;
        });
        overlapped->Internal = kStatusPending;
        overlapped->InternalHigh = 0;
        ResetEvent(overlapped->hEvent);
        Request& request = file->requests.emplace_back();
        request.overlapped = overlapped;
        bool waitFails = false;
        {
            std::lock_guard deviceLock(file->device.mutex_);
            waitFails = file->device.failure_ == UsbOutcome::WaitFailed;
        }
        if (waitFails) {
            failingWaits_.insert(overlapped->hEvent);
        } else {
            FakeUsbDevice& device = file->device;
            request.worker = std::thread([&device, &request, transfer] {
                const UsbTransfer result = transfer(device, &request.cancelled);
                bool cancelled = false;
                {
                    std::lock_guard deviceLock(device.mutex_);
                    cancelled = request.cancelled;
                }
                request.ended = true;
                complete(request.overlapped, statusOf(result.outcome, cancelled), result.moved);
            });
        }
        return fail(ERROR_IO_PENDING);
    }

    platform::Win32UsbDriver driver_;
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    bool broken_ = false;
    mutable std::set<std::vector<Entry>*> sets_;
    mutable std::set<File*> files_;
    mutable std::set<HANDLE> failingWaits_;
};

FakeUsbBus::FakeUsbBus() : system_(std::make_unique<System>()) {
    installed_ = std::make_unique<platform::ScopedUsbDriver>(system_->driver());
}

FakeUsbBus::~FakeUsbBus() {
    installed_.reset();
    system_.reset();
    devices_.clear();
}

FakeUsbDevice& FakeUsbBus::plug(std::string_view vendorId, std::string_view productId,
                                std::optional<std::string> serial, std::optional<FakeUsbAddress> address) {
    const FakeUsbAddress at = address.value_or(FakeUsbAddress{1, nextAddress_++});
    // Without a serial number the system makes up an instance of its own,
    // from where the device is attached.
    const std::string instance = serial ? *serial : "6&1f2e3d4c&0&" + std::to_string(at.bus * 1000 + at.device);
    FakeUsbDevice& device =
        add(std::unique_ptr<FakeUsbDevice>(new FakeUsbDevice(interfacePath(vendorId, productId, instance))));
    system_->addEntry(device.devicePath(), &device);
    return device;
}

void FakeUsbBus::addVanishingDevice() {
    system_->addEntry(interfacePath("9f3c", "41a7", "GOING"), nullptr);
    ++nextAddress_;
}

void FakeUsbBus::addOtherDevice(std::string_view, std::string_view) {
    // Its interface is of another class: the printer class does not list it.
    ++nextAddress_;
}

void FakeUsbBus::breakDevicesFolder() { system_->breakListing(); }

std::string FakeUsbBus::absentDevicePath() const { return interfacePath("9f3c", "41a7", "ABSENT"); }

}  // namespace mk::test
