#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <optional>
#include <vector>

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
