// What a print keeps for the next one (glyph bitmaps, barcode symbols,
// decoded pictures, surface memory) never shows: every label prints, renders
// and reports exactly as it does when each print starts from nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "mklabel.h"
#include "portable/bounded_cache.h"
#include "printed_label.h"
#include "render/label_surface.h"
#include "support/fake_net_printer.h"
#include "support/lsf_writer.h"

namespace {

using mk::test::FakeNetPrinter;
using mk::test::LabelPtr;
using mk::test::PrinterPtr;

constexpr std::chrono::milliseconds kArrivalWait{5000};

// Everything a print call produced: the job as the printer received it,
// with the graphic's throw-away name taken out, the label's render and what
// the call wrote to standard output.
struct Printed {
    std::vector<std::string> lines;
    std::string graphic;
    std::vector<uint8_t> render;
    std::string output;
};

std::vector<uint8_t> renderOf(LabelDoc* doc, Printer* printer) {
    void* pixels = nullptr;
    int width = 0, height = 0, stride = 0;
    if (MkLabelDoc_Render(doc, printer, 0, &pixels, &width, &height, &stride) != MK_OK) return {};
    std::vector<uint8_t> bytes(static_cast<uint8_t*>(pixels),
                               static_cast<uint8_t*>(pixels) + static_cast<size_t>(stride) * height);
    MkFree(pixels);
    return bytes;
}

Printed printWithLot(LabelDoc* doc, int dpi, const char* lot) {
    FakeNetPrinter device;
    PrinterPtr printer = mk::test::networkPrinter(2, device.address(), dpi);
    Printed printed;
    MkObject_SetVariableAll(doc, "lot", lot);
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    const int result = MkLabelDoc_Print(doc, printer.get());
    std::fflush(stdout);
    printed.output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, MK_OK);
    if (result != MK_OK || !device.waitForJobs(1, kArrivalWait)) return printed;
    const std::optional<mk::test::ReceivedJob> job = mk::test::parsePrintJob(device.jobs()[0]);
    EXPECT_TRUE(job.has_value());
    if (!job) return printed;
    // The name differs from job to job by design ("KVP" and four digits).
    const std::string name = job->lines.at(6).substr(3, 7);
    for (std::string line : job->lines) {
        for (size_t at = line.find(name); at != std::string::npos; at = line.find(name)) line.replace(at, 7, "KVP----");
        printed.lines.push_back(line);
    }
    printed.graphic = job->graphic;
    printed.render = renderOf(doc, printer.get());
    return printed;
}

void expectSame(const Printed& actual, const Printed& expected, const std::string& what) {
    EXPECT_EQ(actual.lines, expected.lines) << what;
    EXPECT_TRUE(actual.graphic == expected.graphic) << what << ": the graphic differs";
    EXPECT_FALSE(actual.render.empty()) << what;
    EXPECT_TRUE(actual.render == expected.render) << what << ": the render differs";
    EXPECT_EQ(actual.output, expected.output) << what;
}

// Glyphs cut by every edge (some drawn from the cache elsewhere on the
// label), a widened text, synthetic styles, white text on black, and a
// barcode that zint warns about.
LabelDoc edgeLabel() {
    LabelDoc doc = mk::test::smallPrintedLabel();
    const LabelObject lot = doc.objects.front();
    const struct {
        float x, y, size;
        int style;
        float zoom;
        bool inverse;
    } texts[] = {{-1.2f, 4.0f, 12.0f, 0, 1.0f, false}, {24.0f, 2.0f, 14.0f, 1, 1.0f, false},
                 {8.0f, -2.1f, 16.0f, 2, 1.0f, false}, {10.0f, 12.3f, 12.0f, 3, 1.0f, true},
                 {2.0f, 9.0f, 10.0f, 0, 1.7f, false}};
    for (const auto& t : texts) {
        LabelObject text = lot;
        text.ObjectName = "text_edge";
        text.Xposition = t.x;
        text.Yposition = t.y;
        text.fontsize = t.size;
        text.fontstyle = t.style;
        text.charHZoom = t.zoom;
        text.blackbackground = t.inverse;
        doc.objects.push_back(text);
    }
    LabelObject warned;
    warned.ObjectName = "barcode_pdf";
    warned.objectclass = static_cast<int>(ObjectType::Barcode);
    warned.barcodekind = "PDF 417(2D)";
    warned.objectdata = "A<CR>B";
    warned.pdf417_rows = 3;  // too few for the data: zint raises them and warns
    warned.pdf417_columns = 1;
    warned.Xposition = 22.0f;
    warned.Yposition = 8.0f;
    doc.objects.push_back(warned);
    return doc;
}

struct TestLabel {
    const char* name;
    LabelDoc design;
};

std::vector<TestLabel> testLabels() {
    std::vector<TestLabel> labels;
    labels.push_back({"small", mk::test::smallPrintedLabel()});
    labels.push_back({"main road", mk::test::mainRoadLabel()});
    labels.push_back({"sample", mk::test::sampleLabel()});
    labels.push_back({"edges", edgeLabel()});
    return labels;
}

class CachedPrint : public testing::Test {
protected:
    void TearDown() override { mk::platform::setCachingEnabled(true); }
};

// Every label is printed three times with caching (lot A, lot B, lot A
// again, the last one all from what the first kept) and compared with
// prints made with caching off, standard output included: a barcode's
// warning is reported by every print.
TEST_F(CachedPrint, JobsRendersAndReportsAreThoseOfAPrintFromNothing) {
    for (const TestLabel& label : testLabels()) {
        for (int dpi : {203, 300}) {
            const std::string what = std::string(label.name) + " at " + std::to_string(dpi) + " dpi";
            mk::platform::setCachingEnabled(false);
            LabelPtr fresh = mk::test::loadLabel(label.design);
            const Printed expectedA = printWithLot(fresh.get(), dpi, "Lot 1234");
            const Printed expectedB = printWithLot(fresh.get(), dpi, "Lot 5678");
            // The warning of the barcode zint raises rows for is reported by every print.
            if (std::strcmp(label.name, "edges") == 0) {
                EXPECT_NE(expectedA.output.find("zint WARNING"), std::string::npos);
            }

            mk::platform::setCachingEnabled(true);
            LabelPtr cached = mk::test::loadLabel(label.design);
            expectSame(printWithLot(cached.get(), dpi, "Lot 1234"), expectedA, what + ", first print");
            expectSame(printWithLot(cached.get(), dpi, "Lot 5678"), expectedB, what + ", new lot");
            expectSame(printWithLot(cached.get(), dpi, "Lot 1234"), expectedA, what + ", first lot again");
        }
    }
}

// The caches are shared by every thread: handles used on several threads at
// once render exactly what one thread alone renders.
TEST_F(CachedPrint, HandlesOnSeveralThreadsAtOnceRenderAsOneThreadAlone) {
    const std::vector<TestLabel> labels = testLabels();
    const auto renderAll = [&labels](size_t first) {
        std::vector<std::vector<uint8_t>> renders;
        PrinterPtr printer = mk::test::printerOfType(2, 300);
        for (size_t i = 0; i < 2 * labels.size(); ++i) {
            LabelPtr doc = mk::test::loadLabel(labels[(first + i) % labels.size()].design);
            renders.push_back(renderOf(doc.get(), printer.get()));
        }
        return renders;
    };
    std::vector<std::vector<std::vector<uint8_t>>> expected;
    for (size_t first = 0; first < labels.size(); ++first) expected.push_back(renderAll(first));
    std::vector<std::vector<std::vector<uint8_t>>> results(2 * labels.size());
    std::vector<std::thread> threads;
    for (size_t t = 0; t < results.size(); ++t) {
        threads.emplace_back([&, t] { results[t] = renderAll(t % labels.size()); });
    }
    for (std::thread& thread : threads) thread.join();
    for (size_t t = 0; t < results.size(); ++t) EXPECT_TRUE(results[t] == expected[t % labels.size()]) << "thread " << t;
}

// One object on a label, rendered at a resolution; the render and what it
// wrote to standard output.
struct Scene {
    LabelObject object;
    int dpi = 203;
};

std::pair<std::vector<uint8_t>, std::string> renderScene(const Scene& scene) {
    LabelDoc doc;
    doc.labelwidth = 40.0f;
    doc.labelheight = 25.0f;
    mk::appendObject(doc, scene.object);
    void* pixels = nullptr;
    int width = 0, height = 0, stride = 0;
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(mk::renderLabelForHost(doc, scene.dpi, &pixels, &width, &height, &stride));
    std::fflush(stdout);
    std::string output = testing::internal::GetCapturedStdout();
    const auto* bytes = static_cast<const uint8_t*>(pixels);
    std::vector<uint8_t> render(bytes, bytes + (pixels ? static_cast<size_t>(stride) * height : 0));
    mk::platform::releaseHostPixels(pixels);
    return {render, output};
}

Scene sceneOf(ObjectType type, const char* kind, const char* data) {
    Scene scene;
    LabelObject& o = scene.object;
    o.ObjectName = type == ObjectType::Text ? "text1" : type == ObjectType::Image ? "image1" : "barcode1";
    o.objectclass = static_cast<int>(type);
    o.barcodekind = kind;
    o.objectdata = data;
    o.barcodescale = 2.0f;
    o.barcodeheight = 8.0f;
    o.textfont = "Liberation Sans";
    o.textposition = 2;
    if (type == ObjectType::Image) o.imagedata = mk::test::objectBytes(mk::test::bmpImage(24, 24));
    return scene;
}

// Each input of a cached result (barcode symbols, glyph bitmaps, decoded
// pictures) changed alone, after the unchanged object has filled the caches:
// the render is the one made without them.
TEST_F(CachedPrint, EveryInputOfACachedResultCountsAsWithoutTheCache) {
    const Scene code128 = sceneOf(ObjectType::Barcode, "Code 128 Auto", "MK-42");
    const Scene qr = sceneOf(ObjectType::Barcode, "QR Code(2D)", "(01)09501101530003");
    const Scene pdf = sceneOf(ObjectType::Barcode, "PDF 417(2D)", "PDF417 label 0042");
    const Scene text = sceneOf(ObjectType::Text, "", "Lot 1234");
    const Scene image = sceneOf(ObjectType::Image, "", "");
    const struct {
        const char* what;
        Scene base;
        void (*change)(Scene&);
    } cases[] = {
        {"barcode kind", qr, [](Scene& s) { s.object.barcodekind = "GS1 QR Code(2D)"; }},
        {"barcode data", code128, [](Scene& s) { s.object.objectdata = "MK-43"; }},
        {"barcode resolution", code128, [](Scene& s) { s.dpi = 300; }},
        {"module width", code128, [](Scene& s) { s.object.barcodescale = 3.0f; }},
        {"bar height", code128, [](Scene& s) { s.object.barcodeheight = 10.0f; }},
        {"QR version", qr, [](Scene& s) { s.object.qrversion = 5; }},
        {"error correction", qr, [](Scene& s) { s.object.errorcorrection = 4; }},
        {"Code 39 ratio", sceneOf(ObjectType::Barcode, "Code 39", "MK42"),
         [](Scene& s) { s.object.code39widthratio = 2; }},
        {"check digit", sceneOf(ObjectType::Barcode, "Standard 2 of 5", "1234"),
         [](Scene& s) { s.object.code39StartStop = false; }},
        {"Grid Matrix ECI", sceneOf(ObjectType::Barcode, "GridMatrix(2D)", "Grid 42"),
         [](Scene& s) { s.object.eciOption = 1; }},
        {"Han Xin ECI", sceneOf(ObjectType::Barcode, "\xE6\xB1\x89\xE4\xBF\xA1\xE7\xA0\x81(2D)", "Han Xin 42"),
         [](Scene& s) { s.object.eciOption = 1; }},
        {"PDF417 rows", pdf, [](Scene& s) { s.object.pdf417_rows_auto = 8; }},
        {"PDF417 columns", pdf, [](Scene& s) { s.object.pdf417_columns_auto = 3; }},
        {"text", text, [](Scene& s) { s.object.objectdata = "Lot 1235"; }},
        {"font", text, [](Scene& s) { s.object.textfont = "Liberation Serif"; }},
        {"font size", text, [](Scene& s) { s.object.fontsize = 11.0f; }},
        {"bold", text, [](Scene& s) { s.object.fontstyle = 1; }},
        {"italic", text, [](Scene& s) { s.object.fontstyle = 2; }},
        {"widened text", text, [](Scene& s) { s.object.charHZoom = 1.5f; }},
        {"text colour", text, [](Scene& s) { s.object.textColor = 0xFFFF0000u; }},
        {"text position", text, [](Scene& s) { s.object.Xposition = 2.3f; }},
        {"text cut by the edge", text, [](Scene& s) { s.object.Xposition = -1.2f; }},
        {"text resolution", text, [](Scene& s) { s.dpi = 300; }},
        // One byte the picture cache's hash does not sample.
        {"picture bytes", image, [](Scene& s) { s.object.imagedata.at(1000) ^= 0xFF; }},
        {"picture size", image, [](Scene& s) { s.object.hscale = 2.0f; }},
    };
    for (const auto& c : cases) {
        Scene changed = c.base;
        c.change(changed);
        mk::platform::setCachingEnabled(true);
        renderScene(c.base);
        const auto cached = renderScene(changed);
        mk::platform::setCachingEnabled(false);
        const auto fresh = renderScene(changed);
        EXPECT_TRUE(cached == fresh) << c.what;
        EXPECT_TRUE(fresh != renderScene(c.base)) << c.what << " changes nothing";
    }
}

}  // namespace
