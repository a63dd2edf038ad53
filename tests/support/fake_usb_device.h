#pragma once
// A fake USB bus for tests: printers (and other devices) that the library's
// real usblp scan finds in a sysfs tree built in a private temporary folder,
// each with a device node that a SOCK_SEQPACKET socket pair stands in for, so
// that every write the library makes arrives as one packet and reads, time-
// outs and stalls happen for real. While a FakeUsbBus lives it is the driver
// beneath the library (mk::platform::ScopedUsbDriver); create one per test.
//
//   mk::test::FakeUsbBus bus;
//   mk::test::FakeUsbDevice& printer = bus.plugPrinter("ABC123");
//   printer.answer("RP");                         // the host's next read gets "RP"
//   printer.setStatusReplies({4, 4, 0});          // status requests see 4, 4, then 0
//   ... MkPrinter_Connect / writeUsb / readUsb ...
//   EXPECT_EQ(printer.received(), expectedJob);   // every byte the host wrote
//   EXPECT_EQ(printer.writes().size(), 3u);       // one entry per write()
//
// Waits the library makes on its own (the write stall limit, the status
// pauses) are shortened with mk::ScopedCommTiming (comm/comm_timing.h).
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/usb_driver.h"

namespace mk::test {

class FakeUsbBus;

// One device on the fake bus. Owned by its bus; the reference plug() returns
// stays valid while the bus lives.
class FakeUsbDevice {
public:
    ~FakeUsbDevice();
    FakeUsbDevice(const FakeUsbDevice&) = delete;
    FakeUsbDevice& operator=(const FakeUsbDevice&) = delete;

    // The node the library opens: <bus>/dev/usb/lpN.
    const std::string& devicePath() const { return devicePath_; }

    // What the host wrote: one entry per write() that reached the device, in
    // order; received() joins them.
    std::vector<std::string> writes() const;
    std::string received() const;
    // Waits until at least `bytes` have arrived, at most `timeout`.
    bool waitForReceived(size_t bytes, std::chrono::milliseconds timeout) const;

    // Queues bytes for the host to read. One read takes one whole answer; a
    // read shorter than the answer gets its first bytes and loses the rest.
    void answer(std::string_view bytes);

    // Replies to the status request: each request from now on takes the next
    // one, the last repeats; nullopt makes the request fail as an ioctl the device
    // refuses. Until set, every request gets 0.
    void setStatusReplies(std::vector<std::optional<uint8_t>> replies);
    int statusRequests() const;  // all requests, since the device was plugged

    // The access every open asked for, in order.
    std::vector<platform::UsbAccess> opens() const;

    // Misbehaviour on purpose.
    void refuseOpen(bool refuse);              // opens fail with EBUSY
    void stopTaking();                         // nothing written is taken any more...
    void resumeTaking();                       // ...until this
    void cutWrite(size_t index, size_t bytes); // the index-th write (from 0) takes only `bytes`
    void failWrites(bool fail);                // every write fails with EIO

private:
    friend class FakeUsbBus;
    explicit FakeUsbDevice(std::string devicePath);

    bool owns(int fd) const;
    int open(platform::UsbAccess access);
    long write(int fd, const void* data, size_t size);
    std::optional<uint8_t> status();
    void takeWrites();
    void wake() const;

    std::string devicePath_;
    int hostEnd_ = -1;
    int deviceEnd_ = -1;
    int wakeFd_ = -1;
    dev_t hostDev_ = 0;
    ino_t hostIno_ = 0;

    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<std::string> writes_;
    size_t receivedBytes_ = 0;
    std::vector<std::optional<uint8_t>> statusReplies_{std::optional<uint8_t>(0)};
    size_t nextReply_ = 0;
    int statusRequests_ = 0;
    std::vector<platform::UsbAccess> opens_;
    bool refuseOpen_ = false;
    bool taking_ = true;
    bool failWrites_ = false;
    size_t writesMade_ = 0;
    std::optional<std::pair<size_t, size_t>> cut_;
    bool stopping_ = false;
    std::thread taker_;
};

class FakeUsbBus final : public platform::UsbDriver {
public:
    FakeUsbBus();
    ~FakeUsbBus() override;
    FakeUsbBus(const FakeUsbBus&) = delete;
    FakeUsbBus& operator=(const FakeUsbBus&) = delete;

    // A supported printer (vendor 9f3c, product 41a7 unless given), bound as
    // the next free lpN.
    FakeUsbDevice& plugPrinter(const std::string& serial, std::string_view vendorId = "9f3c",
                               std::string_view productId = "41a7");
    // Any device bound by the printer driver. Ids as sysfs spells them (four
    // hex digits); a serial of nullopt leaves out the serial attribute; an
    // lp number of nullopt takes the next free one.
    FakeUsbDevice& plug(std::string_view vendorId, std::string_view productId, std::optional<std::string> serial,
                        std::optional<unsigned> lpNumber = std::nullopt);
    // An lpN entry whose device link leads nowhere (a device going away).
    void addDanglingEntry(unsigned lpNumber);
    // An entry of another driver of the class (hiddevN and the like) whose
    // device has the given ids.
    void addOtherEntry(const std::string& name, std::string_view vendorId, std::string_view productId);
    // Makes the class folder unreadable, so the bus cannot be listed at all.
    void breakClassFolder();

    const std::filesystem::path& sysfsRoot() const { return sysfsRoot_; }
    const std::filesystem::path& devRoot() const { return devRoot_; }

    std::optional<std::vector<platform::UsbPrinterNode>> listPrinters() const override;
    int openDevice(const std::string& devicePath, platform::UsbAccess access) const override;
    long writeSome(int fd, const void* data, size_t size) const override;
    std::optional<uint8_t> portStatus(int fd) const override;

private:
    std::filesystem::path makeUsbDevice(std::string_view vendorId, std::string_view productId,
                                        const std::optional<std::string>& serial);
    FakeUsbDevice* deviceOf(int fd) const;

    std::filesystem::path root_;
    std::filesystem::path sysfsRoot_;
    std::filesystem::path devRoot_;
    unsigned nextLp_ = 0;
    unsigned nextPort_ = 1;
    std::vector<std::unique_ptr<FakeUsbDevice>> devices_;
    std::unique_ptr<platform::ScopedUsbDriver> installed_;
};

}  // namespace mk::test
