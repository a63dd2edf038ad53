#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "platform/linux/libusb_calls.h"

namespace {

using mk::platform::LibusbCalls;
using mk::platform::LibusbDriver;
using mk::platform::UsbAccess;
using mk::platform::UsbOutcome;

struct Setting {
    uint8_t interfaceClass;
    uint8_t number;
    uint8_t alternate;
    std::vector<uint8_t> bulkEndpoints;  // addresses; 0x80 and up are IN
};

// One device behind the driver: its descriptors as given, every call it
// sees written down, transfers answered by the test.
class FakeLibusb final : public LibusbCalls {
public:
    explicit FakeLibusb(std::vector<Setting> settings) : settings_(std::move(settings)) {
        for (const Setting& s : settings_) {
            std::vector<libusb_endpoint_descriptor> endpoints;
            for (uint8_t address : s.bulkEndpoints) {
                libusb_endpoint_descriptor e{};
                e.bEndpointAddress = address;
                e.bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
                e.wMaxPacketSize = kPacket;
                endpoints.push_back(e);
            }
            endpoints_.push_back(std::move(endpoints));
        }
        for (size_t i = 0; i < settings_.size(); ++i) {
            libusb_interface_descriptor d{};
            d.bInterfaceClass = settings_[i].interfaceClass;
            d.bInterfaceNumber = settings_[i].number;
            d.bAlternateSetting = settings_[i].alternate;
            d.bNumEndpoints = static_cast<uint8_t>(endpoints_[i].size());
            d.endpoint = endpoints_[i].data();
            descriptors_.push_back(d);
        }
        // Settings of one interface are given next to each other.
        for (size_t i = 0; i < descriptors_.size();) {
            size_t n = 1;
            while (i + n < descriptors_.size() && settings_[i + n].number == settings_[i].number) ++n;
            interfaces_.push_back({&descriptors_[i], static_cast<int>(n)});
            i += n;
        }
        config_.bNumInterfaces = static_cast<uint8_t>(interfaces_.size());
        config_.interface = interfaces_.data();
    }
    FakeLibusb(const FakeLibusb&) = delete;  // its descriptors point into it
    FakeLibusb& operator=(const FakeLibusb&) = delete;

    static constexpr uint16_t kPacket = 64;
    bool nodeOpens = true;
    mutable int driverActive = 0;
    bool nodeInUse = false;
    int claimResult = LIBUSB_SUCCESS;
    int settingResult = LIBUSB_SUCCESS;
    // As the kernel does: detaching and attaching usblp change driverActive,
    // an interface one handle claimed is busy for the others and for usblp.
    bool kernelLike = false;
    mutable libusb_device_handle* claimedBy = nullptr;
    std::function<void()> onRelease;  // runs after a release took effect
    mutable std::vector<unsigned> timeouts;  // of the bulk transfers
    // What the device does with one bulk transfer: its result and bytes moved.
    std::function<int(unsigned char endpoint, unsigned char* data, int length, int* moved)> bulk;
    std::function<int(unsigned char* data, uint16_t length)> control;
    mutable std::vector<std::string> calls;
    mutable std::atomic<int> nodesOpen = 0;
    mutable std::atomic<int> contextsOpen = 0;

    int openNode(const std::string&) const override { return nodeOpens ? (++nodesOpen, ++lastFd_) : -1; }
    void closeNode(int) const override { --nodesOpen; }
    int init(libusb_context** context) const override {
        ++contextsOpen;
        *context = reinterpret_cast<libusb_context*>(const_cast<FakeLibusb*>(this));
        return LIBUSB_SUCCESS;
    }
    void exit(libusb_context*) const override { --contextsOpen; }
    int wrapSysDevice(libusb_context*, int fd, libusb_device_handle** handle) const override {
        *handle = reinterpret_cast<libusb_device_handle*>(static_cast<uintptr_t>(0x1000 + fd));
        return LIBUSB_SUCCESS;
    }
    int getActiveConfigDescriptor(libusb_device_handle*, libusb_config_descriptor** config) const override {
        *config = const_cast<libusb_config_descriptor*>(&config_);
        return LIBUSB_SUCCESS;
    }
    void freeConfigDescriptor(libusb_config_descriptor*) const override {}
    int kernelDriverActive(libusb_device_handle*, int) const override { return driverActive; }
    bool kernelDriverNodeInUse(const std::string&, int) const override { return nodeInUse; }
    int detachKernelDriver(libusb_device_handle*, int i) const override {
        if (kernelLike) driverActive = 0;
        return log("detach", i);
    }
    int attachKernelDriver(libusb_device_handle*, int i) const override {
        log("attach", i);
        if (!kernelLike) return LIBUSB_SUCCESS;
        if (claimedBy != nullptr) return LIBUSB_ERROR_BUSY;
        driverActive = 1;
        return LIBUSB_SUCCESS;
    }
    int claimInterface(libusb_device_handle* handle, int i) const override {
        log("claim", i);
        if (!kernelLike) return claimResult;
        if (driverActive == 1 || (claimedBy != nullptr && claimedBy != handle)) return LIBUSB_ERROR_BUSY;
        claimedBy = handle;
        return LIBUSB_SUCCESS;
    }
    int releaseInterface(libusb_device_handle* handle, int i) const override {
        log("release", i);
        if (claimedBy == handle) claimedBy = nullptr;
        if (onRelease) onRelease();
        return LIBUSB_SUCCESS;
    }
    int setInterfaceAltSetting(libusb_device_handle*, int i, int a) const override {
        log("setting " + std::to_string(a) + " of", i);
        return settingResult;
    }
    int bulkTransfer(libusb_device_handle*, unsigned char endpoint, unsigned char* data, int length, int* moved,
                     unsigned timeoutMs) const override {
        timeouts.push_back(timeoutMs);
        return bulk(endpoint, data, length, moved);
    }
    int controlTransfer(libusb_device_handle*, uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                        unsigned char* data, uint16_t length, unsigned timeoutMs) const override {
        log("control " + std::to_string(type) + " " + std::to_string(request) + " " + std::to_string(value) + " " +
                std::to_string(length) + (timeoutMs <= 1000 ? "" : " slow") + " to",
            index);
        return control(data, length);
    }
    void close(libusb_device_handle*) const override { log("close", 0); }

private:
    int log(const std::string& what, int interface) const {
        const std::lock_guard lock(mutex_);
        calls.push_back(what + " " + std::to_string(interface));
        return LIBUSB_SUCCESS;
    }

    mutable std::mutex mutex_;
    mutable std::atomic<int> lastFd_ = 6;
    std::vector<Setting> settings_;
    std::vector<std::vector<libusb_endpoint_descriptor>> endpoints_;
    std::vector<libusb_interface_descriptor> descriptors_;
    std::vector<libusb_interface> interfaces_;
    libusb_config_descriptor config_{};
};

// A keyboard's interface first, then the printer's: a one-way setting 0 and
// a two-way setting 1.
FakeLibusb printerWithTwoSettings() {
    return FakeLibusb({{3, 0, 0, {0x81}}, {7, 1, 0, {0x01}}, {7, 1, 1, {0x01, 0x82}}});
}

TEST(LibusbDriver, TakesThePrintersTwoWaySettingAndHandsTheKernelDriverBackAsItFoundIt) {
    struct Case {
        int driverActive;
        bool nodeInUse;
        int claimResult;
        int settingResult;
        bool opens;
        std::vector<std::string> calls;  // until the device is closed again
    };
    const std::vector<Case> cases = {
        {0, false, LIBUSB_SUCCESS, LIBUSB_SUCCESS, true, {"claim 1", "setting 1 of 1", "release 1", "close 0"}},
        {1, false, LIBUSB_SUCCESS, LIBUSB_SUCCESS, true,
         {"detach 1", "claim 1", "setting 1 of 1", "release 1", "attach 1", "close 0"}},
        {1, true, LIBUSB_SUCCESS, LIBUSB_SUCCESS, false, {"close 0"}},  // a program has usblp's node open
        {1, false, LIBUSB_ERROR_BUSY, LIBUSB_SUCCESS, false, {"detach 1", "claim 1", "attach 1", "close 0"}},
        {0, false, LIBUSB_ERROR_BUSY, LIBUSB_SUCCESS, false, {"claim 1", "close 0"}},
        {1, false, LIBUSB_SUCCESS, LIBUSB_ERROR_IO, false,
         {"detach 1", "claim 1", "setting 1 of 1", "release 1", "attach 1", "close 0"}},
    };
    for (const Case& c : cases) {
        FakeLibusb fake = printerWithTwoSettings();
        fake.driverActive = c.driverActive;
        fake.nodeInUse = c.nodeInUse;
        fake.claimResult = c.claimResult;
        fake.settingResult = c.settingResult;
        const LibusbDriver driver(fake);
        EXPECT_EQ(driver.open("/dev/bus/usb/001/002", UsbAccess::ReadWrite) != nullptr, c.opens);
        EXPECT_EQ(fake.calls, c.calls) << c.driverActive << c.nodeInUse << c.claimResult;
        EXPECT_EQ(fake.nodesOpen, 0);
        EXPECT_EQ(fake.contextsOpen, 0);
    }
    FakeLibusb gone = printerWithTwoSettings();
    gone.nodeOpens = false;
    EXPECT_EQ(LibusbDriver(gone).open("/dev/bus/usb/001/002", UsbAccess::ReadWrite), nullptr);
}

TEST(LibusbDriver, ReadsWholePacketsAndKeepsWhatFitsTheCallersBuffer) {
    FakeLibusb fake = printerWithTwoSettings();
    const std::string answer(100, 'a');
    std::vector<int> asked;
    fake.bulk = [&](unsigned char endpoint, unsigned char* data, int length, int* moved) {
        EXPECT_EQ(endpoint, 0x82);
        asked.push_back(length);
        // A packet that does not fit what was asked for overflows the transfer.
        if (length % FakeLibusb::kPacket != 0) return LIBUSB_ERROR_OVERFLOW;
        *moved = std::min<int>(length, static_cast<int>(answer.size()));
        std::memcpy(data, answer.data(), static_cast<size_t>(*moved));
        return LIBUSB_SUCCESS;
    };
    auto device = LibusbDriver(fake).open("/dev/bus/usb/001/002", UsbAccess::ReadOnly);
    ASSERT_NE(device, nullptr);
    char buffer[11] = {};
    const auto transfer = device->read(buffer, 10, std::chrono::milliseconds(100));
    EXPECT_EQ(transfer.outcome, UsbOutcome::Done);
    EXPECT_EQ(transfer.moved, 10u);
    EXPECT_EQ(std::string(buffer), std::string(10, 'a'));
    EXPECT_EQ(asked, std::vector<int>{64});
}

TEST(LibusbDriver, TellsHowEachTransferEndedWithTheBytesItMoved) {
    struct Case {
        int result;
        int moved;
        UsbOutcome outcome;
    };
    const std::vector<Case> cases = {
        {LIBUSB_SUCCESS, 512, UsbOutcome::Done},        {LIBUSB_ERROR_TIMEOUT, 200, UsbOutcome::TimedOut},
        {LIBUSB_ERROR_TIMEOUT, 0, UsbOutcome::TimedOut}, {LIBUSB_ERROR_PIPE, 64, UsbOutcome::Refused},
        {LIBUSB_ERROR_NO_DEVICE, 0, UsbOutcome::Gone},   {LIBUSB_ERROR_IO, 0, UsbOutcome::Failed},
        {LIBUSB_ERROR_INTERRUPTED, 0, UsbOutcome::WaitFailed},
    };
    for (const Case& c : cases) {
        FakeLibusb fake = printerWithTwoSettings();
        fake.bulk = [&](unsigned char endpoint, unsigned char*, int, int* moved) {
            EXPECT_EQ(endpoint, 0x01);
            *moved = c.moved;
            return c.result;
        };
        auto device = LibusbDriver(fake).open("/dev/bus/usb/001/002", UsbAccess::ReadWrite);
        ASSERT_NE(device, nullptr);
        const std::string chunk(512, 'x');
        const auto transfer = device->write(chunk.data(), chunk.size(), std::chrono::milliseconds(100));
        EXPECT_EQ(transfer.outcome, c.outcome) << c.result;
        EXPECT_EQ(transfer.moved, static_cast<size_t>(c.moved)) << c.result;
    }
}

TEST(LibusbDriver, AStatusAnswerIsOneByteWithinASecond) {
    struct Case {
        int result;  // what the request returns: bytes moved or a failure
        std::optional<uint8_t> status;
    };
    for (const Case& c : {Case{1, 0x18}, Case{0, std::nullopt}, Case{LIBUSB_ERROR_TIMEOUT, std::nullopt},
                          Case{LIBUSB_ERROR_NO_DEVICE, std::nullopt}}) {
        FakeLibusb fake = printerWithTwoSettings();
        fake.control = [&](unsigned char* data, uint16_t) {
            data[0] = 0x18;
            return c.result;
        };
        auto device = LibusbDriver(fake).open("/dev/bus/usb/001/002", UsbAccess::ReadWrite);
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(device->portStatus(), c.status) << c.result;
        EXPECT_EQ(fake.calls.back(), "control 161 1 0 1 to 1");  // GET_PORT_STATUS of interface 1
    }
}

TEST(LibusbDriver, TakesTheFirstPrinterInterfaceAndItsFirstBulkInEndpoint) {
    FakeLibusb fake({{7, 0, 0, {0x01, 0x82, 0x83}}, {7, 1, 0, {0x04, 0x85}}});
    std::vector<unsigned char> endpoints;
    fake.bulk = [&](unsigned char endpoint, unsigned char*, int, int* moved) {
        endpoints.push_back(endpoint);
        *moved = 0;
        return LIBUSB_ERROR_TIMEOUT;
    };
    fake.control = [](unsigned char* data, uint16_t) {
        data[0] = 0;
        return 1;
    };
    auto device = LibusbDriver(fake).open("/dev/bus/usb/001/002", UsbAccess::ReadWrite);
    ASSERT_NE(device, nullptr);
    char buffer[8];
    device->write("x", 1, std::chrono::milliseconds(100));
    device->read(buffer, sizeof buffer, std::chrono::milliseconds(100));
    device->portStatus();
    EXPECT_EQ(endpoints, (std::vector<unsigned char>{0x01, 0x82}));
    EXPECT_EQ(fake.calls.front(), "claim 0");
    EXPECT_EQ(fake.calls.back(), "control 161 1 0 1 to 0");
}

TEST(LibusbDriver, ATimeOutOfZeroOrLessStillBoundsTheTransfer) {
    // libusb takes a time-out of 0 as no limit at all.
    FakeLibusb fake = printerWithTwoSettings();
    fake.bulk = [](unsigned char, unsigned char*, int, int* moved) {
        *moved = 0;
        return LIBUSB_ERROR_TIMEOUT;
    };
    auto device = LibusbDriver(fake).open("/dev/bus/usb/001/002", UsbAccess::ReadWrite);
    ASSERT_NE(device, nullptr);
    char buffer[8];
    for (const auto timeout : {std::chrono::milliseconds(0), std::chrono::milliseconds(-5)}) {
        EXPECT_EQ(device->write("x", 1, timeout).outcome, UsbOutcome::TimedOut);
        EXPECT_EQ(device->read(buffer, sizeof buffer, timeout).outcome, UsbOutcome::TimedOut);
    }
    EXPECT_EQ(fake.timeouts, (std::vector<unsigned>{1, 1, 1, 1}));
}

TEST(LibusbDriver, UsblpIsAttachedAgainWhenTheProcesssLastHandleLetsGoWhicheverDetachedIt) {
    const std::string path = "/dev/bus/usb/001/002";
    FakeLibusb fake = printerWithTwoSettings();
    fake.kernelLike = true;
    fake.driverActive = 1;
    const LibusbDriver driver(fake);
    {
        auto a = driver.open(path, UsbAccess::ReadWrite);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(driver.open(path, UsbAccess::ReadWrite), nullptr);  // the interface is a's
    }
    EXPECT_EQ(fake.driverActive, 1);

    // Another thread opens the printer in the instant between a's release of
    // the interface and its handing usblp back.
    std::unique_ptr<mk::platform::UsbDevice> b;
    std::future<bool> bOpened;
    bool armed = true;
    {
        auto a = driver.open(path, UsbAccess::ReadWrite);
        ASSERT_NE(a, nullptr);
        fake.onRelease = [&] {
            if (!armed) return;
            armed = false;
            bOpened = std::async(std::launch::async, [&] {
                b = driver.open(path, UsbAccess::ReadWrite);
                return b != nullptr;
            });
            bOpened.wait_for(std::chrono::milliseconds(100));  // done by now unless it waits for a
        };
    }
    ASSERT_TRUE(bOpened.valid());
    EXPECT_TRUE(bOpened.get());
    b.reset();
    EXPECT_EQ(fake.driverActive, 1);
    EXPECT_EQ(fake.claimedBy, nullptr);
}

}  // namespace
