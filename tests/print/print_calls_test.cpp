// What the print calls do to the document and which failures they report;
// the blank page.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "mklabel.h"
#include "model/variables.h"
#include "print/rfid_commands.h"
#include "render/barcode_object.h"
#include "support/lsf_writer.h"
#include "support/fake_net_printer.h"
#include "support/fake_usb_device.h"
#include "support/hostile_objects.h"
#include "printed_label.h"

namespace {

using mk::test::FakeNetPrinter;
using mk::test::LabelPtr;
using mk::test::PrinterPtr;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kArrivalWait{5000};
constexpr milliseconds kNothingArrives{300};

using mk::test::kPrintCalls;
using mk::test::NamedPrintCall;
using mk::test::PrintCall;
using BlankPageCall = int (*)(LabelDoc*, Printer*, int);

struct NamedBlankCall {
    const char* name;
    BlankPageCall call;
};
const NamedBlankCall kBlankCalls[] = {{"MkLabelDoc_PrintBlankPage", MkLabelDoc_PrintBlankPage},
                                      {"MkLabel_PrintBlankPage", MkLabel_PrintBlankPage}};

std::string dataOf(const LabelDoc* doc, int index) {
    char buffer[256];
    return MkObject_GetData(doc, index, buffer, sizeof buffer) >= 0 ? buffer : "(unreadable)";
}

// Prints on a network printer of its own; the job it received, or "" when
// nothing came.
struct NetPrint {
    int result;
    std::string job;
};
NetPrint printOnNetwork(PrintCall call, LabelDoc* doc, int dpi = 203) {
    FakeNetPrinter device;
    PrinterPtr printer = mk::test::networkPrinter(2, device.address(), dpi);
    const int result = call(doc, printer.get());
    const bool arrived = device.waitForJobs(1, result == MK_OK ? kArrivalWait : kNothingArrives);
    return {result, arrived ? device.jobs()[0] : std::string()};
}

std::vector<std::string> linesOf(const std::string& job) {
    const std::optional<mk::test::ReceivedJob> parsed = mk::test::parsePrintJob(job);
    EXPECT_TRUE(parsed.has_value());
    return parsed ? parsed->lines : std::vector<std::string>{};
}

TEST(PrintCalls, MissingHandlesAreRefused) {
    LabelPtr doc(MkLabel_Create());
    PrinterPtr printer(MkPrinter_Create());
    for (const NamedPrintCall& print : kPrintCalls) {
        SCOPED_TRACE(print.name);
        EXPECT_EQ(print.call(nullptr, printer.get()), MK_PRINT_BAD_ARGS);
        EXPECT_EQ(print.call(doc.get(), nullptr), MK_PRINT_BAD_ARGS);
    }
    for (const NamedBlankCall& blank : kBlankCalls) {
        SCOPED_TRACE(blank.name);
        EXPECT_EQ(blank.call(nullptr, printer.get(), 0), MK_BLANK_BAD_ARGS);
        EXPECT_EQ(blank.call(doc.get(), nullptr, 0), MK_BLANK_BAD_ARGS);
    }
}

TEST(PrintCalls, DocumentIsRescaledOnceForItsPrinter) {
    LabelPtr doc = mk::test::loadLabel(mk::test::smallPrintedLabel());
    const int barcode = 4;
    const int image = 3;
    // A preview at the printer's resolution rescales already; the prints
    // after it must not do it again.
    PrinterPtr previewPrinter = mk::test::printerOfType(2, 300);
    void* pixels = nullptr;
    int width = 0, height = 0, stride = 0;
    ASSERT_EQ(MkLabelDoc_Render(doc.get(), previewPrinter.get(), 0, &pixels, &width, &height, &stride), MK_OK);
    MkFree(pixels);
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        const NetPrint printed = printOnNetwork(MkLabelDoc_Print, doc.get(), 300);
        ASSERT_EQ(printed.result, MK_OK);
        // 2 dots at 203 dpi are 3 at 300; a second rescale would make them 4.
        EXPECT_EQ(doc->objects[barcode].barcodescale, 3.0f);
        EXPECT_FLOAT_EQ(doc->objects[image].scale, 1.48f);
        EXPECT_EQ(doc->scaledDpi, 300);
        EXPECT_EQ(linesOf(printed.job).at(3), "q354");
    }
}

TEST(PrintCalls, LabelKindPrintsAsStoredAtThePrintersResolution) {
    LabelPtr doc = mk::test::loadLabel(mk::test::smallPrintedLabel());
    ASSERT_EQ(MkObject_SetVariableAll(doc.get(), "lot", "Lot 4711"), 0);
    const NetPrint printed = printOnNetwork(MkLabel_Print, doc.get(), 300);
    ASSERT_EQ(printed.result, MK_OK);
    EXPECT_EQ(doc->objects[4].barcodescale, 2.0f);
    EXPECT_EQ(doc->scaledDpi, 0);
    EXPECT_EQ(dataOf(doc.get(), 0), "Lot 0001");
    EXPECT_EQ(linesOf(printed.job).at(3), "q354");
}

TEST(PrintCalls, VariableTextReplacesDataUnlessItComesOutEmpty) {
    LabelDoc design;
    design.labelwidth = 20.0f;
    design.labelheight = 10.0f;
    struct Case {
        const char* name;
        bool enable;
        const char* ids;
        std::vector<std::pair<int, std::string>> variables;  // id, value
        const char* printed;  // objectdata after the print
    };
    const std::vector<Case> cases = {
        {"text_filled", true, "1", {{1, "A-17"}}, "A-17"},
        {"text_two", true, "1,2", {{1, "A"}, {2, "17"}}, "A17"},
        {"text_disabled", false, "1", {{1, "B-5"}}, "B-5"},
        {"text_unknown_id", true, "9", {{1, "C-1"}}, "stored"},
        {"text_empty_value", true, "1", {{1, ""}}, "stored"},
        {"text_no_ids", true, "", {{1, "D-2"}}, "stored"},
        {"barcode_ids_only", true, "3", {}, "stored"},
    };
    for (const Case& c : cases) {
        LabelObject& object = design.objects.emplace_back();
        object.ObjectName = c.name;
        object.objectdata = "stored";
        object.enable = c.enable;
        object.datachild_IDs = c.ids;
        for (const auto& [id, value] : c.variables) {
            LabelVariable& variable = object.Variables.emplace_back();
            variable.id = id;
            variable.data = value;
        }
    }
    LabelPtr composed = mk::test::loadLabel(design);
    LabelPtr stored = mk::test::loadLabel(design);
    ASSERT_EQ(printOnNetwork(MkLabelDoc_Print, composed.get()).result, MK_OK);
    ASSERT_EQ(printOnNetwork(MkLabel_Print, stored.get()).result, MK_OK);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(dataOf(composed.get(), static_cast<int>(i)), cases[i].printed);
        EXPECT_EQ(dataOf(stored.get(), static_cast<int>(i)), "stored");
    }
}

TEST(PrintCalls, TagsAreWrittenForEnabledWritableRfidObjectsOnly) {
    struct Case {
        const char* name;
        bool enable;
        bool readOnly;
        bool written;
    };
    const Case cases[] = {
        {"rfidTag", true, false, true},   {"RFIDTag", true, false, false},  {"myrfid", true, false, false},
        {"rfi", true, false, false},      {"rfidOff", false, false, false}, {"rfidReadOnly", true, true, false},
        {"rfid", true, false, true},      {"text_rfid", true, false, false},
    };
    LabelDoc design;
    design.labelwidth = 20.0f;
    design.labelheight = 10.0f;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        LabelObject& object = design.objects.emplace_back();
        object.ObjectName = cases[i].name;
        object.objectdata = "A0B0C0D0E0F0A0B0C0" + std::to_string(100000 + i);  // 24 hex digits, distinct
        object.RFIDDatatype = 1;
        object.enable = cases[i].enable;
        object.ReadIDOnly = cases[i].readOnly;
    }
    for (const NamedPrintCall& print : kPrintCalls) {
        SCOPED_TRACE(print.name);
        LabelPtr doc = mk::test::loadLabel(design);
        const NetPrint printed = printOnNetwork(print.call, doc.get());
        ASSERT_EQ(printed.result, MK_OK);
        std::string tagLines;
        for (const std::string& line : linesOf(printed.job)) {
            if (line.rfind("RF", 0) == 0) tagLines += line + "\n";
        }
        std::string expected;
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            if (cases[i].written) expected += "RF1,0,0,12,1,\"" + design.objects[i].objectdata + "\"\n";
        }
        EXPECT_EQ(tagLines, expected);
    }
}

TEST(PrintCalls, TagDataTheTagCannotHoldStopsThePrintBeforeAnythingIsSent) {
    const std::string longUri = "https://example.com/" + std::string(300, 'a');
    const std::string half(mk::kMaxLabelRfidBytes / 2, 't');
    struct Case {
        std::vector<std::string> data;  // one tag object each
        int dataType;
        bool enable;
        bool readOnly;
        int encoderType;
        int result;
    };
    // Only objects whose tag is written are checked; encoder type 4 writes none.
    // The data bound holds for the label's tags together, counted as given
    // (text is sent as hexadecimal, twice as long).
    const Case cases[] = {{{longUri}, 2, true, false, 1, MK_PRINT_JOB_FAILED},
                          {{longUri}, 2, false, false, 1, MK_OK},
                          {{longUri}, 2, true, true, 1, MK_OK},
                          {{longUri}, 2, true, false, 4, MK_OK},
                          {{half, half}, 0, true, false, 0, MK_OK},
                          {{half, half + "t"}, 0, true, false, 0, MK_PRINT_JOB_FAILED}};
    for (const NamedPrintCall& print : kPrintCalls) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << print.name << " enable " << c.enable << " read-only " << c.readOnly
                                            << " encoder " << c.encoderType << " tags " << c.data.size());
            LabelDoc design = mk::test::smallPrintedLabel();
            for (const std::string& data : c.data) {
                LabelObject& tag = design.objects.emplace_back();
                tag.ObjectName = "rfid" + std::to_string(design.objects.size());
                tag.objectdata = data;
                tag.RFIDEncodertype = c.encoderType;
                tag.RFIDDatatype = c.dataType;  // 2: an NDEF URI record, at most 254 bytes
                tag.enable = c.enable;
                tag.ReadIDOnly = c.readOnly;
            }
            LabelPtr doc = mk::test::loadLabel(design);
            const NetPrint printed = printOnNetwork(print.call, doc.get());
            EXPECT_EQ(printed.result, c.result);
            EXPECT_EQ(printed.job.empty(), c.result != MK_OK);
        }
    }
}

TEST(PrintCalls, LabelThatCannotBeRenderedIsNotSent) {
    // Under one dot wide; beyond the largest surface (15 984 x 15 984 dots).
    const float sizes[][2] = {{0.05f, 30}, {2000, 2000}};
    for (const NamedPrintCall& print : kPrintCalls) {
        for (const auto& [width, height] : sizes) {
            SCOPED_TRACE(print.name);
            LabelPtr doc = mk::test::loadLabel(mk::test::smallPrintedLabel());
            MkLabel_SetWidth(doc.get(), width);
            MkLabel_SetHeight(doc.get(), height);
            const NetPrint printed = printOnNetwork(print.call, doc.get());
            EXPECT_EQ(printed.result, MK_PRINT_JOB_FAILED) << width;
            EXPECT_TRUE(printed.job.empty());
        }
        // Pictures beyond what one call may decode: five of 100 megapixels.
        LabelPtr doc = mk::test::loadLabel(mk::test::smallPrintedLabel());
        for (uint32_t colour = 1; colour <= 5; ++colour) {
            LabelObject& object = doc->objects.emplace_back();
            object.ObjectName = "image1";
            object.imagedata = mk::test::objectBytes(mk::test::sparseRunLengthBitmap(10000, 10000, colour, 16));
        }
        const NetPrint printed = printOnNetwork(print.call, doc.get());
        EXPECT_EQ(printed.result, MK_PRINT_JOB_FAILED);
        EXPECT_TRUE(printed.job.empty());
    }
}

TEST(PrintCalls, CompositionBeyondTheBoundIsNotSent) {
    LabelDoc design = mk::test::smallPrintedLabel();
    LabelObject& text = design.objects.front();
    text.datachild_IDs = "1,1";
    LabelVariable padded;
    padded.id = 1;
    padded.fixedlength = static_cast<int>(mk::kMaxLabelTextBytes / 2 + 1);
    text.Variables = {padded};
    for (const NamedPrintCall& print : kPrintCalls) {
        SCOPED_TRACE(print.name);
        LabelPtr doc = mk::test::loadLabel(design);
        const NetPrint printed = printOnNetwork(print.call, doc.get());
        // The label kind does not compose, and prints the stored text.
        EXPECT_EQ(printed.result, print.call == MkLabelDoc_Print ? MK_PRINT_JOB_FAILED : MK_OK);
        // Compared by size and first bytes: a text composed after all is 4 MiB.
        const std::string& kept = doc->objects.front().objectdata;
        const std::string& designed = design.objects.front().objectdata;
        EXPECT_EQ(kept.size(), designed.size());
        EXPECT_TRUE(kept == designed) << "begins with \"" << kept.substr(0, 32) << "\"";
    }
}

TEST(PrintCalls, BarcodeDataBeyondTheBoundIsNotSent) {
    LabelDoc design = mk::test::smallPrintedLabel();
    LabelObject barcode;
    barcode.ObjectName = "barcode1";
    barcode.enable = true;
    barcode.barcodekind = "EAN-13";
    barcode.objectdata = std::string(mk::kMaxLabelBarcodeBytes + 1, '7');
    design.objects.push_back(barcode);
    for (const NamedPrintCall& print : kPrintCalls) {
        SCOPED_TRACE(print.name);
        LabelPtr doc = mk::test::loadLabel(design);
        const NetPrint printed = printOnNetwork(print.call, doc.get());
        EXPECT_EQ(printed.result, MK_PRINT_JOB_FAILED);
        EXPECT_TRUE(printed.job.empty());
    }
}

TEST(PrintCalls, UnsupportedInterfaceConnectsNowhereAndSendsNothing) {
    FakeNetPrinter device;
    mk::test::FakeUsbBus bus;
    mk::test::FakeUsbDevice& usb = bus.plugPrinter("LBL-3");
    for (const NamedPrintCall& print : kPrintCalls) {
        SCOPED_TRACE(print.name);
        LabelPtr doc = mk::test::loadLabel(mk::test::smallPrintedLabel());
        PrinterPtr printer = mk::test::networkPrinter(3, device.address());
        MkPrinter_SetUsbSerial(printer.get(), "LBL-3");
        MkPrinter_SetName(printer.get(), "labels");
        EXPECT_EQ(print.call(doc.get(), printer.get()), MK_PRINT_CONNECT_FAILED);
        EXPECT_EQ(MkGetLastErrorCode(), MK_ERR_UNSUPPORTED_INTERFACE);
    }
    for (const NamedBlankCall& blank : kBlankCalls) {
        SCOPED_TRACE(blank.name);
        LabelPtr doc(MkLabel_Create());
        PrinterPtr printer = mk::test::networkPrinter(3, device.address());
        EXPECT_EQ(blank.call(doc.get(), printer.get(), 1), MK_BLANK_CONNECT_FAILED);
        EXPECT_EQ(MkGetLastErrorCode(), MK_ERR_UNSUPPORTED_INTERFACE);
    }
    EXPECT_FALSE(device.waitForJobs(1, kNothingArrives));
    EXPECT_TRUE(usb.received().empty());
}

TEST(PrintCalls, PrinterSettingsStayInTheDocumentEvenWhenPrintingFails) {
    for (const NamedPrintCall& print : kPrintCalls) {
        SCOPED_TRACE(print.name);
        LabelPtr doc(MkLabel_Create());
        PrinterPtr printer = mk::test::printerOfType(3, 300);
        MkPrinter_SetPageDirection(printer.get(), 2);
        ASSERT_EQ(print.call(doc.get(), printer.get()), MK_PRINT_CONNECT_FAILED);
        EXPECT_EQ(MkLabelDoc_GetPrinterDpi(doc.get()), 300);
        EXPECT_EQ(MkLabelDoc_GetPrinterSpeed(doc.get()), 8);
        EXPECT_EQ(MkLabelDoc_GetPrinterDarkness(doc.get()), 12);
        EXPECT_EQ(MkLabelDoc_GetPrinterPageDirection(doc.get()), 2);
        EXPECT_TRUE(MkLabelDoc_GetPrinterHaveGap(doc.get()));
    }
}

// --- Blank pages -------------------------------------------------------------

// Two 50 mm columns 2 mm apart between 1 mm edges, on rows of 30 mm.
LabelPtr blankPageLayout(int rows) {
    LabelPtr doc(MkLabel_Create());
    MkLabel_SetColumnCount(doc.get(), 2);
    MkLabel_SetWidth(doc.get(), 50.0f);
    MkLabel_SetColumnGap(doc.get(), 2.0f);
    MkLabel_SetPageLeftEdges(doc.get(), 1.0f);
    MkLabel_SetPageRightEdges(doc.get(), 1.0f);
    MkLabel_SetRowCount(doc.get(), rows);
    MkLabel_SetHeight(doc.get(), 30.0f);
    MkLabel_SetRowGap(doc.get(), 2.0f);
    return doc;
}

TEST(BlankPage, PageOfTheWholeLayoutWithTheTestTextOnlyInMode1) {
    struct Case {
        int rows, dpi, speed, mode;
        const char* page;
    };
    const Case cases[] = {
        {1, 203, 4, 0, "I8,1,001\r\nS40\r\nH12\r\nq831\r\nQ240,16\r\nW1,1\r\n"},
        {1, 203, 0, 0, "I8,1,001\r\nS40\r\nH12\r\nq831\r\nQ240,16\r\nW1,1\r\n"},
        {1, 203, -3, 2, "I8,1,001\r\nS40\r\nH12\r\nq831\r\nQ240,16\r\nW1,1\r\n"},
        {1, 203, 1, 0, "I8,1,001\r\nS10\r\nH12\r\nq831\r\nQ240,16\r\nW1,1\r\n"},
        {1, 203, 12, 0, "I8,1,001\r\nS120\r\nH12\r\nq831\r\nQ240,16\r\nW1,1\r\n"},
        {1, 203, 12, 1,
         "I8,1,001\r\nS120\r\nH12\r\nq831\r\nQ240,16\r\nT24,24,0,3,1,1,N,\"XXXXXXXX\"\r\nW1,1\r\n"},
        // 104 and 2 + 2 × 30 = 62 mm at 300 dpi.
        {2, 300, 6, -1, "I8,1,001\r\nS60\r\nH12\r\nq1228\r\nQ732,16\r\nW1,1\r\n"},
    };
    for (const NamedBlankCall& blank : kBlankCalls) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << blank.name << " speed " << c.speed << " mode " << c.mode);
            FakeNetPrinter device;
            LabelPtr doc = blankPageLayout(c.rows);
            PrinterPtr printer = mk::test::networkPrinter(2, device.address(), c.dpi);
            MkPrinter_SetSpeed(printer.get(), c.speed);
            ASSERT_EQ(blank.call(doc.get(), printer.get(), c.mode), MK_OK);
            ASSERT_TRUE(device.waitForJobs(1, kArrivalWait));
            EXPECT_EQ(device.jobs()[0], c.page);
            // The page comes from the printer's settings; the document keeps its own.
            EXPECT_EQ(MkLabelDoc_GetPrinterSpeed(doc.get()), 4);
            EXPECT_EQ(MkLabelDoc_GetPrinterDpi(doc.get()), 203);
        }
    }
}

TEST(BlankPage, ConfirmingPrintersGetThePlainPageWithoutWaiting) {
    const std::string page = "I8,1,001\r\nS80\r\nH12\r\nq831\r\nQ240,16\r\nW1,1\r\n";
    for (int type : {5, 7, 9}) {
        SCOPED_TRACE(type);
        FakeNetPrinter device;
        device.setCallbackAnswer("PN");
        LabelPtr doc = blankPageLayout(1);
        PrinterPtr printer = mk::test::networkPrinter(type, device.address());
        ASSERT_EQ(MkLabelDoc_PrintBlankPage(doc.get(), printer.get(), 0), MK_OK);
        ASSERT_TRUE(device.waitForJobs(1, kArrivalWait));
        EXPECT_EQ(device.jobs()[0], page);  // no call-back command before it
    }
    for (int type : {4, 6, 8}) {
        SCOPED_TRACE(type);
        mk::test::FakeUsbBus bus;
        mk::test::FakeUsbDevice& device = bus.plugPrinter("LBL-4");  // never answers
        LabelPtr doc = blankPageLayout(1);
        PrinterPtr printer = mk::test::printerOfType(type);
        MkPrinter_SetUsbSerial(printer.get(), "LBL-4");
        const Clock::time_point start = Clock::now();
        ASSERT_EQ(MkLabel_PrintBlankPage(doc.get(), printer.get(), 0), MK_OK);
        EXPECT_LT(Clock::now() - start, milliseconds(2000)) << "waited for an answer";
        ASSERT_TRUE(device.waitForReceived(page.size(), kArrivalWait));
        EXPECT_EQ(device.received(), page);
    }
}

TEST(BlankPage, FailedSendIsReported) {
    FakeNetPrinter device(FakeNetPrinter::Options{.raw = FakeNetPrinter::Behaviour::Refuse});
    for (const NamedBlankCall& blank : kBlankCalls) {
        SCOPED_TRACE(blank.name);
        LabelPtr doc = blankPageLayout(1);
        PrinterPtr printer = mk::test::networkPrinter(2, device.address());
        EXPECT_EQ(blank.call(doc.get(), printer.get(), 0), MK_BLANK_SEND_FAILED);
    }
}

}  // namespace
