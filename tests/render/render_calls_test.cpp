// How the render calls prepare the document they are given.
#include <gtest/gtest.h>

#include "mklabel.h"
#include "model/variables.h"
#include "model/label_doc.h"
#include "render/barcode_object.h"
#include "render/image_object.h"
#include "render/rendered.h"
#include "support/hostile_objects.h"
#include "support/lsf_writer.h"

namespace {

using mk::test::LabelPtr;
using mk::test::PrinterPtr;
using mk::test::printerAt;
using mk::test::render;
using mk::test::RenderCall;
using mk::test::Rendered;

// A document with a barcode of 2-dot modules and a text composed of two
// variables, as a designed-at-203-dpi label file gives.
LabelPtr preparedDocument() {
    LabelPtr doc(MkLabel_Create());
    MkLabel_AddBarcode(doc.get(), "barcode1", "12345", 5, 5, "Code 128", 2.0f, 10.0f, 0);
    int text = MkLabel_AddText(doc.get(), "text1", "stored", 5, 30, 10, "Arial", 0, 10);
    LabelObject& object = doc->objects.at(static_cast<size_t>(text));
    object.datachild_IDs = "1,2";
    LabelVariable first;
    first.id = 1;
    first.sharename = "lot";
    first.data = "A";
    LabelVariable second = first;
    second.id = 2;
    second.sharename = "serial";
    second.data = "7";
    second.fixedlength = 3;
    object.Variables = {first, second};
    return doc;
}

std::string dataOf(const LabelDoc* doc, int index) {
    char buffer[64] = {};
    MkObject_GetData(doc, index, buffer, sizeof buffer);
    return buffer;
}

TEST(RenderCalls, NullArgumentsChangeNothing) {
    for (RenderCall call : {MkLabelDoc_Render, MkLabel_Render}) {
        auto doc = preparedDocument();
        auto printer = printerAt(300);
        void* pixels = nullptr;
        int w = 0, h = 0, s = 0;
        EXPECT_EQ(call(nullptr, printer.get(), 0, &pixels, &w, &h, &s), MK_RENDER_BAD_ARGS);
        EXPECT_EQ(call(doc.get(), printer.get(), 0, nullptr, &w, &h, &s), MK_RENDER_BAD_ARGS);
        EXPECT_EQ(call(doc.get(), printer.get(), 0, &pixels, nullptr, &h, &s), MK_RENDER_BAD_ARGS);
        EXPECT_EQ(call(doc.get(), printer.get(), 0, &pixels, &w, nullptr, &s), MK_RENDER_BAD_ARGS);
        EXPECT_EQ(call(doc.get(), printer.get(), 0, &pixels, &w, &h, nullptr), MK_RENDER_BAD_ARGS);
        EXPECT_EQ(pixels, nullptr);
        EXPECT_EQ(doc->scaledDpi, 0);
        EXPECT_EQ(doc->printerDPI, 203);
        EXPECT_EQ(dataOf(doc.get(), 1), "stored");
    }
}

TEST(RenderCalls, DocumentKindRescalesToThePrinterAndKeepsIt) {
    auto doc = preparedDocument();
    auto printer300 = printerAt(300);
    struct Step {
        const Printer* printer;
        int scaledDpi;
        float moduleWidth;
        int width;
    } steps[] = {
        {printer300.get(), 300, 3.0f, 1228},
        {printer300.get(), 300, 3.0f, 1228},  // the same printer again changes nothing
        {nullptr, 203, 2.0f, 831},            // without a printer: back to 203
    };
    for (const Step& step : steps) {
        Rendered out = render(doc.get(), step.printer, MkLabelDoc_Render);
        ASSERT_EQ(out.result, MK_OK);
        EXPECT_EQ(out.width, step.width);
        EXPECT_EQ(doc->scaledDpi, step.scaledDpi);
        EXPECT_EQ(doc->objects[0].barcodescale, step.moduleWidth);
        // The document kind does not take over the printer's settings.
        EXPECT_EQ(doc->printerDPI, 203);
    }
}

TEST(RenderCalls, DocumentKindStoresTheComposedText) {
    auto doc = preparedDocument();
    ASSERT_EQ(render(doc.get(), nullptr, MkLabelDoc_Render).result, MK_OK);
    EXPECT_EQ(dataOf(doc.get(), 1), "A007");
    // A later composition starts from the variables again.
    MkObject_SetVariable(doc.get(), 1, "lot", "B");
    ASSERT_EQ(render(doc.get(), nullptr, MkLabelDoc_Render).result, MK_OK);
    EXPECT_EQ(dataOf(doc.get(), 1), "B007");
}

TEST(RenderCalls, DocumentKindPreparesEvenWhenRenderingFails) {
    auto doc = preparedDocument();
    MkLabel_SetWidth(doc.get(), 0.0f);
    auto printer = printerAt(300);
    EXPECT_EQ(render(doc.get(), printer.get(), MkLabelDoc_Render).result, MK_RENDER_FAILED);
    EXPECT_EQ(doc->scaledDpi, 300);
    EXPECT_EQ(dataOf(doc.get(), 1), "A007");
}

TEST(RenderCalls, CompositionBeyondTheBoundFailsBeforeComposing) {
    auto doc = preparedDocument();
    // With the "A" of the first variable, one byte beyond.
    doc->objects[1].Variables[1].fixedlength = static_cast<int>(mk::kMaxLabelTextBytes);
    EXPECT_EQ(render(doc.get(), nullptr, MkLabelDoc_Render).result, MK_RENDER_FAILED);
    const std::string preview = testing::TempDir() + "/beyond.bmp";
    EXPECT_EQ(MkLabelDoc_SavePreview(doc.get(), nullptr, preview.c_str()), MK_RENDER_FAILED);
    EXPECT_EQ(dataOf(doc.get(), 1), "stored");
    EXPECT_EQ(render(doc.get(), nullptr, MkLabel_Render).result, MK_OK);  // which does not compose
}

// Barcode data is measured before anything is drawn, and what the symbols
// and texts of one call cost together is bounded; a label beyond either fails
// every render call, whether its symbols are made or taken from the cache.
TEST(RenderCalls, BarcodesAndTextsBeyondTheirBoundsFail) {
    struct Case {
        const char* what;
        const char* kind;  // null: box texts of W, 50 mm wide, shrunk to fit textmaxline
        std::vector<size_t> dataBytes;  // one object each
        int result;
        int maxLines = 0;
    };
    const size_t half = mk::kMaxLabelBarcodeBytes / 2;
    const Case cases[] = {
        {"data at the bound, each too long to encode", "EAN-13", {half, half}, MK_OK},
        {"data one byte beyond", "EAN-13", {half, half, 1}, MK_RENDER_FAILED},
        {"40 QR Code symbols of version 40", "QR Code(2D)", std::vector<size_t>(40, 1), MK_OK},
        {"60 of them", "QR Code(2D)", std::vector<size_t>(60, 1), MK_RENDER_FAILED},
        {"4 MiB of text wrapped at its size", nullptr, {mk::kMaxLabelTextBytes}, MK_OK, 5'000'000},
        {"the same shrunk size after size to fit", nullptr, {mk::kMaxLabelTextBytes}, MK_RENDER_FAILED, 1'000'000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LabelPtr doc(MkLabel_Create());
        for (size_t bytes : c.dataBytes) {
            const std::string data(bytes, c.kind != nullptr ? '7' : 'W');
            if (c.kind == nullptr) {
                const int index = MkLabel_AddText(doc.get(), "text1", data.c_str(), 1, 1, 100.0f, "Arial", 1, 50.0f);
                doc->objects.at(static_cast<size_t>(index)).textmaxline = c.maxLines;
                continue;
            }
            const int index = MkLabel_AddBarcode(doc.get(), "barcode1", data.c_str(), 1, 1, c.kind, 2.0f, 10.0f, 2);
            doc->objects.at(static_cast<size_t>(index)).qrversion = 40;
        }
        for (RenderCall call : {MkLabelDoc_Render, MkLabel_Render})
            EXPECT_EQ(render(doc.get(), nullptr, call).result, c.result);
        const std::string preview = testing::TempDir() + "/barcodes.bmp";
        EXPECT_EQ(MkLabelDoc_SavePreview(doc.get(), nullptr, preview.c_str()), c.result);
    }
}

// Four distinct 100-megapixel pictures are what one call may decode; a
// fifth fails the call instead of being left out.
TEST(RenderCalls, PicturesBeyondTheDecodingBudgetFailTheCall) {
    static_assert(mk::kMaxDecodedPixelsPerCall == 4 * 100'000'000);
    for (const int count : {4, 5}) {
        LabelPtr doc(MkLabel_Create());
        for (int i = 0; i < count; ++i) {
            LabelObject object;
            object.ObjectName = "image1";
            object.imagedata = mk::test::objectBytes(mk::test::sparseRunLengthBitmap(10000, 10000, 0x10u * i, 16));
            object.imagefixedsize = true;
            object.imagefixedwidth = object.imagefixedheight = 2.0f;
            doc->objects.push_back(object);
        }
        for (RenderCall call : {MkLabelDoc_Render, MkLabel_Render}) {
            EXPECT_EQ(render(doc.get(), nullptr, call).result, count == 4 ? MK_OK : MK_RENDER_FAILED) << count;
        }
    }
}

TEST(RenderCalls, LabelKindCopiesThePrinterSettingsOnly) {
    auto doc = preparedDocument();
    auto printer = printerAt(300);
    MkPrinter_SetSpeed(printer.get(), 6);
    MkPrinter_SetDarkness(printer.get(), 15);
    MkPrinter_SetPageDirection(printer.get(), 2);
    Rendered out = render(doc.get(), printer.get(), MkLabel_Render);
    ASSERT_EQ(out.result, MK_OK);
    EXPECT_EQ(out.width, 1228);
    EXPECT_EQ(doc->printerDPI, 300);
    EXPECT_EQ(doc->printSpeed, 6);
    EXPECT_EQ(doc->printDarkness, 15);
    EXPECT_EQ(doc->pageDirection, 2);
    EXPECT_TRUE(doc->labelhavegap);
    // No rescaling and no composition.
    EXPECT_EQ(doc->scaledDpi, 0);
    EXPECT_EQ(doc->objects[0].barcodescale, 2.0f);
    EXPECT_EQ(dataOf(doc.get(), 1), "stored");
}

TEST(RenderCalls, LabelKindWithoutPrinterTakesTheDefaults) {
    auto doc = preparedDocument();
    doc->printerDPI = 600;
    doc->printSpeed = 2;
    doc->printDarkness = 1;
    doc->pageDirection = 0;
    doc->labelhavegap = false;
    Rendered out = render(doc.get(), nullptr, MkLabel_Render);
    ASSERT_EQ(out.result, MK_OK);
    EXPECT_EQ(out.width, 831);
    EXPECT_EQ(doc->printerDPI, 203);
    EXPECT_EQ(doc->printSpeed, 4);
    EXPECT_EQ(doc->printDarkness, 10);
    EXPECT_EQ(doc->pageDirection, 1);
    EXPECT_TRUE(doc->labelhavegap);
}

TEST(RenderCalls, LabelKindCopiesSettingsEvenWhenRenderingFails) {
    auto doc = preparedDocument();
    MkLabel_SetHeight(doc.get(), -1.0f);
    auto printer = printerAt(600);
    EXPECT_EQ(render(doc.get(), printer.get(), MkLabel_Render).result, MK_RENDER_FAILED);
    EXPECT_EQ(doc->printerDPI, 600);
}

}  // namespace
