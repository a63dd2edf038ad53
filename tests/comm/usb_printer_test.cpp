#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "comm/usb_printer.h"
#include "mklabel.h"
#include "model/last_error.h"
#include "support/fake_usb_device.h"
#include "support/last_error_check.h"

namespace {

using mk::test::FakeUsbBus;

constexpr const char* kNoPrinters = "No VELMOR USB printers found";

TEST(UsbScan, FindsOnlySupportedPrintersAndNamesTheirPortsInOrder) {
    FakeUsbBus bus;
    const std::string first = bus.plugPrinter("FIRST").devicePath();
    bus.plug("04b8", "0202", "FOREIGN");          // another vendor's printer
    bus.plug("9f3c", "41a8", "NEARLY");           // right vendor, other product
    const std::string second = bus.plug("B7E2", "0C15", "SECOND").devicePath();  // upper-case ids still qualify
    bus.addVanishingDevice();
    bus.addOtherDevice("9f3c", "41a7");           // not a printer interface
    const std::string third = bus.plug("9f3c", "41a7", std::nullopt).devicePath();  // no serial number
#ifdef _WIN32
    // Windows names a device without a serial number by where it is attached.
    const std::string thirdSerial = "6&1f2e3d4c&0&1008";
#else
    const std::string thirdSerial;
#endif

    const std::vector<mk::UsbDeviceRecord> found = mk::scanUsbPrinters();
    ASSERT_EQ(found.size(), 3u);
    const std::vector<mk::UsbDeviceRecord> expected = {
        {"Stampwell", "USB01", "FIRST", first},
        {"Stampwell", "USB02", "SECOND", second},
        {"Stampwell", "USB03", thirdSerial, third},
    };
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(found[i].name, expected[i].name);
        EXPECT_EQ(found[i].port, expected[i].port);
        EXPECT_EQ(found[i].serial, expected[i].serial);
        EXPECT_EQ(found[i].devicePath, expected[i].devicePath);
    }
}

TEST(UsbScan, AnEmptyBusLeavesCodeZeroWithItsMessage) {
    FakeUsbBus bus;
    bus.plug("04b8", "0202", "FOREIGN");
    mk::setLastError(-999, "earlier");
    EXPECT_TRUE(mk::scanUsbPrinters().empty());
    EXPECT_TRUE(mk::test::lastErrorIs(0, kNoPrinters));
}

TEST(UsbScan, ABusThatCannotBeListedLeavesMinus501) {
    FakeUsbBus bus;
    bus.plugPrinter("A");
    bus.breakDevicesFolder();
    EXPECT_TRUE(mk::scanUsbPrinters().empty());
    EXPECT_TRUE(mk::test::lastErrorIs(-501, "SetupDiGetClassDevs failed for USB print devices"));
}

TEST(UsbScan, SerialIsTheThirdPieceCutTo31Characters) {
    const std::string forty(40, 'S');
    struct Case {
        std::string identifier;
        std::string serial;
    };
    const Case cases[] = {
        {"usb#vid_9f3c&pid_41a7#ABC123#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}", "ABC123"},
        {"usb#vid_9f3c&pid_41a7#ABC123", "ABC123"},
        {"usb#vid_9f3c&pid_41a7#" + forty + "#usblp", forty.substr(0, 31)},
        {"usb#vid_9f3c&pid_41a7", ""},
        {"usb#vid_9f3c&pid_41a7#", ""},
        {"usb##", ""},
        {"no separators", ""},
        {"", ""},
        {"a#b##d", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(mk::serialFromDevicePath(c.identifier), c.serial) << c.identifier;
}

TEST(UsbFindBySerial, MatchesExactlyOrReportsMinus502) {
    FakeUsbBus bus;
    const std::string abc = bus.plugPrinter("ABC123").devicePath();
    const std::string xyz = bus.plugPrinter("XYZ789").devicePath();
    const std::string longSerial = bus.plugPrinter(std::string(40, 'L')).devicePath();

    struct Case {
        std::string serial;
        std::string devicePath;  // empty: not found
    };
    const Case cases[] = {
        {"XYZ789", xyz},
        {"", abc},  // the first printer found
        {std::string(31, 'L'), longSerial},
        {"abc123", ""},  // case matters
        {"ABC12", ""},
        {std::string(40, 'L'), ""},  // found serials are cut to 31
    };
    for (const Case& c : cases) {
        mk::setLastError(-999, "earlier");
        const mk::UsbDeviceRecord record = mk::findUsbPrinterBySerial(c.serial);
        EXPECT_EQ(record.devicePath, c.devicePath) << c.serial;
        if (c.devicePath.empty()) {
            EXPECT_TRUE(record.name.empty() && record.port.empty() && record.serial.empty());
            EXPECT_TRUE(mk::test::lastErrorIs(-502, "Printer with specified serial number not found"));
        } else {
            EXPECT_EQ(MkGetLastErrorCode(), -999);
        }
    }
}

TEST(UsbFindBySerial, OnAnEmptyBusAnEmptySerialKeepsTheScansMessage) {
    FakeUsbBus bus;
    EXPECT_TRUE(mk::findUsbPrinterBySerial("").devicePath.empty());
    EXPECT_TRUE(mk::test::lastErrorIs(0, kNoPrinters));
    EXPECT_TRUE(mk::findUsbPrinterBySerial("ABC").devicePath.empty());
    EXPECT_TRUE(mk::test::lastErrorIs(-502, "Printer with specified serial number not found"));
}

// Every byte of an element the call did not fill keeps this value.
constexpr unsigned char kUntouched = 0xA5;

TEST(MkPrinterEnumUsb, FillsAtMostMaxCountRecordsZeroPadded) {
    FakeUsbBus bus;
    bus.plugPrinter("ONE");
    bus.plugPrinter(std::string(40, 'S'));
    bus.plugPrinter("THREE");

    struct Case {
        int maxCount;
        int filled;
    };
    for (const Case& c : {Case{2, 2}, Case{10, 3}, Case{3, 3}, Case{1, 1}}) {
        std::vector<UsbPrinterInfo> out(10);
        std::memset(out.data(), kUntouched, out.size() * sizeof(UsbPrinterInfo));
        ASSERT_EQ(MkPrinter_EnumUsb(out.data(), c.maxCount), c.filled) << c.maxCount;
        const char* serials[] = {"ONE", "SSSSSSSSSSSSSSSSSSSSSSSSSSSSSSS", "THREE"};
        for (int i = 0; i < c.filled; ++i) {
            EXPECT_STREQ(out[i].name, "Stampwell");
            EXPECT_STREQ(out[i].port, ("USB0" + std::to_string(i + 1)).c_str());
            EXPECT_STREQ(out[i].serial, serials[i]);
            // Past each text's NUL the record is zero.
            const auto* bytes = reinterpret_cast<const unsigned char*>(&out[i]);
            for (size_t b = std::strlen(out[i].name); b < 64; ++b) EXPECT_EQ(bytes[b], 0) << b;
            for (size_t b = 64 + std::strlen(out[i].port); b < 96; ++b) EXPECT_EQ(bytes[b], 0) << b;
            for (size_t b = 96 + std::strlen(out[i].serial); b < 128; ++b) EXPECT_EQ(bytes[b], 0) << b;
        }
        const auto* rest = reinterpret_cast<const unsigned char*>(&out[c.filled]);
        for (size_t b = 0; b < sizeof(UsbPrinterInfo); ++b) ASSERT_EQ(rest[b], kUntouched);
    }
}

TEST(MkPrinterEnumUsb, NoBufferOrNoRoomReturnsZeroWithoutScanning) {
    FakeUsbBus bus;  // empty: a scan would leave code 0
    UsbPrinterInfo one{};
    for (int maxCount : {0, -1}) {
        mk::setLastError(-999, "earlier");
        EXPECT_EQ(MkPrinter_EnumUsb(&one, maxCount), 0);
        EXPECT_EQ(MkGetLastErrorCode(), -999);
    }
    mk::setLastError(-999, "earlier");
    EXPECT_EQ(MkPrinter_EnumUsb(nullptr, 5), 0);
    EXPECT_EQ(MkGetLastErrorCode(), -999);

    EXPECT_EQ(MkPrinter_EnumUsb(&one, 1), 0);
    EXPECT_TRUE(mk::test::lastErrorIs(0, kNoPrinters));
}

TEST(MkPrinterEnumUsb, OnAMachineWithoutUsbPrintersFindsNone) {
    // The library's own driver, not a fake: the result a host without
    // printers (and every build machine) sees.
    const auto attached = mk::platform::systemUsbDriver().listPrinters();
    if (attached && !attached->empty()) GTEST_SKIP() << "a USB printer is attached";
    UsbPrinterInfo out[4];
    EXPECT_EQ(MkPrinter_EnumUsb(out, 4), 0);
    EXPECT_TRUE(mk::test::lastErrorIs(0, kNoPrinters));
}

}  // namespace
