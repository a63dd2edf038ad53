#include "comm/tag_read.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "comm/comm_timing.h"
#include "comm/net_transport.h"
#include "comm/usb_io.h"
#include "mklabel.h"
#include "model/last_error.h"
#include "portable/socket_use.h"
#include "support/callback_test_setup.h"
#include "support/fake_net_printer.h"
#include "support/fake_usb_device.h"
#include "support/handles.h"
#include "support/last_error_check.h"
#include "support/loopback.h"
#include "support/test_sockets.h"

namespace {

using mk::test::CallbackTestSetup;
using mk::test::FakeNetPrinter;
using mk::test::FakeUsbBus;
using mk::test::FakeUsbDevice;
using mk::test::PrinterPtr;
using std::chrono::milliseconds;

constexpr milliseconds kFakeWait{5000};
const std::string kFramedTag = "\x02" "0123ABCD\x03\r\n";

PrinterPtr usbPrinter(const FakeUsbDevice& device, int type = 1) {
    PrinterPtr printer(MkPrinter_Create());
    MkPrinter_SetInterface(printer.get(), type);
    printer->usbDevicePath = device.devicePath();  // as connecting finds it
    return printer;
}

PrinterPtr networkPrinter(const std::string& address, int type = 2) {
    PrinterPtr printer(MkPrinter_Create());
    MkPrinter_SetInterface(printer.get(), type);
    MkPrinter_SetNetAddress(printer.get(), address.c_str());
    return printer;
}

// One call of either export with a fixed tag command.
struct TagRead {
    const char* name;
    std::function<int(Printer*, int timeoutMs, char* buffer, int size)> read;
    std::vector<std::string> usbCommands;  // written to the device, one write each
    std::string netCommand;                // the payload after the call-back command
};

const std::vector<TagRead>& tagReads() {
    static const std::vector<TagRead> reads = {
        {"HF",
         [](Printer* p, int t, char* b, int s) { return MkPrinter_ReadHFTag(p, 2, 4, 3, t, b, s); },
         {"HS2,2,1,0\r\n", "HR4,1,0,3,3,2,1\r\n"},
         "HI4,2,0,2,3,2\r\n"},
        {"UHF",
         [](Printer* p, int t, char* b, int s) { return MkPrinter_ReadUHFTag(p, 1, 6, t, b, s); },
         {"RD1,1,0,6\r\n"},
         "RD1,2,0,6\r\n"},
    };
    return reads;
}

// What the caller's buffer holds after a read with this answer.
struct AnswerCase {
    std::string answer;
    int size;
    int result;
    std::string text;
};

class TagReadOverNetwork : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(mk::platform::SocketUse::count(), 0); }
    CallbackTestSetup setup;
};

TEST_F(TagReadOverNetwork, CommandsTravelThroughTheCallback) {
    for (const TagRead& read : tagReads()) {
        SCOPED_TRACE(read.name);
        for (int type : {2, 5, 7, 9}) {
            SCOPED_TRACE(type);
            FakeNetPrinter device;
            device.setCallbackAnswer(kFramedTag);
            PrinterPtr printer = networkPrinter(device.address(), type);
            char buffer[64];
            EXPECT_EQ(read.read(printer.get(), 2000, buffer, sizeof buffer), 8);
            EXPECT_STREQ(buffer, "0123ABCD");
            ASSERT_TRUE(device.waitForJobs(1, kFakeWait));
            const std::string job = device.jobs()[0];
            ASSERT_EQ(job.rfind("NB", 0), 0u);
            EXPECT_EQ(job.substr(job.find("\r\n") + 2), read.netCommand);
        }
    }
}

TEST_F(TagReadOverNetwork, AnswersFillTheBuffer) {
    const AnswerCase cases[] = {
        {"X", 64, 0, ""},
        {"\x02X\x03\r\n", 64, 0, ""},
        {"XYZ", 64, 0, ""},            // any answer beginning with X means no tag
        {"0123456789", 5, 4, "0123"},  // cut to the buffer
        {"ABCD", 1, 0, ""},            // nothing fits before the NUL
    };
    for (const TagRead& read : tagReads()) {
        for (const AnswerCase& c : cases) {
            SCOPED_TRACE(std::string(read.name) + " " + c.answer);
            FakeNetPrinter device;
            device.setCallbackAnswer(c.answer);
            PrinterPtr printer = networkPrinter(device.address());
            char buffer[64];
            std::memset(buffer, '?', sizeof buffer);
            EXPECT_EQ(read.read(printer.get(), 2000, buffer, c.size), c.result);
            EXPECT_EQ(std::string(buffer), c.text);
        }
    }
}

TEST_F(TagReadOverNetwork, EmptyOrMissingAnswerIsACallbackFailure) {
    for (const TagRead& read : tagReads()) {
        for (const std::optional<std::string>& answer : {std::optional<std::string>("\r\n"), std::optional<std::string>()}) {
            SCOPED_TRACE(read.name);
            FakeNetPrinter device;
            device.setCallbackAnswer(answer);
            PrinterPtr printer = networkPrinter(device.address());
            char buffer[16] = "stale";
            EXPECT_EQ(read.read(printer.get(), 300, buffer, sizeof buffer), -1);
            EXPECT_STREQ(buffer, "");
            EXPECT_TRUE(mk::test::lastErrorIs(MK_ERR_TAG_CALLBACK, "readTagViaNet: callback failed"));
        }
    }
}

TEST_F(TagReadOverNetwork, StrangerCannotInjectTagData) {
    FakeNetPrinter device;
    device.setForeignCallback("\x02" "FFFFFFFF\x03\r\n");
    device.setCallbackAnswer(kFramedTag);
    PrinterPtr printer = networkPrinter(device.address());
    char buffer[64];
    EXPECT_EQ(MkPrinter_ReadUHFTag(printer.get(), 1, 6, 2000, buffer, sizeof buffer), 8);
    EXPECT_STREQ(buffer, "0123ABCD");
}

// Different handles may be used on different threads at once: each read
// must get a call-back port of its own.
TEST_F(TagReadOverNetwork, HandlesOnDifferentThreadsReadAtOnce) {
    constexpr int kThreads = 4;
    constexpr int kReadsEach = 50;
    std::vector<std::unique_ptr<FakeNetPrinter>> devices;
    for (int i = 0; i < kThreads; ++i) {
        devices.push_back(std::make_unique<FakeNetPrinter>());
        devices.back()->setCallbackAnswer(kFramedTag);
    }
    std::atomic<int> failures{0};
    std::vector<std::string> firstFailure(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            PrinterPtr printer = networkPrinter(devices[static_cast<std::size_t>(i)]->address());
            for (int read = 0; read < kReadsEach; ++read) {
                char buffer[64];
                if (MkPrinter_ReadUHFTag(printer.get(), 1, 6, 2000, buffer, sizeof buffer) == 8 &&
                    std::strcmp(buffer, "0123ABCD") == 0) {
                    continue;
                }
                if (failures.fetch_add(1) == 0) firstFailure[static_cast<std::size_t>(i)] = MkGetLastErrorMessage();
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0) << firstFailure[0] << firstFailure[1] << firstFailure[2] << firstFailure[3];
}

// Connects to an address's ports from a loopback address of its own, over
// and over, one port after the other, on a thread of its own, holding up to
// 64 connections at a time, as a scanner on the network would. Stops after
// 20000 attempts or when it goes.
class StrangerFlood {
public:
    StrangerFlood(const std::string& address, int firstPort, int ports)
        : thread_([this, address, firstPort, ports] { run(address, firstPort, ports); }) {}
    ~StrangerFlood() {
        stop_ = true;
        thread_.join();
    }
    StrangerFlood(const StrangerFlood&) = delete;
    StrangerFlood& operator=(const StrangerFlood&) = delete;
    int attempts() const { return attempts_.load(); }

private:
    void run(const std::string& address, int firstPort, int ports) {
        const std::string from = mk::test::uniqueLoopbackAddress();
        const sockaddr_in local = mk::test::socketAddress(from, 0);
        sockaddr_in target = mk::test::socketAddress(address, 0);
        std::vector<int> held(64, -1);
        for (int attempt = 0; attempt < 20000 && !stop_; ++attempt) {
            target.sin_port = htons(static_cast<uint16_t>(firstPort + attempt % ports));
            int& slot = held[static_cast<std::size_t>(attempt) % held.size()];
            if (slot >= 0) mk::test::closeSocket(slot);
            slot = mk::test::openSocket(true);
            if (slot < 0) continue;
            if (bind(slot, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0) {
                (void)connect(slot, reinterpret_cast<sockaddr*>(&target), sizeof target);
            }
            attempts_.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        for (int fd : held) {
            if (fd >= 0) mk::test::closeSocket(fd);
        }
    }

    std::atomic<bool> stop_{false};
    std::atomic<int> attempts_{0};
    std::thread thread_;
};

TEST_F(TagReadOverNetwork, StrangersConnectingMeanwhileDoNotStarveTheCallback) {
    FakeNetPrinter device;
    device.setCallbackAnswer(kFramedTag);
    PrinterPtr printer = networkPrinter(device.address());
    int failures = 0;
    {
        StrangerFlood flood(setup.hostAddress(), setup.firstPort(), 20);  // the port may move on
        for (int read = 0; read < 10; ++read) {
            char buffer[64];
            if (MkPrinter_ReadUHFTag(printer.get(), 1, 6, 700, buffer, sizeof buffer) != 8) ++failures;
        }
        EXPECT_GT(flood.attempts(), 100);
    }
    EXPECT_EQ(failures, 0);
}

TEST_F(TagReadOverNetwork, AddressProblemsAreReported) {
    for (const TagRead& read : tagReads()) {
        SCOPED_TRACE(read.name);
        char buffer[16];
        PrinterPtr noAddress = networkPrinter("");
        EXPECT_EQ(read.read(noAddress.get(), 300, buffer, sizeof buffer), -1);
        EXPECT_TRUE(mk::test::lastErrorIs(MK_ERR_TAG_NET_ADDRESS, "readTagViaNet: printer IP not set"));
        PrinterPtr noDot = networkPrinter("printer");
        EXPECT_EQ(read.read(noDot.get(), 5000, buffer, sizeof buffer), -1);
        EXPECT_TRUE(mk::test::lastErrorIs(MK_ERR_TAG_CALLBACK, "readTagViaNet: callback failed"));
    }
}

TEST(TagRead, BufferAndInterfaceAreCheckedFirst) {
    struct Case {
        const char* name;
        std::function<int(Printer*, char*, int)> read;
        int bufferCode;
        std::string bufferMessage;
        int interfaceCode;
        std::string interfaceMessage;
    };
    const Case cases[] = {
        {"HF", [](Printer* p, char* b, int s) { return MkPrinter_ReadHFTag(p, 1, 0, 1, 100, b, s); }, -550,
         "readHFTag: invalid buffer", -551, "readHFTag: unsupported interface"},
        {"UHF", [](Printer* p, char* b, int s) { return MkPrinter_ReadUHFTag(p, 1, 6, 100, b, s); }, -531,
         "readUHFTag: invalid buffer", -535, "readUHFTag: unsupported interface"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PrinterPtr printer(MkPrinter_Create());
        MkPrinter_SetInterface(printer.get(), 2);
        MkPrinter_SetNetAddress(printer.get(), "127.0.0.1");
        char buffer[8];
        EXPECT_EQ(c.read(printer.get(), nullptr, 8), -1);
        EXPECT_TRUE(mk::test::lastErrorIs(c.bufferCode, c.bufferMessage));
        EXPECT_EQ(c.read(printer.get(), buffer, 0), -1);
        EXPECT_TRUE(mk::test::lastErrorIs(c.bufferCode, c.bufferMessage));
        for (int type : {0, 3, 10, -1}) {
            SCOPED_TRACE(type);
            MkPrinter_SetInterface(printer.get(), type);
            std::strcpy(buffer, "stale");
            EXPECT_EQ(c.read(printer.get(), buffer, sizeof buffer), -1);
            EXPECT_TRUE(mk::test::lastErrorIs(c.interfaceCode, c.interfaceMessage));
            EXPECT_STREQ(buffer, "");
        }
        mk::setLastError(-777, "before");
        EXPECT_EQ(c.read(nullptr, buffer, sizeof buffer), -1);
        EXPECT_TRUE(mk::test::lastErrorIs(-777, "before"));
    }
}

TEST(TagReadOverUsb, CommandsAreWrittenAndTheAnswerRead) {
    for (const TagRead& read : tagReads()) {
        for (int type : {1, 4, 6, 8}) {
            SCOPED_TRACE(std::string(read.name) + " " + std::to_string(type));
            FakeUsbBus bus;
            FakeUsbDevice& device = bus.plugPrinter("TAG1");
            device.answer(kFramedTag);
            PrinterPtr printer = usbPrinter(device, type);
            char buffer[64];
            EXPECT_EQ(read.read(printer.get(), 1000, buffer, sizeof buffer), 8);
            EXPECT_STREQ(buffer, "0123ABCD");
            EXPECT_EQ(device.writes(), read.usbCommands);
        }
    }
}

TEST(TagReadOverUsb, AnswersFillTheBuffer) {
    const AnswerCase cases[] = {
        {"X\r\n", 64, 0, ""},
        {"\r\n", 64, 0, ""},  // unlike the network, an empty answer is no failure here
        {"0123456789", 5, 4, "0123"},
        {"ABCD", 1, 0, ""},
    };
    for (const TagRead& read : tagReads()) {
        for (const AnswerCase& c : cases) {
            SCOPED_TRACE(std::string(read.name) + " " + c.answer);
            FakeUsbBus bus;
            FakeUsbDevice& device = bus.plugPrinter("TAG1");
            device.answer(c.answer);
            PrinterPtr printer = usbPrinter(device);
            char buffer[64];
            std::memset(buffer, '?', sizeof buffer);
            EXPECT_EQ(read.read(printer.get(), 1000, buffer, c.size), c.result);
            EXPECT_EQ(std::string(buffer), c.text);
        }
    }
}

TEST(TagReadOverUsb, NoAnswerFailsWithTheReadsOwnCode) {
    for (const TagRead& read : tagReads()) {
        SCOPED_TRACE(read.name);
        FakeUsbBus bus;
        FakeUsbDevice& device = bus.plugPrinter("TAG1");
        PrinterPtr printer = usbPrinter(device);
        char buffer[16];
        EXPECT_EQ(read.read(printer.get(), 150, buffer, sizeof buffer), -1);
        EXPECT_TRUE(mk::test::lastErrorIs(MK_ERR_USB_READ_TIMEOUT, "readUsb: timeout"));
    }
}

TEST(TagReadOverUsb, UnsentCommandsAreReported) {
    struct Case {
        const char* name;
        std::function<int(Printer*, char*, int)> read;
        size_t failingWrite;
        int code;
        std::string message;
    };
    const Case cases[] = {
        {"HS", [](Printer* p, char* b, int s) { return MkPrinter_ReadHFTag(p, 1, 0, 1, 100, b, s); }, 0, -552,
         "readHFTag: failed to send HS command"},
        {"HR", [](Printer* p, char* b, int s) { return MkPrinter_ReadHFTag(p, 1, 0, 1, 100, b, s); }, 1, -553,
         "readHFTag: failed to send HR command"},
        {"RD", [](Printer* p, char* b, int s) { return MkPrinter_ReadUHFTag(p, 1, 6, 100, b, s); }, 0, -532,
         "readUHFTag: failed to send RD command"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeUsbBus bus;
        FakeUsbDevice& device = bus.plugPrinter("TAG1");
        device.cutWrite(c.failingWrite, 3);
        device.answer(kFramedTag);
        PrinterPtr printer = usbPrinter(device);
        char buffer[16];
        EXPECT_EQ(c.read(printer.get(), buffer, sizeof buffer), -1);
        EXPECT_TRUE(mk::test::lastErrorIs(c.code, c.message));
    }
    // No device path (never connected): the send fails the same way.
    PrinterPtr unconnected(MkPrinter_Create());
    char buffer[16];
    EXPECT_EQ(MkPrinter_ReadUHFTag(unconnected.get(), 1, 6, 100, buffer, sizeof buffer), -1);
    EXPECT_TRUE(mk::test::lastErrorIs(-532, "readUHFTag: failed to send RD command"));
}

TEST(PrintResponse, PrinterMustAnswerRP) {
    const mk::ScopedCommTiming quick({.usbResponsePause = std::chrono::milliseconds(5)});
    struct Case {
        std::optional<std::string> answer;
        bool good;
        int code;
        std::string message;
    };
    const Case cases[] = {
        {"OKRP", true, 0, ""},
        {"RP\r\n", true, 0, ""},
        {"R?P", false, -542, "readPrintResponseUsb: expected 'RP' not received"},
        {"PR", false, -542, "readPrintResponseUsb: expected 'RP' not received"},
        {std::nullopt, false, -541, "readPrintResponse: no response from printer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer.value_or("(none)"));
        for (int type : {1, 4, 6, 8}) {
            FakeUsbBus bus;
            FakeUsbDevice& device = bus.plugPrinter("RESP");
            if (c.answer) device.answer(*c.answer);
            PrinterPtr printer = usbPrinter(device, type);
            mk::setLastError(0, "");
            EXPECT_EQ(mk::readPrintResponse(*printer, 150), c.good);
            if (!c.good) {
                EXPECT_TRUE(mk::test::lastErrorIs(c.code, c.message));
            }
        }
    }
}

TEST(PrintResponse, OnlyAConnectedUsbPrinterIsAsked) {
    for (int type : {0, 2, 3, 5, 9, -1}) {
        SCOPED_TRACE(type);
        Printer printer;
        printer.interfaceType = type;
        printer.usbDevicePath = "/dev/usb/lp0";
        EXPECT_FALSE(mk::readPrintResponse(printer, 100));
        EXPECT_TRUE(mk::test::lastErrorIs(MK_ERR_RESPONSE_NOT_USB, "readPrintResponse: not a USB connection"));
    }
    Printer unconnected;
    unconnected.interfaceType = 1;
    EXPECT_FALSE(mk::readPrintResponse(unconnected, 100));
    EXPECT_TRUE(mk::test::lastErrorIs(MK_ERR_RESPONSE_NOT_USB, "readPrintResponse: not a USB connection"));

    FakeUsbBus bus;
    FakeUsbDevice& device = bus.plugPrinter("RESP");
    device.refuseOpen(true);
    Printer gone;
    gone.interfaceType = 4;
    gone.usbDevicePath = device.devicePath();
    EXPECT_FALSE(mk::readPrintResponse(gone, 100));
    EXPECT_TRUE(mk::test::lastErrorIs(MK_ERR_USB_OPEN_READ, "Failed to open USB device for read: " + device.devicePath()));
}

}  // namespace
