#include <gtest/gtest.h>

#include <memory>

#include "mklabel.h"
#include "support/handles.h"
#include "model/printer.h"

namespace {

using mk::test::PrinterPtr;

TEST(Printer, NewPrinterHasTheDefaults) {
    PrinterPtr printer(MkPrinter_Create());
    ASSERT_NE(printer, nullptr);
    EXPECT_EQ(printer->dpi, 203);
    EXPECT_EQ(printer->speed, 4);
    EXPECT_EQ(printer->darkness, 10);
    EXPECT_EQ(printer->pageDirection, 1);
    EXPECT_TRUE(printer->gapMedia);
    EXPECT_EQ(printer->interfaceType, 1);
    EXPECT_TRUE(printer->usbSerial.empty());
    EXPECT_TRUE(printer->usbDevicePath.empty());
    EXPECT_TRUE(printer->netAddress.empty());
    EXPECT_EQ(printer->netPort, 9100);
    EXPECT_TRUE(printer->driverName.empty());
    EXPECT_FALSE(printer->connected);
}

TEST(Printer, IntegerSettersStoreValuesAsGiven) {
    // Unsupported interface types and nonsense resolutions are stored too;
    // refusing them is for the calls that use them.
    const int values[] = {0, -1, 3, 600, 2147483647, -2147483647 - 1};
    for (int value : values) {
        PrinterPtr printer(MkPrinter_Create());
        MkPrinter_SetDpi(printer.get(), value);
        MkPrinter_SetSpeed(printer.get(), value);
        MkPrinter_SetDarkness(printer.get(), value);
        MkPrinter_SetPageDirection(printer.get(), value);
        MkPrinter_SetInterface(printer.get(), value);
        EXPECT_EQ(printer->dpi, value);
        EXPECT_EQ(printer->speed, value);
        EXPECT_EQ(printer->darkness, value);
        EXPECT_EQ(printer->pageDirection, value);
        EXPECT_EQ(printer->interfaceType, value);
    }
    // Each setter reaches its own field only.
    PrinterPtr printer(MkPrinter_Create());
    MkPrinter_SetDpi(printer.get(), 300);
    MkPrinter_SetSpeed(printer.get(), 6);
    MkPrinter_SetDarkness(printer.get(), 15);
    MkPrinter_SetPageDirection(printer.get(), 2);
    MkPrinter_SetInterface(printer.get(), 9);
    EXPECT_EQ(printer->dpi, 300);
    EXPECT_EQ(printer->speed, 6);
    EXPECT_EQ(printer->darkness, 15);
    EXPECT_EQ(printer->pageDirection, 2);
    EXPECT_EQ(printer->interfaceType, 9);
    EXPECT_EQ(printer->netPort, 9100);
}

TEST(Printer, TextSettersCopyAndTakeNullAsEmpty) {
    PrinterPtr printer(MkPrinter_Create());
    char name[] = "Queue A";
    MkPrinter_SetName(printer.get(), name);
    MkPrinter_SetUsbSerial(printer.get(), "SN123");
    name[0] = 'X';  // the caller keeps its own buffer
    EXPECT_EQ(printer->driverName, "Queue A");
    EXPECT_EQ(printer->usbSerial, "SN123");
    MkPrinter_SetName(printer.get(), nullptr);
    MkPrinter_SetUsbSerial(printer.get(), nullptr);
    EXPECT_EQ(printer->driverName, "");
    EXPECT_EQ(printer->usbSerial, "");
}

TEST(Printer, SettingTheAddressResetsThePort) {
    PrinterPtr printer(MkPrinter_Create());
    const char* addresses[] = {"127.0.0.1", "127.0.0.1", nullptr};
    for (const char* address : addresses) {
        printer->netPort = 1234;
        MkPrinter_SetNetAddress(printer.get(), address);
        EXPECT_EQ(printer->netPort, 9100);
        EXPECT_EQ(printer->netAddress, address == nullptr ? "" : address);
    }
}

TEST(Printer, TextSettersKeepTheConnection) {
    PrinterPtr printer(MkPrinter_Create());
    printer->connected = true;
    printer->usbDevicePath = "/dev/usb/lp0";
    MkPrinter_SetUsbSerial(printer.get(), "other");
    MkPrinter_SetNetAddress(printer.get(), "127.0.0.2");
    MkPrinter_SetName(printer.get(), "q");
    EXPECT_TRUE(printer->connected);
    EXPECT_EQ(printer->usbDevicePath, "/dev/usb/lp0");
}

TEST(Printer, DestroyForgetsTheConnection) {
    Printer printer;
    mk::initPrinter(printer);
    printer.connected = true;
    printer.usbDevicePath = "/dev/usb/lp0";
    mk::setNetAddress(printer, "127.0.0.1");
    mk::destroyPrinter(printer);
    EXPECT_FALSE(printer.connected);
    EXPECT_TRUE(printer.usbDevicePath.empty());
    EXPECT_TRUE(printer.netAddress.empty());
}

TEST(Printer, NullHandlesAreIgnored) {
    MkPrinter_Destroy(nullptr);
    MkPrinter_SetDpi(nullptr, 300);
    MkPrinter_SetSpeed(nullptr, 1);
    MkPrinter_SetDarkness(nullptr, 1);
    MkPrinter_SetPageDirection(nullptr, 1);
    MkPrinter_SetInterface(nullptr, 2);
    MkPrinter_SetName(nullptr, "x");
    MkPrinter_SetNetAddress(nullptr, "x");
    MkPrinter_SetUsbSerial(nullptr, "x");

    PrinterPtr connected(MkPrinter_Create());
    connected->connected = true;  // destroyed below without a disconnect
    SUCCEED();
}

}  // namespace
