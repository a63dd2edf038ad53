#include "comm/write_data.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "comm/net_transport.h"
#include "mklabel.h"
#include "model/last_error.h"
#include "model/printer.h"
#include "portable/socket_use.h"
#include "support/fake_net_printer.h"
#include "support/fake_usb_device.h"
#ifndef _WIN32
#include "support/private_cupsd.h"
#endif
#include "support/last_error_check.h"

namespace {

using mk::test::FakeNetPrinter;
using std::chrono::milliseconds;

const std::uint8_t* bytesOf(const std::string& text) { return reinterpret_cast<const std::uint8_t*>(text.data()); }

Printer printerOfType(int interfaceType) {
    Printer printer;
    printer.interfaceType = interfaceType;
    return printer;
}

TEST(WriteData, NothingToSendIsRefusedBeforeTheInterfaceTypeIsLookedAt) {
    const std::string job = "data";
    for (int type : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, -1}) {
        SCOPED_TRACE(type);
        Printer printer = printerOfType(type);
        printer.usbDevicePath = "/dev/null";
        printer.netAddress = "127.0.0.1";
        printer.driverName = "queue";
        mk::setLastError(0, "");
        EXPECT_FALSE(mk::writeData(printer, bytesOf(job), 0));
        EXPECT_TRUE(mk::test::lastErrorIs(MK_ERR_WRITE_ARGS, "writeData: invalid parameters"));
        mk::setLastError(0, "");
        EXPECT_FALSE(mk::writeData(printer, nullptr, 4));
        EXPECT_TRUE(mk::test::lastErrorIs(MK_ERR_WRITE_ARGS, "writeData: invalid parameters"));
        EXPECT_FALSE(mk::writeData(printer, bytesOf(job), -3));
        EXPECT_TRUE(mk::test::lastErrorIs(MK_ERR_WRITE_ARGS, "writeData: invalid parameters"));
    }
}

TEST(WriteData, UnsupportedInterfaceTypesAreRefused) {
    const std::string job = "data";
    for (int type : {3, 10, 11, 100, -1, -2}) {
        SCOPED_TRACE(type);
        Printer printer = printerOfType(type);
        printer.netAddress = "127.0.0.1";
        mk::setLastError(0, "");
        EXPECT_FALSE(mk::writeData(printer, bytesOf(job), 4));
        EXPECT_TRUE(mk::test::lastErrorIs(MK_ERR_WRITE_INTERFACE, "writeData: unsupported interface type"));
    }
}

TEST(WriteData, RouteNeedsItsTarget) {
    const std::string job = "data";
    for (int type : {1, 4, 6, 8}) {
        SCOPED_TRACE(type);
        mk::setLastError(0, "");
        EXPECT_FALSE(mk::writeData(printerOfType(type), bytesOf(job), 4));
        EXPECT_TRUE(mk::test::lastErrorIs(MK_ERR_WRITE_USB_PATH, "writeData: USB device path not set"));
    }
    for (int type : {2, 5, 7, 9}) {
        SCOPED_TRACE(type);
        mk::setLastError(0, "");
        EXPECT_FALSE(mk::writeData(printerOfType(type), bytesOf(job), 4));
        EXPECT_TRUE(mk::test::lastErrorIs(MK_ERR_WRITE_NET_ADDRESS, "writeData: network IP not set"));
    }
}

TEST(WriteData, UsbTypesWriteToTheDevice) {
    for (int type : {1, 4, 6, 8}) {
        SCOPED_TRACE(type);
        mk::test::FakeUsbBus bus;
        mk::test::FakeUsbDevice& device = bus.plugPrinter("W1");
        Printer printer = printerOfType(type);
        printer.usbDevicePath = device.devicePath();
        std::string job(1300, '\0');
        for (std::size_t i = 0; i < job.size(); ++i) job[i] = static_cast<char>(i % 256);
        EXPECT_TRUE(mk::writeData(printer, bytesOf(job), static_cast<int>(job.size())));
        ASSERT_TRUE(device.waitForReceived(job.size(), milliseconds(5000)));
        EXPECT_TRUE(device.received() == job);
        EXPECT_EQ(device.writes().size(), 3u);  // 512, 512 and 276 bytes
    }
}

TEST(WriteData, UsbDeviceGoneSinceConnectingIsReportedWithItsPath) {
    mk::test::FakeUsbBus bus;
    Printer printer = printerOfType(1);
    printer.usbDevicePath = bus.absentDevicePath();  // unplugged since
    mk::setLastError(0, "");
    const std::string job = "data";
    EXPECT_FALSE(mk::writeData(printer, bytesOf(job), 4));
    EXPECT_EQ(mk::getLastErrorCode(), MK_ERR_USB_OPEN_WRITE);
    EXPECT_EQ(std::string(mk::getLastErrorMessage()), "Failed to open USB device for write: " + printer.usbDevicePath);
}

TEST(WriteData, FailedUsbWriteKeepsTheWritesCode) {
    mk::test::FakeUsbBus bus;
    mk::test::FakeUsbDevice& device = bus.plugPrinter("W1");
    device.failTransfers(mk::platform::UsbOutcome::Refused);
    Printer printer = printerOfType(6);
    printer.usbDevicePath = device.devicePath();
    const std::string job = "data";
    EXPECT_FALSE(mk::writeData(printer, bytesOf(job), 4));
    EXPECT_TRUE(mk::test::lastErrorIs(MK_ERR_USB_WRITE_FAILED, "writeUsb: WriteFile failed"));
}

TEST(WriteData, NetworkTypesSendRawTcpToThePrinter) {
    for (int type : {2, 5, 7, 9}) {
        SCOPED_TRACE(type);
        FakeNetPrinter device;
        Printer printer = printerOfType(type);
        printer.netAddress = device.address();
        const std::string job = "^XA^FD" + std::to_string(type) + "^XZ\r\n";
        EXPECT_TRUE(mk::writeData(printer, bytesOf(job), static_cast<int>(job.size())));
        ASSERT_TRUE(device.waitForJobs(1, milliseconds(5000)));
        EXPECT_EQ(device.jobs()[0], job);
    }
    EXPECT_EQ(mk::platform::SocketUse::count(), 0);
}

TEST(WriteData, FailedNetworkSendLeavesTheLastErrorAlone) {
    FakeNetPrinter device(FakeNetPrinter::Options{.raw = FakeNetPrinter::Behaviour::Refuse});
    Printer printer = printerOfType(2);
    printer.netAddress = device.address();
    mk::setLastError(-777, "before");
    const std::string job = "data";
    EXPECT_FALSE(mk::writeData(printer, bytesOf(job), 4));
    EXPECT_TRUE(mk::test::lastErrorIs(-777, "before"));
}

// On Windows: comm/win32/spooler_test.cpp, under a scheduler its runner starts.
#ifndef _WIN32
TEST(WriteData, SpoolerTypeSendsARawJob) {
    mk::test::PrivateCupsd cupsd;
    ASSERT_TRUE(cupsd.ready()) << cupsd.log();
    FakeNetPrinter device;
    ASSERT_TRUE(cupsd.addRawQueue("front-desk", device.address(), 9100)) << cupsd.log();
    Printer printer = printerOfType(0);
    printer.driverName = "front-desk";
    const std::string job = "N\r\nA10,10,0,1,1,1,N,\"spooled\"\r\nP1\r\n";

    EXPECT_TRUE(mk::writeData(printer, bytesOf(job), static_cast<int>(job.size())));
    ASSERT_TRUE(device.waitForJobs(1, milliseconds(15000))) << cupsd.log();
    EXPECT_EQ(device.jobs()[0], job);

    printer.driverName = "absent";
    EXPECT_FALSE(mk::writeData(printer, bytesOf(job), static_cast<int>(job.size())));
    EXPECT_TRUE(mk::test::lastErrorIs(MK_ERR_SPOOL_OPEN, "sendToDriver: OpenPrinter failed"));
}
#endif

}  // namespace
