#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "platform/linux/node_holders.h"
#include "platform/linux/usb_sysfs_scan.h"
#include "support/fake_usb_device.h"

namespace {

using mk::platform::scanUsbSysfs;
using mk::platform::UsbPrinterNode;
using mk::test::FakeUsbAddress;

TEST(UsbSysfsScan, ListsEveryPrinterInterfaceByBusAndAddressWithItsIdsSerialAndNode) {
    mk::test::FakeUsbBus bus;
    bus.plug("9f3c", "41a7", "SER-A", FakeUsbAddress{2, 3});
    bus.plug("04b8", "0202", "EPS01", FakeUsbAddress{1, 12});
    bus.plug("b7e2", "0c15", std::nullopt, FakeUsbAddress{1, 4});
    bus.addVanishingDevice();
    bus.addOtherDevice("9f3c", "41a7");

    const auto nodes = scanUsbSysfs(bus.sysfsRoot(), bus.devRoot());
    ASSERT_TRUE(nodes.has_value());
    const std::string usb = (bus.devRoot() / "bus" / "usb").string();
    const std::vector<std::pair<std::string, std::string>> expected = {
        {usb + "/001/004", "usb#vid_b7e2&pid_0c15##1-3:1.0"},
        {usb + "/001/012", "usb#vid_04b8&pid_0202#EPS01#1-2:1.0"},
        {usb + "/002/003", "usb#vid_9f3c&pid_41a7#SER-A#2-1:1.0"},
    };
    ASSERT_EQ(nodes->size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ((*nodes)[i].devicePath, expected[i].first);
        EXPECT_EQ((*nodes)[i].identifier, expected[i].second);
    }
}

TEST(UsbSysfsScan, ASystemWithoutUsbHasNoPrintersAndAnUnlistableBusIsAFailure) {
    const auto none = scanUsbSysfs("/nonexistent-sysfs-root", "/dev");
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->empty());

    mk::test::FakeUsbBus bus;
    bus.plugPrinter("X");
    bus.breakDevicesFolder();
    EXPECT_FALSE(scanUsbSysfs(bus.sysfsRoot(), bus.devRoot()).has_value());
}

TEST(UsbSysfsScan, FindsUsblpsNodeOfAPrinterInterfaceOnlyWhereUsblpMadeOne) {
    mk::test::FakeUsbBus bus;
    const std::string withUsblp = bus.plug("9f3c", "41a7", "A", FakeUsbAddress{1, 2}).devicePath();
    const std::string without = bus.plug("9f3c", "41a7", "B", FakeUsbAddress{1, 3}).devicePath();
    const std::filesystem::path devices = bus.sysfsRoot() / "bus" / "usb" / "devices";
    for (const char* interface : {"1-1:1.0", "1-2:1.0"}) std::ofstream(devices / interface / "bInterfaceNumber") << "00\n";
    std::filesystem::create_directories(devices / "1-1:1.0" / "usbmisc" / "lp3");

    const auto nodeOf = [&](const std::string& usbNode, int interface) {
        return mk::platform::usblpNodeOf(bus.sysfsRoot(), bus.devRoot(), usbNode, interface);
    };
    EXPECT_EQ(nodeOf(withUsblp, 0), (bus.devRoot() / "usb" / "lp3").string());
    EXPECT_EQ(nodeOf(withUsblp, 1), "");
    EXPECT_EQ(nodeOf(without, 0), "");
    EXPECT_EQ(nodeOf(bus.absentDevicePath(), 0), "");
}

TEST(NodeHolders, SeesANodeOnlyWhileAProcessHasItOpen) {
    const std::string node = (std::filesystem::temp_directory_path() / ("mklabel-node-" + std::to_string(::getpid()))).string();
    std::ofstream(node).put('x');
    EXPECT_FALSE(mk::platform::nodeOpenInAnyProcess("/proc", node));
    const int fd = ::open(node.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_TRUE(mk::platform::nodeOpenInAnyProcess("/proc", node));
    ::close(fd);
    EXPECT_FALSE(mk::platform::nodeOpenInAnyProcess("/proc", node));
    std::filesystem::remove(node);
}

TEST(SystemUsbDriver, OpensNothingThatIsNotAUsbPrinterAndKeepsNoDescriptorOrThread) {
    const auto entries = [](const char* folder) {
        return std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator());
    };
    const auto descriptors = [&] { return entries("/proc/self/fd"); };
    const auto threads = entries("/proc/self/task");
    const mk::platform::UsbDriver& driver = mk::platform::systemUsbDriver();
    (void)driver.open("/dev/null", mk::platform::UsbAccess::ReadWrite);  // the process's one USB session starts
    EXPECT_EQ(entries("/proc/self/task"), threads);
    const auto before = descriptors();
    for (const char* path : {"/nonexistent/bus/usb/001/002", "/dev/null"}) {
        EXPECT_EQ(driver.open(path, mk::platform::UsbAccess::ReadWrite), nullptr) << path;
    }
    EXPECT_EQ(descriptors(), before);
}

}  // namespace
