#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "comm/connection.h"
#include "comm/interface_type.h"
#include "comm/comm_timing.h"
#include "comm/usb_io.h"
#include "mklabel.h"
#include "model/last_error.h"
#include "support/fake_net_printer.h"
#include "support/fake_usb_device.h"
#include "support/handles.h"
#include "support/last_error_check.h"

namespace {

using namespace std::chrono_literals;
using mk::test::FakeUsbBus;
using mk::test::FakeUsbDevice;
using mk::test::PrinterPtr;
using mk::test::FakeNetPrinter;

const int kUsbTypes[] = {1, 4, 6, 8};
const int kNetTypes[] = {2, 5, 7, 9};
const int kUnsupportedTypes[] = {3, 10, 11, -1, 1000, -2147483647 - 1};

PrinterPtr printerOfType(int interfaceType) {
    PrinterPtr printer(MkPrinter_Create());
    MkPrinter_SetInterface(printer.get(), interfaceType);
    return printer;
}

// A printer whose every target is set, so only its interface type decides.
PrinterPtr fullySetPrinter(int interfaceType, const char* serial) {
    PrinterPtr printer = printerOfType(interfaceType);
    MkPrinter_SetUsbSerial(printer.get(), serial);
    MkPrinter_SetNetAddress(printer.get(), "127.0.0.1");
    MkPrinter_SetName(printer.get(), "labels");
    return printer;
}

TEST(InterfaceFamilies, EachValueBelongsToItsFamily) {
    for (int type = -3; type <= 12; ++type) {
        Printer printer;
        printer.interfaceType = type;
        const bool usb = type == 1 || type == 4 || type == 6 || type == 8;
        const bool net = type == 2 || type == 5 || type == 7 || type == 9;
        EXPECT_EQ(mk::isUsbInterface(printer), usb) << type;
        EXPECT_EQ(mk::isNetInterface(printer), net) << type;
        EXPECT_EQ(mk::isDriverInterface(printer), type == 0) << type;
    }
}

TEST(Connect, EverySupportedFamilyConnectsToItsTarget) {
    FakeUsbBus bus;
    bus.plugPrinter("OTHER");
    FakeUsbDevice& wanted = bus.plugPrinter("WANTED");
    std::vector<int> types = {0};
    types.insert(types.end(), std::begin(kUsbTypes), std::end(kUsbTypes));
    types.insert(types.end(), std::begin(kNetTypes), std::end(kNetTypes));
    for (int type : types) {
        PrinterPtr printer = fullySetPrinter(type, "WANTED");
        mk::setLastError(-999, "earlier");
        EXPECT_EQ(MkPrinter_Connect(printer.get()), 0) << type;
        EXPECT_TRUE(mk::isConnected(*printer)) << type;
        const bool usb = mk::isUsbInterface(*printer);
        EXPECT_EQ(printer->usbDevicePath, usb ? wanted.devicePath() : "") << type;
        EXPECT_EQ(MkGetLastErrorCode(), -999);
        MkPrinter_Disconnect(printer.get());
        EXPECT_FALSE(mk::isConnected(*printer));
        EXPECT_TRUE(printer->usbDevicePath.empty());
    }
}

TEST(Connect, UnsupportedTypesAreRefusedWithMinus524) {
    FakeUsbBus bus;
    bus.plugPrinter("A");
    for (int type : kUnsupportedTypes) {
        PrinterPtr printer = fullySetPrinter(type, "A");
        EXPECT_EQ(MkPrinter_Connect(printer.get()), -2) << type;
        EXPECT_TRUE(mk::test::lastErrorIs(-524, "Unsupported interface type"));
        EXPECT_FALSE(mk::isConnected(*printer));
        printer->connected = true;  // even a stale flag does not make it connected
        EXPECT_FALSE(mk::isConnected(*printer));
    }
}

TEST(Connect, AMissingTargetFailsWithTheFamilysCode) {
    FakeUsbBus bus;
    bus.plugPrinter("ABC123");
    struct Case {
        int type;
        const char* serial;
        int code;
        const char* message;
    };
    const Case cases[] = {
        {1, "abc123", -521, "USB printer not found"},  // not -502: connecting reports its own failure
        {8, "NOPE", -521, "USB printer not found"},
        {2, nullptr, -523, "Network IP address not set"},
        {9, nullptr, -523, "Network IP address not set"},
        {0, nullptr, -525, "Driver printer name not set"},
    };
    for (const Case& c : cases) {
        PrinterPtr printer = printerOfType(c.type);
        MkPrinter_SetUsbSerial(printer.get(), c.serial);
        EXPECT_EQ(MkPrinter_Connect(printer.get()), -2) << c.type;
        EXPECT_TRUE(mk::test::lastErrorIs(c.code, c.message));
        EXPECT_FALSE(mk::isConnected(*printer));
    }
}

TEST(Connect, AnEmptySerialTakesTheFirstPrinterAndAnEmptyBusNone) {
    FakeUsbBus bus;
    PrinterPtr printer = printerOfType(1);
    EXPECT_EQ(MkPrinter_Connect(printer.get()), -2);
    EXPECT_TRUE(mk::test::lastErrorIs(-521, "USB printer not found"));

    FakeUsbDevice& first = bus.plugPrinter("FIRST");
    bus.plugPrinter("SECOND");
    EXPECT_EQ(MkPrinter_Connect(printer.get()), 0);
    EXPECT_EQ(printer->usbDevicePath, first.devicePath());
}

TEST(Connect, ConnectingAgainStartsFromDisconnected) {
    FakeUsbBus bus;
    bus.plugPrinter("A");
    PrinterPtr printer = printerOfType(1);
    MkPrinter_SetUsbSerial(printer.get(), "A");
    ASSERT_EQ(MkPrinter_Connect(printer.get()), 0);

    MkPrinter_SetUsbSerial(printer.get(), "GONE");
    EXPECT_TRUE(mk::isConnected(*printer));  // still bound to the device found before
    EXPECT_EQ(MkPrinter_Connect(printer.get()), -2);
    EXPECT_FALSE(mk::isConnected(*printer));
    EXPECT_TRUE(printer->usbDevicePath.empty());
}

TEST(Connect, IsConnectedRechecksTheTargetOfTheCurrentFamily) {
    PrinterPtr net = fullySetPrinter(2, "");
    ASSERT_EQ(MkPrinter_Connect(net.get()), 0);
    MkPrinter_SetNetAddress(net.get(), nullptr);
    EXPECT_FALSE(mk::isConnected(*net));
    EXPECT_EQ(MkPrinter_Connect(net.get()), -2);
    EXPECT_TRUE(mk::test::lastErrorIs(-523, "Network IP address not set"));

    PrinterPtr spooler = fullySetPrinter(0, "");
    ASSERT_EQ(MkPrinter_Connect(spooler.get()), 0);
    MkPrinter_SetName(spooler.get(), nullptr);
    EXPECT_FALSE(mk::isConnected(*spooler));

    // A network printer switched to USB has no device path to be bound to.
    PrinterPtr switched = fullySetPrinter(2, "");
    ASSERT_EQ(MkPrinter_Connect(switched.get()), 0);
    MkPrinter_SetInterface(switched.get(), 4);
    EXPECT_FALSE(mk::isConnected(*switched));
}

TEST(Connect, NullHandlesAreRefusedOrIgnored) {
    mk::setLastError(-999, "earlier");
    EXPECT_EQ(MkPrinter_Connect(nullptr), -1);
    MkPrinter_Disconnect(nullptr);
    EXPECT_EQ(MkPrinter_GetStatusCode(nullptr), -1);
    EXPECT_EQ(MkGetLastErrorCode(), -999);
}

TEST(PrinterStatus, UsbPrintersAnswerThroughTheStatusRequest) {
    FakeUsbBus bus;
    const mk::ScopedCommTiming quick({.usbWriteStallLimit = 1000ms, .usbStatusPause = 1ms});
    FakeUsbDevice& device = bus.plugPrinter("A");
    for (int type : kUsbTypes) {
        PrinterPtr printer = printerOfType(type);
        MkPrinter_SetUsbSerial(printer.get(), "A");
        ASSERT_EQ(MkPrinter_Connect(printer.get()), 0);

        device.setStatusReplies({4, 1, 0x59});
        EXPECT_EQ(MkPrinter_GetStatusCode(printer.get()), 89) << type;

        device.setStatusReplies({std::nullopt});
        mk::setLastError(-999, "earlier");
        EXPECT_EQ(MkPrinter_GetStatusCode(printer.get()), -103) << type;
        EXPECT_EQ(MkGetLastErrorCode(), -999);

        device.refuseOpen(true);
        EXPECT_EQ(MkPrinter_GetStatusCode(printer.get()), -1) << type;
        EXPECT_TRUE(mk::test::lastErrorIs(-520, "Failed to open USB device for status: " + device.devicePath()));
        device.refuseOpen(false);
    }
}

TEST(PrinterStatus, AUsbPrinterNeverConnectedHasNoDevicePath) {
    FakeUsbBus bus;
    FakeUsbDevice& device = bus.plugPrinter("A");
    PrinterPtr printer = printerOfType(1);
    MkPrinter_SetUsbSerial(printer.get(), "A");
    EXPECT_EQ(MkPrinter_GetStatusCode(printer.get()), -1);
    EXPECT_TRUE(mk::test::lastErrorIs(-529, "getStatusCode: USB device path not set"));
    EXPECT_EQ(device.statusRequests(), 0);
}

TEST(PrinterStatus, NetworkPrintersAnswerThroughTheStatusPort) {
    const mk::ScopedCommTiming quick({.netStatusPause = 1ms});
    FakeNetPrinter device;
    for (int type : kNetTypes) {
        device.setStatusReplies({'4', 'Q'});
        PrinterPtr printer = printerOfType(type);
        MkPrinter_SetNetAddress(printer.get(), device.address().c_str());
        EXPECT_EQ(MkPrinter_GetStatusCode(printer.get()), 81) << type;  // no connect needed

        PrinterPtr unset = printerOfType(type);
        EXPECT_EQ(MkPrinter_GetStatusCode(unset.get()), -1) << type;
        EXPECT_TRUE(mk::test::lastErrorIs(-530, "getStatusCode: network IP not set"));
    }

    FakeNetPrinter closing(FakeNetPrinter::Options{.status = FakeNetPrinter::Behaviour::AcceptAndClose});
    PrinterPtr printer = printerOfType(2);
    MkPrinter_SetNetAddress(printer.get(), closing.address().c_str());
    mk::setLastError(-999, "earlier");
    EXPECT_EQ(MkPrinter_GetStatusCode(printer.get()), -504);
    EXPECT_EQ(MkGetLastErrorCode(), -999);
}

TEST(PrinterStatus, SpoolerAndUnsupportedTypesHaveNoStatus) {
    std::vector<int> types = {0};
    types.insert(types.end(), std::begin(kUnsupportedTypes), std::end(kUnsupportedTypes));
    for (int type : types) {
        PrinterPtr printer = fullySetPrinter(type, "A");
        printer->usbDevicePath = "/dev/usb/lp0";
        mk::setLastError(-999, "earlier");
        EXPECT_EQ(MkPrinter_GetStatusCode(printer.get()), -1) << type;
        EXPECT_EQ(MkGetLastErrorCode(), -999);
    }
}

TEST(StatusInfo, CopiesTheTextOfEachCode) {
    struct Case {
        int code;
        const char* text;
    };
    const Case cases[] = {
        {0, "Ready."},
        {1, "Syntax error."},
        {4, "Printer error: 4"},
        {81, "Mainboard hardware fault."},
        {82, "Ribbon detection error."},
        {83, "Label detection error."},
        {86, "Cutter detection error."},
        {88, "Printer is paused."},
        {89, "Label run out."},
        {90, "RFID writing error."},
        {91, "RFID signal calibration failed."},
        {92, "RFID signal calibration failed."},
        {96, "Peeler waiting."},
        {99, "Printer upgrade completed."},
        {120, "Printer upgrade completed."},
        {112, "No tag detected."},
        {113, "Too many tags detected."},
        {116, "Duplicate tag detected."},
        {-103, "Printer error: -103"},
        {-1, "Printer error: -1"},
        {255, "Printer error: 255"},
        {-2147483647 - 1, "Printer error: -2147483648"},
    };
    for (const Case& c : cases) {
        char buffer[64];
        EXPECT_EQ(MkPrinter_GetStatusInfo(c.code, buffer, sizeof buffer), static_cast<int>(std::strlen(c.text)));
        EXPECT_STREQ(buffer, c.text) << c.code;
    }
}

TEST(StatusInfo, CutsToTheBufferAndRefusesNoBuffer) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(MkPrinter_GetStatusInfo(0, buffer, 5), 4);
    EXPECT_STREQ(buffer, "Read");
    EXPECT_EQ(buffer[5], 'x');

    EXPECT_EQ(MkPrinter_GetStatusInfo(0, buffer, 1), 0);
    EXPECT_EQ(buffer[0], '\0');

    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(MkPrinter_GetStatusInfo(0, buffer, 0), 0);
    EXPECT_EQ(MkPrinter_GetStatusInfo(0, buffer, -5), 0);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(MkPrinter_GetStatusInfo(0, nullptr, 8), 0);
}

}  // namespace
