#pragma once
// A fake USB bus for tests: printers (and other devices) that the library's
// own system driver finds and opens, with the system beneath it faked (on
// Linux a sysfs tree in a private temporary folder, on Windows the SetupAPI
// and file calls of the USB printer class), and that behave at the transfer
// level the way a printer does: each transfer ends done, timed out (with the
// bytes moved so far), refused (a stalled endpoint) or with the printer gone;
// a printer's answers wait in the device until the host reads them, whatever
// opens and closes happen in between. While a FakeUsbBus lives it is the
// driver beneath the library (mk::platform::ScopedUsbDriver); create one per
// test.
//
//   mk::test::FakeUsbBus bus;
//   mk::test::FakeUsbDevice& printer = bus.plugPrinter("ABC123");
//   printer.answer("RP");                         // the host's next read gets "RP"
//   printer.setStatusReplies({4, 4, 0});          // status requests see 4, 4, then 0
//   ... MkPrinter_Connect / writeUsb / readUsb ...
//   EXPECT_EQ(printer.received(), expectedJob);   // every byte the host wrote
//   EXPECT_EQ(printer.writes().size(), 3u);       // one entry per write transfer
//
// Waits the library makes on its own (the write stall limit, the status
// pauses) are shortened with mk::ScopedCommTiming (comm/comm_timing.h).
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/usb_driver.h"

namespace mk::test {

class FakeUsbBus;

// One device on the fake bus. Owned by its bus; the reference plug() returns
// stays valid while the bus lives.
class FakeUsbDevice {
public:
    FakeUsbDevice(const FakeUsbDevice&) = delete;
    FakeUsbDevice& operator=(const FakeUsbDevice&) = delete;

    // What the library opens: <bus>/dev/bus/usb/BBB/DDD on Linux, the
    // interface's device path (\\?\usb#vid_..&pid_..#<serial>#{class}) on
    // Windows.
    const std::string& devicePath() const { return devicePath_; }

    // What the host wrote: the bytes each write transfer moved, in order
    // (transfers that moved nothing are left out); received() joins them.
    std::vector<std::string> writes() const;
    std::string received() const;
    // Waits until at least `bytes` have arrived, at most `timeout`.
    bool waitForReceived(size_t bytes, std::chrono::milliseconds timeout) const;

    // Queues bytes for the host to read. One read takes one whole answer; a
    // read shorter than the answer gets its first bytes and loses the rest.
    void answer(std::string_view bytes);
    int reads() const;  // read transfers the host started
    // Reads that take an answer end by their time-out, having moved it, as
    // they do for an answer of whole packets (no short packet ends it).
    void endAnswersByTimeOut();

    // Replies to the status request: each request from now on takes the next
    // one, the last repeats; nullopt makes the request fail. Until set,
    // every request gets 0.
    void setStatusReplies(std::vector<std::optional<uint8_t>> replies);
    int statusRequests() const;  // all requests, since the device was plugged

    // The access every open asked for, in order, and how many are open now.
    std::vector<platform::UsbAccess> opens() const;
    int openNow() const;

    // Misbehaviour on purpose.
    void refuseOpen(bool refuse);          // another program holds the printer
    void stopTaking();                     // takes nothing more (a write times out)...
    void takeOnly(size_t bytes);           // ...or only this many more bytes...
    void resumeTaking();                   // ...until this
    void refuseAfter(size_t bytes);        // stalls its endpoint once this many bytes in all arrived
    void cutWrite(size_t index, size_t bytes);  // the index-th write transfer (from 0) ends done with only `bytes` moved
    // Every transfer from now on ends at once with this outcome, moving
    // nothing; nullopt ends that.
    void failTransfers(std::optional<platform::UsbOutcome> outcome);
    void unplug();  // gone: opens fail, transfers (also one under way) end Gone

private:
    friend class FakeUsbBus;
    friend class FakeUsbHandle;
    explicit FakeUsbDevice(std::string devicePath) : devicePath_(std::move(devicePath)) {}

    std::unique_ptr<platform::UsbDevice> open(platform::UsbAccess access);
    // A transfer also ends, timed out, once *cancelled (read under the
    // device's lock) is true and cancelWaits() was called.
    platform::UsbTransfer write(const void* data, size_t size, std::chrono::milliseconds timeout,
                                const bool* cancelled = nullptr);
    platform::UsbTransfer read(void* buffer, size_t size, std::chrono::milliseconds timeout,
                               const bool* cancelled = nullptr);
    std::optional<uint8_t> status();
    void closed();
    // Sets *flag under the device's lock and wakes the transfers.
    void cancel(bool* flag);

    std::string devicePath_;
    std::filesystem::path sysfsEntry_;  // removed when unplugged

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> writes_;
    size_t receivedBytes_ = 0;
    size_t writeTransfers_ = 0;
    std::deque<std::string> answers_;
    int reads_ = 0;
    bool answersEndByTimeOut_ = false;
    std::vector<std::optional<uint8_t>> statusReplies_{std::optional<uint8_t>(0)};
    size_t nextReply_ = 0;
    int statusRequests_ = 0;
    std::vector<platform::UsbAccess> opens_;
    int openNow_ = 0;
    bool refuseOpen_ = false;
    std::optional<size_t> takeBudget_;  // bytes it takes before it stops; nullopt: no limit
    std::optional<size_t> refuseAt_;
    std::optional<std::pair<size_t, size_t>> cut_;
    std::optional<platform::UsbOutcome> failure_;
    bool gone_ = false;
};

// The seam's open printer, as the fake hands it to the library.
class FakeUsbHandle final : public platform::UsbDevice {
public:
    explicit FakeUsbHandle(FakeUsbDevice& device) : device_(device) {}
    ~FakeUsbHandle() override { device_.closed(); }
    platform::UsbTransfer write(const void* data, size_t size, std::chrono::milliseconds timeout) override {
        return device_.write(data, size, timeout);
    }
    platform::UsbTransfer read(void* buffer, size_t size, std::chrono::milliseconds timeout) override {
        return device_.read(buffer, size, timeout);
    }
    std::optional<uint8_t> portStatus() override { return device_.status(); }

private:
    FakeUsbDevice& device_;
};

struct FakeUsbAddress {
    unsigned bus;
    unsigned device;
};

class FakeUsbBus {
public:
    FakeUsbBus();
    ~FakeUsbBus();
    FakeUsbBus(const FakeUsbBus&) = delete;
    FakeUsbBus& operator=(const FakeUsbBus&) = delete;

    // A supported printer (vendor 9f3c, product 41a7 unless given) at the
    // next free address of bus 1.
    FakeUsbDevice& plugPrinter(const std::string& serial, std::string_view vendorId = "9f3c",
                               std::string_view productId = "41a7");
    // Any device with a printer-class interface. Ids as the system spells
    // them (four hex digits); a serial of nullopt: the device has none; an
    // address of nullopt takes the next free one on bus 1.
    FakeUsbDevice& plug(std::string_view vendorId, std::string_view productId, std::optional<std::string> serial,
                        std::optional<FakeUsbAddress> address = std::nullopt);
    // A printer-class device that goes away while the bus is listed.
    void addVanishingDevice();
    // A device with the given ids whose only interface is of another class.
    void addOtherDevice(std::string_view vendorId, std::string_view productId);
    // The bus cannot be listed at all from now on.
    void breakDevicesFolder();
    // A device path as the system spells them that no device has.
    std::string absentDevicePath() const;

#ifndef _WIN32
    const std::filesystem::path& sysfsRoot() const;
    const std::filesystem::path& devRoot() const;
#endif

private:
    FakeUsbDevice& add(std::unique_ptr<FakeUsbDevice> device);

    class System;  // the faked system beneath the library's driver
    std::unique_ptr<System> system_;
    unsigned nextAddress_ = 2;  // 1 is the root hub
    std::vector<std::unique_ptr<FakeUsbDevice>> devices_;
    std::unique_ptr<platform::ScopedUsbDriver> installed_;
};

}  // namespace mk::test
