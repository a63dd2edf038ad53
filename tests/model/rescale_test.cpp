#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "mklabel.h"
#include "support/handles.h"
#include "model/label_doc.h"
#include "model/rescale.h"

namespace {

using mk::test::LabelPtr;

LabelObject named(const std::string& name, float moduleWidth, float imageScale) {
    LabelObject object;
    object.ObjectName = name;
    object.barcodescale = moduleWidth;
    object.scale = imageScale;
    object.hscale = imageScale;
    object.vscale = imageScale;
    return object;
}

struct ModuleCase {
    int from;
    int to;
    float before;
    float after;
};

TEST(AdjustDpiScale, RoundsModuleWidthsToWholeDots) {
    const ModuleCase cases[] = {
        {203, 300, 2.0f, 3.0f},  {203, 300, 3.0f, 4.0f},   {203, 300, 1.0f, 1.0f},  {300, 203, 3.0f, 2.0f},
        {203, 600, 2.0f, 6.0f},  {203, 204, -1.7f, -1.0f}, {203, 0, 5.0f, 0.0f},    {203, -203, 2.0f, -1.0f},
        {-203, 203, 2.0f, -1.0f}, {300, 203, 0.4f, 0.0f},  {203, 406, 2.25f, 5.0f},
    };
    for (const ModuleCase& c : cases) {
        LabelPtr doc(MkLabel_Create());
        doc->objects.push_back(named("barcode", c.before, 1.0f));
        MkLabelDoc_AdjustDpiScale(doc.get(), c.from, c.to);
        EXPECT_EQ(doc->objects[0].barcodescale, c.after) << c.from << "->" << c.to << " " << c.before;
        EXPECT_EQ(doc->objects[0].scale, 1.0f) << "a barcode's image scale stays";
        EXPECT_EQ(doc->scaledDpi, c.to);
    }
}

TEST(AdjustDpiScale, RoundsImageScalesToHundredths) {
    struct Case {
        int from;
        int to;
        float before;
        float after;
    };
    const Case cases[] = {
        {203, 300, 1.0f, 1.48f}, {300, 203, 1.48f, 1.0f}, {203, 0, 1.0f, 0.0f},
        {203, 406, 0.333f, 0.67f}, {203, 204, -1.0f, -0.99f}, {203, -203, 1.0f, -0.99f},
    };
    for (const Case& c : cases) {
        LabelPtr doc(MkLabel_Create());
        LabelObject image = named("image", 2.0f, c.before);
        image.hscale = c.before * 2.0f;
        doc->objects.push_back(image);
        MkLabelDoc_AdjustDpiScale(doc.get(), c.from, c.to);
        const LabelObject& after = doc->objects[0];
        EXPECT_EQ(after.scale, c.after) << c.from << "->" << c.to << " " << c.before;
        EXPECT_EQ(after.vscale, c.after);
        EXPECT_EQ(after.barcodescale, 2.0f) << "an image's module width stays";
    }
}

TEST(AdjustDpiScale, RoundTripCanDrift) {
    LabelPtr doc(MkLabel_Create());
    doc->objects.push_back(named("barcode", 1.0f, 1.0f));
    doc->objects.push_back(named("image", 1.0f, 1.01f));
    MkLabelDoc_AdjustDpiScale(doc.get(), 203, 100);
    MkLabelDoc_AdjustDpiScale(doc.get(), 100, 203);
    EXPECT_EQ(doc->objects[0].barcodescale, 0.0f);  // 0.49 dots rounded away on the way down
    EXPECT_EQ(doc->objects[1].scale, 1.02f);        // 0.5 on the way down, 1.015 back up
}

TEST(AdjustDpiScale, SelectsObjectsByTheExactStartOfTheirName) {
    struct Case {
        const char* name;
        float moduleWidth;
        float imageScale;
    };
    // 203 -> 300 turns a module width of 2 into 3 and a scale of 1 into 1.48.
    const Case cases[] = {
        {"barcode", 3.0f, 1.0f},   {"barcode_ean", 3.0f, 1.0f}, {"barcod", 2.0f, 1.0f},  {"Barcode1", 2.0f, 1.0f},
        {"image", 2.0f, 1.48f},    {"image7", 2.0f, 1.48f},     {"imag", 2.0f, 1.0f},    {"Image1", 2.0f, 1.0f},
        {"text1", 2.0f, 1.0f},     {"", 2.0f, 1.0f},            {" barcode", 2.0f, 1.0f}, {"imagebarcode", 2.0f, 1.48f},
    };
    for (const Case& c : cases) {
        LabelPtr doc(MkLabel_Create());
        LabelObject object = named(c.name, 2.0f, 1.0f);
        object.objectclass = 1;  // the stored type plays no part
        object.lineWidth = 0.5f;
        object.fontsize = 12.0f;
        doc->objects.push_back(object);
        MkLabelDoc_AdjustDpiScale(doc.get(), 203, 300);
        const LabelObject& after = doc->objects[0];
        EXPECT_EQ(after.barcodescale, c.moduleWidth) << c.name;
        EXPECT_EQ(after.scale, c.imageScale) << c.name;
        EXPECT_EQ(after.hscale, c.imageScale) << c.name;
        EXPECT_EQ(after.lineWidth, 0.5f) << c.name;
        EXPECT_EQ(after.fontsize, 12.0f) << c.name;
        EXPECT_EQ(after.Xposition, 2.0f) << c.name;
    }
}

TEST(AdjustDpiScale, DoesNothingWithoutARatio) {
    struct Case {
        int scaledBefore;
        int from;
        int to;
    };
    const Case cases[] = {{0, 0, 300}, {0, 300, 300}, {600, 0, 300}, {600, 203, 203}, {0, 0, 0}};
    for (const Case& c : cases) {
        LabelPtr doc(MkLabel_Create());
        doc->scaledDpi = c.scaledBefore;
        doc->objects.push_back(named("barcode", 2.0f, 1.0f));
        MkLabelDoc_AdjustDpiScale(doc.get(), c.from, c.to);
        EXPECT_EQ(doc->scaledDpi, c.scaledBefore) << c.from << "->" << c.to;
        EXPECT_EQ(doc->objects[0].barcodescale, 2.0f);
    }
    MkLabelDoc_AdjustDpiScale(nullptr, 203, 300);  // must not crash
}

TEST(AdjustDpiScale, RecordsTheTargetOnAnEmptyDocumentAndKeepsTheGeometry) {
    LabelPtr doc(MkLabel_Create());
    MkLabelDoc_AdjustDpiScale(doc.get(), 203, 300);
    EXPECT_EQ(doc->scaledDpi, 300);
    EXPECT_EQ(MkLabelDoc_GetPrinterDpi(doc.get()), 203);
    EXPECT_EQ(MkLabel_GetWidth(doc.get()), 104.0f);
}

TEST(AdjustDpiScale, HugeValuesSaturateInsteadOfOverflowing) {
    LabelPtr doc(MkLabel_Create());
    doc->objects.push_back(named("barcode", 3.0e9f, 1.0f));
    doc->objects.push_back(named("barcode", -3.0e9f, 1.0f));
    doc->objects.push_back(named("image", 1.0f, 1.0e9f));
    MkLabelDoc_AdjustDpiScale(doc.get(), 203, 300);
    EXPECT_EQ(doc->objects[0].barcodescale, 2147483647.0f);
    EXPECT_EQ(doc->objects[1].barcodescale, -2147483648.0f);
    EXPECT_EQ(doc->objects[2].scale, 2147483647.0f / 100.0f);
}

TEST(RescaleForPrinter, StartsFromScaledDpiElsePrinterDpi) {
    struct Case {
        int printerDpi;
        int scaledDpi;
        int target;
        float moduleWidth;
        int scaledAfter;
    };
    const Case cases[] = {
        {203, 0, 300, 3.0f, 300},   // never rescaled: from the design resolution
        {203, 300, 300, 2.0f, 300},  // already there: nothing changes
        {203, 300, 203, 1.0f, 203},  // 2 at 300 dpi back to 203: 1.35 rounds to 1
        {300, 0, 300, 2.0f, 0},      // designed for the target: scaledDpi stays 0
        {0, 0, 300, 2.0f, 0},        // no resolution to start from
    };
    for (const Case& c : cases) {
        LabelPtr doc(MkLabel_Create());
        doc->printerDPI = c.printerDpi;
        doc->scaledDpi = c.scaledDpi;
        doc->objects.push_back(named("barcode", 2.0f, 1.0f));
        mk::rescaleForPrinter(*doc, c.target);
        EXPECT_EQ(doc->objects[0].barcodescale, c.moduleWidth) << c.printerDpi << "/" << c.scaledDpi << "->" << c.target;
        EXPECT_EQ(doc->scaledDpi, c.scaledAfter);
        mk::rescaleForPrinter(*doc, c.target);  // a second call with the same printer changes nothing
        EXPECT_EQ(doc->objects[0].barcodescale, c.moduleWidth);
    }
}

TEST(RescaleForPrinter, ZeroTargetFallsBackToTheDesignResolution) {
    LabelPtr doc(MkLabel_Create());
    doc->objects.push_back(named("barcode", 2.0f, 1.0f));
    mk::rescaleForPrinter(*doc, 0);
    EXPECT_EQ(doc->objects[0].barcodescale, 0.0f);
    EXPECT_EQ(doc->scaledDpi, 0);
    doc->objects[0].barcodescale = 2.0f;
    mk::rescaleForPrinter(*doc, 300);  // starts again from printerDPI 203
    EXPECT_EQ(doc->objects[0].barcodescale, 3.0f);
}

}  // namespace
