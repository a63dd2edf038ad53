#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/usbfs_calls.h"

namespace {

using namespace std::chrono_literals;
using mk::platform::InterfaceHolder;
using mk::platform::UsbAccess;
using mk::platform::UsbDeviceLook;
using mk::platform::UsbfsCalls;
using mk::platform::UsbfsDriver;
using mk::platform::UsbOutcome;

struct Setting {
    uint8_t interfaceClass;
    uint8_t number;
    uint8_t alternate;
    std::vector<uint8_t> bulkEndpoints;  // addresses; 0x80 and up are IN
};

constexpr uint16_t kPacket = 64;

// Raw descriptors as the kernel keeps them: the device's, then one
// configuration (value 1) with the given settings and their endpoints.
std::vector<uint8_t> descriptorsOf(const std::vector<Setting>& settings) {
    std::vector<uint8_t> d = {18, 1, 0, 2, 0, 0, 0, 64, 0x3c, 0x9f, 0xa7, 0x41, 0, 1, 1, 2, 3, 1};
    std::vector<uint8_t> config = {9, 2, 0, 0, 1, 1, 0, 0x80, 50};
    for (const Setting& s : settings) {
        config.insert(config.end(), {9, 4, s.number, s.alternate, static_cast<uint8_t>(s.bulkEndpoints.size()),
                                     s.interfaceClass, 1, 2, 0});
        for (uint8_t address : s.bulkEndpoints) config.insert(config.end(), {7, 5, address, 2, kPacket, 0, 0});
    }
    config[2] = static_cast<uint8_t>(config.size());
    config[3] = static_cast<uint8_t>(config.size() >> 8);
    d.insert(d.end(), config.begin(), config.end());
    return d;
}

// Devices behind the driver, by node path: their descriptors as given, every
// call they see written down, transfers answered by the test. Kernel-like
// devices keep usblp's binding and the claim as the kernel does: detaching
// and attaching usblp bind and unbind it, an interface one descriptor claimed
// is usbfs's for everyone else, and usblp cannot be attached to it then.
class FakeUsbfs final : public UsbfsCalls {
public:
    struct Device {
        std::vector<uint8_t> descriptors;
        int configuration = 1;
        // Given by the test where the device is not kernel-like.
        InterfaceHolder holder = InterfaceHolder::None;
        std::string driver;
        int claimResult = 0;
        int settingResult = 0;
        // Kernel-like state.
        bool kernelLike = false;
        bool usblpBound = false;
        int claimedBy = -1;
        int attaches = 0;
        int detaches = 0;
        int refusedAttaches = 0;
        bool holdAttach = false;  // an attach waits until released (5 s at most)
    };

    explicit FakeUsbfs(std::vector<Setting> settings) { add(kPath, std::move(settings)); }
    static constexpr const char* kPath = "/dev/bus/usb/001/002";

    Device& add(const std::string& path, std::vector<Setting> settings) {
        Device& device = devices_[path];
        device.descriptors = descriptorsOf(settings);
        return device;
    }
    Device& device(const std::string& path = kPath) { return devices_.at(path); }

    bool nodeOpens = true;
    std::function<void()> onRelease;  // runs after a release took effect
    mutable std::vector<unsigned> timeouts;  // of the bulk transfers
    // What the device does with one bulk transfer: its result and bytes moved.
    std::function<int(uint8_t endpoint, void* data, size_t length, size_t* moved)> bulk;
    std::function<int(void* data, uint16_t length)> control;
    mutable std::vector<std::string> calls;
    mutable int nodesOpened = 0;
    mutable int nodesOpen = 0;

    // Lets every held attach go on.
    void releaseAttaches() {
        const std::lock_guard lock(mutex_);
        for (auto& [path, device] : devices_) device.holdAttach = false;
        attachGate_.notify_all();
    }
    bool attachHeld() const {
        const std::lock_guard lock(mutex_);
        return attachesWaiting_ > 0;
    }

    std::optional<std::vector<mk::platform::UsbPrinterNode>> listPrinters(mk::platform::UsbSerialMemo&) const override {
        return std::vector<mk::platform::UsbPrinterNode>{};
    }
    std::optional<UsbDeviceLook> lookAt(const std::string& path) const override {
        const std::lock_guard lock(mutex_);
        const auto it = devices_.find(path);
        if (it == devices_.end()) return std::nullopt;
        return UsbDeviceLook{it->second.configuration, it->second.descriptors};
    }
    InterfaceHolder holderOf(const std::string& path, int) const override {
        const std::lock_guard lock(mutex_);
        const Device& d = devices_.at(path);
        if (!d.kernelLike) return d.holder;
        if (d.claimedBy >= 0) return InterfaceHolder::Other;
        return d.usblpBound ? InterfaceHolder::Usblp : InterfaceHolder::None;
    }
    int openNode(const std::string& path) const override {
        const std::lock_guard lock(mutex_);
        if (!nodeOpens) return -1;
        ++nodesOpened;
        ++nodesOpen;
        const int fd = ++lastFd_;
        paths_[fd] = path;
        return fd;
    }
    void closeNode(int fd) const override {
        const std::lock_guard lock(mutex_);
        --nodesOpen;
        paths_.erase(fd);
        calls.push_back("close");
    }
    std::optional<std::string> driverOf(int fd, int) const override {
        const std::lock_guard lock(mutex_);
        const Device& d = deviceOf(fd);
        if (!d.kernelLike) return d.driver;
        if (d.claimedBy >= 0) return "usbfs";
        return d.usblpBound ? "usblp" : "";
    }
    int disconnect(int fd, int i) const override {
        const std::lock_guard lock(mutex_);
        Device& d = deviceOf(fd);
        ++d.detaches;
        d.usblpBound = false;
        return log("detach", i);
    }
    int connect(int fd, int i) const override {
        std::unique_lock lock(mutex_);
        Device& d = deviceOf(fd);
        log("attach", i);
        ++d.attaches;
        if (d.holdAttach) {
            ++attachesWaiting_;
            attachGate_.wait_for(lock, 5s, [&] { return !d.holdAttach; });
            --attachesWaiting_;
        }
        if (!d.kernelLike) return 0;
        if (d.claimedBy >= 0 || d.usblpBound) {
            ++d.refusedAttaches;
            return -EBUSY;
        }
        d.usblpBound = true;
        return 0;
    }
    int claimInterface(int fd, int i) const override {
        const std::lock_guard lock(mutex_);
        Device& d = deviceOf(fd);
        log("claim", i);
        if (!d.kernelLike) return d.claimResult;
        if (d.usblpBound || (d.claimedBy >= 0 && d.claimedBy != fd)) return -EBUSY;
        d.claimedBy = fd;
        return 0;
    }
    int releaseInterface(int fd, int i) const override {
        {
            const std::lock_guard lock(mutex_);
            Device& d = deviceOf(fd);
            log("release", i);
            if (d.claimedBy == fd) d.claimedBy = -1;
        }
        if (onRelease) onRelease();
        return 0;
    }
    int setInterface(int fd, int i, int a) const override {
        const std::lock_guard lock(mutex_);
        log("setting " + std::to_string(a) + " of", i);
        return deviceOf(fd).settingResult;
    }
    int bulkTransfer(int, uint8_t endpoint, void* data, size_t length, unsigned timeoutMs,
                     size_t* moved) const override {
        {
            const std::lock_guard lock(mutex_);
            timeouts.push_back(timeoutMs);
        }
        *moved = 0;
        return bulk ? bulk(endpoint, data, length, moved) : 0;
    }
    int controlTransfer(int, uint8_t type, uint8_t request, uint16_t value, uint16_t index, void* data,
                        uint16_t length, unsigned timeoutMs) const override {
        {
            const std::lock_guard lock(mutex_);
            log("control " + std::to_string(type) + " " + std::to_string(request) + " " + std::to_string(value) +
                    " " + std::to_string(length) + (timeoutMs <= 1000 ? "" : " slow") + " to",
                index);
        }
        return control ? control(data, length) : -ETIMEDOUT;
    }

private:
    Device& deviceOf(int fd) const { return const_cast<Device&>(devices_.at(paths_.at(fd))); }
    int log(const std::string& what, int interface) const {
        calls.push_back(what + " " + std::to_string(interface));
        return 0;
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable attachGate_;
    mutable int attachesWaiting_ = 0;
    mutable int lastFd_ = 6;
    mutable std::map<int, std::string> paths_;
    std::map<std::string, Device> devices_;
};

// A keyboard's interface first, then the printer's: a one-way setting 0 and
// a two-way setting 1.
std::vector<Setting> printerWithTwoSettings() { return {{3, 0, 0, {0x81}}, {7, 1, 0, {0x01}}, {7, 1, 1, {0x01, 0x82}}}; }

TEST(UsbfsDriver, DecidesFromTheHolderBeforeTouchingTheDeviceAndHandsUsblpBackAsItFoundIt) {
    struct Case {
        InterfaceHolder holder;
        std::string driver;  // what the kernel says once the node is open
        int claimResult;
        int settingResult;
        bool opens;
        std::vector<std::string> calls;  // until the device is closed again
    };
    const std::vector<Case> cases = {
        {InterfaceHolder::None, "", 0, 0, true, {"claim 1", "setting 1 of 1", "release 1", "close"}},
        {InterfaceHolder::Usblp, "usblp", 0, 0, true,
         {"detach 1", "claim 1", "setting 1 of 1", "release 1", "attach 1", "close"}},
        // A program has usblp's node open, has claimed the interface, or
        // sysfs or /proc cannot tell: the node is not even opened.
        {InterfaceHolder::UsblpNodeOpen, "usblp", 0, 0, false, {}},
        {InterfaceHolder::Other, "usbfs", 0, 0, false, {}},
        {InterfaceHolder::Unknown, "", 0, 0, false, {}},
        // usblp bound since the look, or the interface claimed meanwhile.
        {InterfaceHolder::None, "usblp", 0, 0, false, {"close"}},
        {InterfaceHolder::Usblp, "usbfs", 0, 0, false, {"close"}},
        {InterfaceHolder::Usblp, "usblp", -EBUSY, 0, false, {"detach 1", "claim 1", "attach 1", "close"}},
        {InterfaceHolder::None, "", -EBUSY, 0, false, {"claim 1", "close"}},
        {InterfaceHolder::Usblp, "usblp", 0, -EIO, false,
         {"detach 1", "claim 1", "setting 1 of 1", "release 1", "attach 1", "close"}},
    };
    for (const Case& c : cases) {
        FakeUsbfs fake(printerWithTwoSettings());
        FakeUsbfs::Device& device = fake.device();
        device.holder = c.holder;
        device.driver = c.driver;
        device.claimResult = c.claimResult;
        device.settingResult = c.settingResult;
        const UsbfsDriver driver(fake);
        EXPECT_EQ(driver.open(FakeUsbfs::kPath, UsbAccess::ReadWrite) != nullptr, c.opens);
        EXPECT_EQ(fake.calls, c.calls) << static_cast<int>(c.holder) << c.driver << c.claimResult;
        EXPECT_EQ(fake.nodesOpened, c.calls.empty() ? 0 : 1);
        EXPECT_EQ(fake.nodesOpen, 0);
        EXPECT_EQ(driver.interfacesInUse(), 0u);
    }
    FakeUsbfs gone(printerWithTwoSettings());
    gone.nodeOpens = false;
    EXPECT_EQ(UsbfsDriver(gone).open(FakeUsbfs::kPath, UsbAccess::ReadWrite), nullptr);
    EXPECT_EQ(UsbfsDriver(gone).open("/dev/bus/usb/001/009", UsbAccess::ReadWrite), nullptr);  // not in sysfs
}

TEST(UsbfsDriver, FindsThePrinterInterfaceOfTheActiveConfigurationInWholeDescriptorsOnly) {
    struct Case {
        std::string what;
        std::function<void(FakeUsbfs::Device&)> change;
        bool opens;
    };
    const std::vector<Case> cases = {
        {"as given", [](FakeUsbfs::Device&) {}, true},
        {"another configuration active", [](FakeUsbfs::Device& d) { d.configuration = 2; }, false},
        {"unconfigured", [](FakeUsbfs::Device& d) { d.configuration = 0; }, false},
        {"cut in the printer's endpoint", [](FakeUsbfs::Device& d) { d.descriptors.resize(d.descriptors.size() - 1); },
         true},  // setting 1's IN endpoint is lost; setting 0 still serves
        {"cut before the printer", [](FakeUsbfs::Device& d) { d.descriptors.resize(18 + 9 + 9 + 7 + 3); }, false},
        {"a descriptor of length 0",
         [](FakeUsbfs::Device& d) { d.descriptors[18 + 9 + 9 + 7] = 0; }, false},
        {"a descriptor running past the end", [](FakeUsbfs::Device& d) { d.descriptors[18 + 9 + 9 + 7] = 200; }, false},
        {"nothing", [](FakeUsbfs::Device& d) { d.descriptors.clear(); }, false},
    };
    for (const Case& c : cases) {
        FakeUsbfs fake(printerWithTwoSettings());
        c.change(fake.device());
        EXPECT_EQ(UsbfsDriver(fake).open(FakeUsbfs::kPath, UsbAccess::ReadWrite) != nullptr, c.opens) << c.what;
    }
}

TEST(UsbfsDriver, ReadsWholePacketsAndKeepsWhatFitsTheCallersBuffer) {
    FakeUsbfs fake(printerWithTwoSettings());
    const std::string answer(100, 'a');
    std::vector<size_t> asked;
    fake.bulk = [&](uint8_t endpoint, void* data, size_t length, size_t* moved) {
        EXPECT_EQ(endpoint, 0x82);
        asked.push_back(length);
        // A packet that does not fit what was asked for overflows the transfer.
        if (length % kPacket != 0) return -EOVERFLOW;
        *moved = std::min(length, answer.size());
        std::memcpy(data, answer.data(), *moved);
        return 0;
    };
    auto device = UsbfsDriver(fake).open(FakeUsbfs::kPath, UsbAccess::ReadOnly);
    ASSERT_NE(device, nullptr);
    char buffer[11] = {};
    const auto transfer = device->read(buffer, 10, 100ms);
    EXPECT_EQ(transfer.outcome, UsbOutcome::Done);
    EXPECT_EQ(transfer.moved, 10u);
    EXPECT_EQ(std::string(buffer), std::string(10, 'a'));
    EXPECT_EQ(asked, std::vector<size_t>{64});
}

TEST(UsbfsDriver, TellsHowEachTransferEndedWithTheBytesItMoved) {
    struct Case {
        int result;
        size_t moved;
        UsbOutcome outcome;
    };
    const std::vector<Case> cases = {
        {0, 512, UsbOutcome::Done},           {-ETIMEDOUT, 200, UsbOutcome::TimedOut},
        {-ETIMEDOUT, 0, UsbOutcome::TimedOut}, {-EPIPE, 64, UsbOutcome::Refused},
        {-ENODEV, 0, UsbOutcome::Gone},        {-ESHUTDOWN, 0, UsbOutcome::Gone},
        {-EPROTO, 0, UsbOutcome::Failed},      {-EINTR, 0, UsbOutcome::WaitFailed},
    };
    for (const Case& c : cases) {
        FakeUsbfs fake(printerWithTwoSettings());
        fake.bulk = [&](uint8_t endpoint, void*, size_t, size_t* moved) {
            EXPECT_EQ(endpoint, 0x01);
            *moved = c.moved;
            return c.result;
        };
        auto device = UsbfsDriver(fake).open(FakeUsbfs::kPath, UsbAccess::ReadWrite);
        ASSERT_NE(device, nullptr);
        const std::string chunk(512, 'x');
        const auto transfer = device->write(chunk.data(), chunk.size(), 100ms);
        EXPECT_EQ(transfer.outcome, c.outcome) << c.result;
        EXPECT_EQ(transfer.moved, c.moved) << c.result;
    }
}

TEST(UsbfsDriver, AStatusAnswerIsOneByteWithinASecond) {
    struct Case {
        int result;  // what the request returns: bytes moved or a failure
        std::optional<uint8_t> status;
    };
    for (const Case& c : {Case{1, 0x18}, Case{0, std::nullopt}, Case{-ETIMEDOUT, std::nullopt},
                          Case{-ENODEV, std::nullopt}}) {
        FakeUsbfs fake(printerWithTwoSettings());
        fake.control = [&](void* data, uint16_t) {
            static_cast<unsigned char*>(data)[0] = 0x18;
            return c.result;
        };
        auto device = UsbfsDriver(fake).open(FakeUsbfs::kPath, UsbAccess::ReadWrite);
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(device->portStatus(), c.status) << c.result;
        EXPECT_EQ(fake.calls.back(), "control 161 1 0 1 to 1");  // GET_PORT_STATUS of interface 1
    }
}

TEST(UsbfsDriver, TakesTheFirstPrinterInterfaceAndItsFirstBulkInEndpoint) {
    FakeUsbfs fake({{7, 1, 0, {0x04, 0x85}}, {7, 0, 0, {0x01, 0x82, 0x83}}});
    std::vector<uint8_t> endpoints;
    fake.bulk = [&](uint8_t endpoint, void*, size_t, size_t*) {
        endpoints.push_back(endpoint);
        return -ETIMEDOUT;
    };
    fake.control = [](void* data, uint16_t) {
        static_cast<unsigned char*>(data)[0] = 0;
        return 1;
    };
    auto device = UsbfsDriver(fake).open(FakeUsbfs::kPath, UsbAccess::ReadWrite);
    ASSERT_NE(device, nullptr);
    char buffer[8];
    device->write("x", 1, 100ms);
    device->read(buffer, sizeof buffer, 100ms);
    device->portStatus();
    EXPECT_EQ(endpoints, (std::vector<uint8_t>{0x01, 0x82}));
    EXPECT_EQ(fake.calls.front(), "claim 0");
    EXPECT_EQ(fake.calls.back(), "control 161 1 0 1 to 0");
}

TEST(UsbfsDriver, ATimeOutOfZeroOrLessStillBoundsTheTransfer) {
    // The kernel takes a time-out of 0 as no limit at all.
    FakeUsbfs fake(printerWithTwoSettings());
    fake.bulk = [](uint8_t, void*, size_t, size_t*) { return -ETIMEDOUT; };
    auto device = UsbfsDriver(fake).open(FakeUsbfs::kPath, UsbAccess::ReadWrite);
    ASSERT_NE(device, nullptr);
    char buffer[8];
    for (const auto timeout : {0ms, -5ms}) {
        EXPECT_EQ(device->write("x", 1, timeout).outcome, UsbOutcome::TimedOut);
        EXPECT_EQ(device->read(buffer, sizeof buffer, timeout).outcome, UsbOutcome::TimedOut);
    }
    EXPECT_EQ(fake.timeouts, (std::vector<unsigned>{1, 1, 1, 1}));
}

FakeUsbfs::Device& kernelLike(FakeUsbfs::Device& device) {
    device.kernelLike = true;
    device.usblpBound = true;
    return device;
}

TEST(UsbfsDriver, UsblpIsAttachedAgainWhenTheHandleLetsGoEvenWhileAnotherThreadWaitsToOpen) {
    FakeUsbfs fake(printerWithTwoSettings());
    FakeUsbfs::Device& device = kernelLike(fake.device());
    const UsbfsDriver driver(fake);
    {
        auto a = driver.open(FakeUsbfs::kPath, UsbAccess::ReadWrite);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(driver.open(FakeUsbfs::kPath, UsbAccess::ReadWrite), nullptr);  // the interface is a's
    }
    EXPECT_TRUE(device.usblpBound);

    // Another thread opens the printer in the instant between a's release of
    // the interface and its handing usblp back: it waits for a to finish.
    std::unique_ptr<mk::platform::UsbDevice> b;
    std::future<bool> bOpened;
    bool armed = true;
    {
        auto a = driver.open(FakeUsbfs::kPath, UsbAccess::ReadWrite);
        ASSERT_NE(a, nullptr);
        fake.onRelease = [&] {
            if (!armed) return;
            armed = false;
            bOpened = std::async(std::launch::async, [&] {
                b = driver.open(FakeUsbfs::kPath, UsbAccess::ReadWrite);
                return b != nullptr;
            });
            bOpened.wait_for(100ms);
        };
    }
    ASSERT_TRUE(bOpened.valid());
    EXPECT_TRUE(bOpened.get());
    EXPECT_EQ(driver.interfacesInUse(), 1u);
    b.reset();
    EXPECT_TRUE(device.usblpBound);
    EXPECT_EQ(device.claimedBy, -1);
    EXPECT_EQ(device.refusedAttaches, 0);
    EXPECT_EQ(driver.interfacesInUse(), 0u);
}

TEST(UsbfsDriver, APrinterBeingHandedBackToUsblpDoesNotDelayAnotherPrinter) {
    constexpr const char* kOther = "/dev/bus/usb/002/003";
    FakeUsbfs fake(printerWithTwoSettings());
    FakeUsbfs::Device& slow = kernelLike(fake.device());
    kernelLike(fake.add(kOther, printerWithTwoSettings()));
    const UsbfsDriver driver(fake);
    auto a = driver.open(FakeUsbfs::kPath, UsbAccess::ReadWrite);
    ASSERT_NE(a, nullptr);
    slow.holdAttach = true;  // usblp's probe of a printer that answers nothing: up to 5 s
    auto closing = std::async(std::launch::async, [&] { a.reset(); });
    for (int i = 0; i < 500 && !fake.attachHeld(); ++i) std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(fake.attachHeld());
    const auto start = std::chrono::steady_clock::now();
    auto b = driver.open(kOther, UsbAccess::ReadWrite);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_NE(b, nullptr);
    b.reset();
    EXPECT_LT(took, 100ms);
    EXPECT_TRUE(fake.attachHeld());  // a was still being handed back
    fake.releaseAttaches();
    closing.get();
    EXPECT_TRUE(slow.usblpBound);
}

TEST(UsbfsDriver, ThreadsOpeningAndClosingOnePrinterLeaveUsblpAttachedOnceAndNoRecord) {
    FakeUsbfs fake(printerWithTwoSettings());
    FakeUsbfs::Device& device = kernelLike(fake.device());
    // The instant between a handle's release and its handing usblp back is
    // where another thread's open would slip in.
    fake.onRelease = [] { std::this_thread::sleep_for(50us); };
    const UsbfsDriver driver(fake);
    constexpr int kThreads = 4;
    constexpr int kRounds = 200;
    std::vector<std::future<int>> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.push_back(std::async(std::launch::async, [&] {
            int opened = 0;
            for (int i = 0; i < kRounds; ++i) {
                auto handle = driver.open(FakeUsbfs::kPath, UsbAccess::ReadWrite);
                if (handle == nullptr) continue;
                ++opened;
                handle->write("x", 1, 10ms);
            }
            return opened;
        }));
    }
    int opened = 0;
    for (auto& thread : threads) opened += thread.get();
    EXPECT_GT(opened, 0);
    EXPECT_TRUE(device.usblpBound);
    EXPECT_EQ(device.attaches, device.detaches);
    EXPECT_EQ(device.detaches, opened);
    EXPECT_EQ(device.refusedAttaches, 0);
    EXPECT_EQ(device.claimedBy, -1);
    EXPECT_EQ(fake.nodesOpen, 0);
    EXPECT_EQ(driver.interfacesInUse(), 0u);
}

}  // namespace
