// A loaded label printed through every interface type, checked where the
// printer receives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "mklabel.h"
#include "comm/comm_timing.h"
#include "support/callback_test_setup.h"
#include "support/fake_net_printer.h"
#include "support/fake_usb_device.h"
#include "support/last_error_check.h"
#ifndef _WIN32
#include "support/private_cupsd.h"
#endif
#include "printed_label.h"
#include "support/reference_labels.h"

namespace {

using mk::test::CallbackTestSetup;
using mk::test::FakeNetPrinter;
using mk::test::FakeUsbBus;
using mk::test::FakeUsbDevice;
using mk::test::LabelPtr;
using mk::test::PrinterPtr;
using std::chrono::milliseconds;

constexpr milliseconds kArrivalWait{5000};
constexpr milliseconds kSpoolerDeliveryWait{15000};
// Long enough for a fake that answers at once, short enough for one that never does.
// The confirmation waits, shortened on top of whatever timing is in place.
mk::CommTiming withShortConfirmations() {
    mk::CommTiming timing = mk::commTiming();
    timing.pnAnswerWait = std::chrono::milliseconds(400);
    timing.rpAnswerWait = std::chrono::milliseconds(400);
    return timing;
}

using mk::test::kPrintCalls;
using mk::test::NamedPrintCall;
using mk::test::PrintCall;

PrinterPtr usbPrinter(int interfaceType, const char* serial) {
    PrinterPtr printer = mk::test::printerOfType(interfaceType);
    MkPrinter_SetUsbSerial(printer.get(), serial);
    return printer;
}

// The device takes what the host writes on a thread of its own: waits
// (bounded) until the bytes it holds end a job, and returns them.
std::string wholeJobFrom(const FakeUsbDevice& device) {
    const auto deadline = std::chrono::steady_clock::now() + kArrivalWait;
    std::string received = device.received();
    while (std::chrono::steady_clock::now() < deadline) {
        const std::optional<mk::test::ReceivedJob> job = mk::test::parsePrintJob(received);
        if (job && !job->lines.empty() && job->lines.back().rfind("GK\"", 0) == 0 && !job->graphic.empty()) break;
        device.waitForReceived(received.size() + 1, milliseconds(50));
        received = device.received();
    }
    return received;
}

TEST(PrintRoutes, UsbPrinterReceivesTheLabel) {
    for (const NamedPrintCall& print : kPrintCalls) {
        SCOPED_TRACE(print.name);
        FakeUsbBus bus;
        bus.plugPrinter("OTHER");
        FakeUsbDevice& device = bus.plugPrinter("LBL-7");
        LabelPtr doc = mk::test::loadLabel(mk::test::smallPrintedLabel());
        PrinterPtr printer = usbPrinter(1, "LBL-7");

        // Not connected beforehand: the call connects on its own.
        ASSERT_EQ(print.call(doc.get(), printer.get()), MK_OK) << MkGetLastErrorMessage();
        mk::test::expectLabelJob(wholeJobFrom(device), doc.get(), printer.get(), "W1,1");
    }
}

TEST(PrintRoutes, ConfirmingUsbPrinterMustAnswerRP) {
    struct Case {
        std::optional<std::string> answer;
        int result;
        int lastError;  // when the call fails
    };
    const Case cases[] = {{"RP", MK_OK, 0},
                          {"\x02RP\x03\r\n", MK_OK, 0},
                          {std::nullopt, MK_PRINT_NO_RESPONSE, MK_ERR_RESPONSE_NONE},
                          {"ER", MK_PRINT_NO_RESPONSE, MK_ERR_RESPONSE_NOT_RP}};
    const mk::ScopedCommTiming waits(withShortConfirmations());
    for (int type : {4, 6, 8}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "type " << type << " answer " << c.answer.value_or("(none)"));
            FakeUsbBus bus;
            FakeUsbDevice& device = bus.plugPrinter("LBL-8");
            if (c.answer) device.answer(*c.answer);
            LabelPtr doc = mk::test::loadLabel(mk::test::smallPrintedLabel());
            PrinterPtr printer = usbPrinter(type, "LBL-8");

            EXPECT_EQ(MkLabelDoc_Print(doc.get(), printer.get()), c.result);
            if (c.result != MK_OK) {
                EXPECT_EQ(MkGetLastErrorCode(), c.lastError);
            }
            // Printed either way: only the confirmation is missing.
            mk::test::expectLabelJob(wholeJobFrom(device), doc.get(), printer.get(), "PR1,1");
        }
    }
}

TEST(PrintRoutes, NetworkPrinterReceivesTheLabel) {
    for (const NamedPrintCall& print : kPrintCalls) {
        SCOPED_TRACE(print.name);
        FakeNetPrinter device;
        LabelPtr doc = mk::test::loadLabel(mk::test::smallPrintedLabel());
        PrinterPtr printer = mk::test::networkPrinter(2, device.address());

        ASSERT_EQ(print.call(doc.get(), printer.get()), MK_OK) << MkGetLastErrorMessage();
        ASSERT_TRUE(device.waitForJobs(1, kArrivalWait));
        mk::test::expectLabelJob(device.jobs()[0], doc.get(), printer.get(), "W1,1");
    }
}

// The job that arrived after the call-back command, which must name the
// test's host address and one of its ports.
std::string afterCallbackCommand(const std::string& received, const CallbackTestSetup& setup) {
    const std::size_t end = received.find("\r\n");
    if (end == std::string::npos) return {};
    const std::string command = received.substr(0, end + 2);
    for (int port = setup.firstPort(); port < setup.firstPort() + 20; ++port) {
        if (command == setup.callbackCommand(port)) return received.substr(end + 2);
    }
    ADD_FAILURE() << "unexpected call-back command " << command;
    return {};
}

TEST(PrintRoutes, ConfirmingNetworkPrinterMustCallBackWithPN) {
    struct Case {
        std::optional<std::string> answer;
        int result;
    };
    const Case cases[] = {{"PN", MK_OK}, {std::nullopt, MK_PRINT_SEND_FAILED}, {"ER", MK_PRINT_SEND_FAILED}};
    const CallbackTestSetup setup;
    const mk::ScopedCommTiming waits(withShortConfirmations());
    for (int type : {5, 7, 9}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "type " << type << " answer " << c.answer.value_or("(none)"));
            FakeNetPrinter device;
            device.setCallbackAnswer(c.answer);
            LabelPtr doc = mk::test::loadLabel(mk::test::smallPrintedLabel());
            PrinterPtr printer = mk::test::networkPrinter(type, device.address());
            MkPrinter_SetName(printer.get(), "not-a-queue");  // must not matter

            EXPECT_EQ(MkLabelDoc_Print(doc.get(), printer.get()), c.result);
            if (c.answer == "ER") {
                EXPECT_EQ(MkGetLastErrorCode(), MK_ERR_PN_NOT_RECEIVED);
            }
            ASSERT_TRUE(device.waitForJobs(1, kArrivalWait));
            ASSERT_EQ(device.jobs().size(), 1u) << "the job goes once, through the call-back exchange";
            mk::test::expectLabelJob(afterCallbackCommand(device.jobs()[0], setup), doc.get(), printer.get(),
                                     "PN1,1");
        }
    }
}

// On Windows: comm/win32/spooler_test.cpp, under a scheduler its runner starts.
#ifndef _WIN32
TEST(PrintRoutes, SpoolerQueueDeliversTheLabel) {
    mk::test::PrivateCupsd cupsd;
    ASSERT_TRUE(cupsd.ready()) << cupsd.log();
    FakeNetPrinter device;
    ASSERT_TRUE(cupsd.addRawQueue("labels", device.address(), 9100)) << cupsd.log();
    LabelPtr doc = mk::test::loadLabel(mk::test::smallPrintedLabel());
    PrinterPtr printer = mk::test::printerOfType(0);
    MkPrinter_SetName(printer.get(), "labels");

    ASSERT_EQ(MkLabelDoc_Print(doc.get(), printer.get()), MK_OK) << MkGetLastErrorMessage();
    ASSERT_TRUE(device.waitForJobs(1, kSpoolerDeliveryWait)) << cupsd.log();
    mk::test::expectLabelJob(device.jobs()[0], doc.get(), printer.get(), "W1,1");
}
#endif

// A mistyped address must fail every network call before a byte leaves: Linux
// connects a text that does not convert (0.0.0.0) to the local host, so a
// printer listening on 127.0.0.1 shows whether anything went out. Those ports
// may be another program's, which no test can take from it: the results are
// checked whether or not that printer listens.
TEST(PrintRoutes, MistypedNetworkAddressReachesNothing) {
    struct Case {
        const char* address;
        int print;      // both label print calls, plain and confirmed
        int blankPage;
        int status;
        int tagError;
    };
    const int sent = MK_PRINT_SEND_FAILED;
    const int blankSent = MK_BLANK_SEND_FAILED;
    const Case cases[] = {
        {"bogus", sent, blankSent, -504, MK_ERR_TAG_CALLBACK},
        {"printer.local", sent, blankSent, -504, MK_ERR_TAG_CALLBACK},
        {"300.1.1.1", sent, blankSent, -504, MK_ERR_TAG_CALLBACK},
        {" 10.0.0.5", sent, blankSent, -504, MK_ERR_TAG_CALLBACK},
        {"10.0.0.5 ", sent, blankSent, -504, MK_ERR_TAG_CALLBACK},
        {"10.0.0.5.", sent, blankSent, -504, MK_ERR_TAG_CALLBACK},
        {"fe80::1", sent, blankSent, -504, MK_ERR_TAG_CALLBACK},
        {"0.0.0.0", sent, blankSent, -504, MK_ERR_TAG_CALLBACK},
        {"", MK_PRINT_CONNECT_FAILED, MK_BLANK_CONNECT_FAILED, -1, MK_ERR_TAG_NET_ADDRESS},
    };
    const CallbackTestSetup setup;
    FakeNetPrinter local(FakeNetPrinter::Options{.address = "127.0.0.1"});
    local.setCallbackAnswer("PN");
    if (!local.listening()) std::printf("127.0.0.1:9100 or :59100 is another program's: only the results are checked\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("address \"") + c.address + "\"");
        LabelPtr doc = mk::test::loadLabel(mk::test::smallPrintedLabel());
        for (int type : {2, 5}) {
            PrinterPtr printer = mk::test::networkPrinter(type, c.address);
            EXPECT_EQ(MkLabelDoc_Print(doc.get(), printer.get()), c.print);
            EXPECT_EQ(MkLabelDoc_PrintBlankPage(doc.get(), printer.get(), 1), c.blankPage);
        }
        PrinterPtr printer = mk::test::networkPrinter(2, c.address);
        EXPECT_EQ(MkPrinter_GetStatusCode(printer.get()), c.status);
        char tag[16] = "stale";
        EXPECT_EQ(MkPrinter_ReadUHFTag(printer.get(), 1, 6, 200, tag, sizeof tag), -1);
        EXPECT_STREQ(tag, "");
        EXPECT_EQ(MkGetLastErrorCode(), c.tagError);
    }
    EXPECT_FALSE(local.waitForJobs(1, milliseconds(100))) << "a job reached 127.0.0.1";
    EXPECT_TRUE(local.statusRequests().empty()) << "a status request reached 127.0.0.1";
}

TEST(PrintRoutes, FailedSendIsReported) {
    const CallbackTestSetup setup;
    for (int type : {2, 5}) {
        SCOPED_TRACE(type);
        FakeNetPrinter device(FakeNetPrinter::Options{.raw = FakeNetPrinter::Behaviour::Refuse});
        LabelPtr doc = mk::test::loadLabel(mk::test::smallPrintedLabel());
        PrinterPtr printer = mk::test::networkPrinter(type, device.address());
        EXPECT_EQ(MkLabelDoc_Print(doc.get(), printer.get()), MK_PRINT_SEND_FAILED);
    }
    // A USB printer that takes the first chunk and then refuses the rest,
    // and one that is unplugged: the job did not arrive, so the print fails.
    const std::function<void(FakeUsbDevice&)> failures[] = {
        [](FakeUsbDevice& d) { d.refuseAfter(512); },
        [](FakeUsbDevice& d) { d.failTransfers(mk::platform::UsbOutcome::Gone); },
    };
    for (const auto& fail : failures) {
        FakeUsbBus bus;
        fail(bus.plugPrinter("LBL-9"));
        LabelPtr doc = mk::test::loadLabel(mk::test::smallPrintedLabel());
        PrinterPtr printer = usbPrinter(4, "LBL-9");
        EXPECT_EQ(MkLabelDoc_Print(doc.get(), printer.get()), MK_PRINT_SEND_FAILED);
        EXPECT_EQ(MkGetLastErrorCode(), MK_ERR_USB_WRITE_FAILED);
    }
}

}  // namespace
