#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "platform/usb_driver.h"
#include "support/fake_usb_device.h"

namespace {

using mk::platform::scanUsblp;
using mk::platform::UsbPrinterNode;

std::vector<std::string> identifiersOf(const std::vector<UsbPrinterNode>& nodes) {
    std::vector<std::string> identifiers;
    for (const UsbPrinterNode& node : nodes) identifiers.push_back(node.identifier);
    return identifiers;
}

TEST(UsblpScan, ListsEveryBoundPrinterInLpOrderWithItsIdsAndSerial) {
    mk::test::FakeUsbBus bus;
    bus.plug("9f3c", "41a7", "SER-A", 10u);
    bus.plug("04b8", "0202", "EPS01", 2u);
    bus.plug("b7e2", "0c15", std::nullopt, 0u);
    bus.addDanglingEntry(3);
    bus.addOtherEntry("hiddev0", "9f3c", "41a7");

    const auto nodes = scanUsblp(bus.sysfsRoot(), bus.devRoot());
    ASSERT_TRUE(nodes.has_value());
    EXPECT_EQ(identifiersOf(*nodes), (std::vector<std::string>{
                                         "usb#vid_b7e2&pid_0c15##usblp",
                                         "usb#vid_04b8&pid_0202#EPS01#usblp",
                                         "usb#vid_9f3c&pid_41a7#SER-A#usblp",
                                     }));
    EXPECT_EQ((*nodes)[0].devicePath, (bus.devRoot() / "usb" / "lp0").string());
    EXPECT_EQ((*nodes)[2].devicePath, (bus.devRoot() / "usb" / "lp10").string());
}

TEST(UsblpScan, AMissingClassFolderMeansNoPrinters) {
    const auto nodes = scanUsblp("/nonexistent-sysfs-root", "/dev");
    ASSERT_TRUE(nodes.has_value());
    EXPECT_TRUE(nodes->empty());
}

TEST(UsblpScan, AClassFolderThatCannotBeListedIsAFailure) {
    mk::test::FakeUsbBus bus;
    bus.plugPrinter("X");
    bus.breakClassFolder();
    EXPECT_FALSE(scanUsblp(bus.sysfsRoot(), bus.devRoot()).has_value());
}

}  // namespace
