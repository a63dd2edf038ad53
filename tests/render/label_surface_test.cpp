// What a rendered label looks like: its size, background and objects.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "mklabel.h"
#include "model/label_doc.h"
#include "portable/block_pool.h"
#include "platform/device_context.h"
#include "platform/mapped_memory.h"
#include "render/rendered.h"

namespace {

using mk::test::bounds;
using mk::test::Box;
using mk::test::kWhiteRgb;
using mk::test::LabelPtr;
using mk::test::Point;
using mk::test::PrinterPtr;
using mk::test::printerAt;
using mk::test::render;
using mk::test::Rendered;

LabelPtr label(float width = 40.0f, float height = 30.0f) {
    LabelPtr doc(MkLabel_Create());
    MkLabel_SetWidth(doc.get(), width);
    MkLabel_SetHeight(doc.get(), height);
    return doc;
}

LabelObject& objectOf(const LabelPtr& doc, int index) { return doc->objects.at(static_cast<size_t>(index)); }

// At 203 dpi: 1 mm is 8 dots, 5 mm 40, 10 mm 80, 20 mm 160, 30 mm 240.
int dots(float mm) { return static_cast<int>(mm / 25.4f * 203.0f + 0.5f); }

TEST(LabelSurface, SizeAndStrideFollowTheResolution) {
    struct Case {
        int dpi;
        int width, height;
    } cases[] = {{203, 831, 599}, {300, 1228, 886}, {600, 2457, 1772}};
    for (const Case& c : cases) {
        LabelPtr doc(MkLabel_Create());  // 104 x 75 mm
        auto printer = printerAt(c.dpi);
        Rendered out = render(doc.get(), printer.get());
        ASSERT_EQ(out.result, MK_OK);
        EXPECT_EQ(out.width, c.width);
        EXPECT_EQ(out.height, c.height);
        EXPECT_EQ(out.stride, 4 * c.width);
        EXPECT_TRUE(out.inked().empty()) << "background not white at " << c.dpi;
    }
}

TEST(LabelSurface, EmptyLabelWithoutPrinterIsAWhite203DpiBuffer) {
    LabelPtr doc(MkLabel_Create());
    Rendered out = render(doc.get(), nullptr, MkLabelDoc_Render);
    ASSERT_EQ(out.result, MK_OK);
    EXPECT_EQ(out.width, 831);
    EXPECT_EQ(out.height, 599);
    EXPECT_EQ(out.stride, 3324);
    EXPECT_TRUE(out.inked().empty());
}

TEST(LabelSurface, LaterObjectsCoverEarlierOnes) {
    for (bool redFirst : {true, false}) {
        auto doc = label();
        int a = MkLabel_AddRect(doc.get(), "rectangleA", 5, 5, 20, 20, 0.1f);
        int b = MkLabel_AddRect(doc.get(), "rectangleB", 10, 10, 30, 25, 0.1f);
        MkLabel_SetRectFill(doc.get(), a, 1);
        MkLabel_SetRectFill(doc.get(), b, 1);
        objectOf(doc, a).lineColorArgb = redFirst ? 0xFFFF0000u : 0xFF0000FFu;
        objectOf(doc, b).lineColorArgb = redFirst ? 0xFF0000FFu : 0xFFFF0000u;
        Rendered out = render(doc.get());
        // The overlap shows the second object's colour.
        EXPECT_EQ(out.at(dots(15), dots(15)), redFirst ? 0x0000FFu : 0xFF0000u);
        EXPECT_EQ(out.at(dots(7), dots(7)), redFirst ? 0xFF0000u : 0x0000FFu);
    }
}

TEST(LabelSurface, ObjectsDrawByTheBeginningOfTheirName) {
    struct Case {
        const char* name;
        bool drawn;
    } cases[] = {
        {"line", true},   {"line2", true},  {"LINE", false},        {"Line", false},  {"xline", false},
        {"rfid1", false}, {"", false},      {"barcodeline", false}, {"Text", false}, {"lin", false},
    };
    for (const Case& c : cases) {
        auto doc = label();
        MkLabel_AddLine(doc.get(), "line", 5, 10, 30, 10, 0.4f);
        objectOf(doc, 0).ObjectName = c.name;
        Rendered out = render(doc.get());
        EXPECT_EQ(!out.inked().empty(), c.drawn) << '"' << c.name << '"';
    }
    // A shape is drawn for a name starting with "rectangle", whatever its type.
    auto doc = label();
    int index = MkLabel_AddLine(doc.get(), "rectangleA", 5, 5, 30, 20, 0.1f);
    objectOf(doc, index).objectclass = 2;
    Rendered out = render(doc.get());
    EXPECT_EQ(bounds(out.inked()), (Box{dots(5), dots(5), dots(30) - 1, dots(20) - 1}));
}

TEST(LabelSurface, DisabledObjectsAreNotDrawn) {
    auto doc = label();
    MkLabel_AddRect(doc.get(), "rectangle", 5, 5, 20, 20, 0.4f);
    MkLabel_AddLine(doc.get(), "line", 5, 25, 30, 25, 0.4f);
    objectOf(doc, 0).enable = false;
    // Not printing is no reason to leave an object out of the picture.
    objectOf(doc, 1).disallowprint = true;
    Rendered out = render(doc.get());
    auto points = out.inked();
    ASSERT_FALSE(points.empty());
    for (auto [x, y] : points) EXPECT_GE(y, dots(24)) << x << "," << y;
}

TEST(LabelSurface, LineWidthsAreWholeDots) {
    struct Case {
        float mm;
        int dots;
    } cases[] = {{0.0f, 1}, {0.1f, 1}, {0.2f, 2}, {0.4f, 3}, {1.0f, 8}, {-2.0f, 1}};
    for (const Case& c : cases) {
        auto doc = label();
        MkLabel_AddLine(doc.get(), "line", 5, 10, 30, 10, c.mm);
        Rendered out = render(doc.get());
        int across = 0;
        for (int y = 0; y < out.height; ++y) across += out.at(dots(15), y) != kWhiteRgb;
        EXPECT_EQ(across, c.dots) << c.mm << " mm";
    }
}

TEST(LabelSurface, DashStylesHaveTheirLengthsInDots) {
    struct Case {
        int style;
        float width;
        std::vector<int> runs;  // from the first dash, along the line's middle
    } cases[] = {
        {4, 0.4f, {3, 6, 3, 6, 3, 6}},                    // dotted, 3 dots wide
        {1, 0.4f, {12, 6, 12, 6}},                        // dashed
        {2, 0.4f, {12, 6, 3, 6, 12, 6}},                  // dash-dot
        {3, 0.4f, {12, 6, 3, 6, 3, 6, 12}},               // dash-dot-dot
        {0, 0.4f, {dots(35) - dots(5) + 3}},              // solid, round caps at both ends
        {9, 0.4f, {dots(35) - dots(5) + 3}},              // unknown style: solid when thick
        {1, 1.0f, {32, 16, 32, 16}},
    };
    for (const Case& c : cases) {
        auto doc = label();
        int index = MkLabel_AddLine(doc.get(), "line", 5, 10, 35, 10, c.width);
        MkLabel_SetLineDash(doc.get(), index, c.style);
        Rendered out = render(doc.get());
        int y = dots(10);
        int x0 = 0;
        while (x0 < out.width && out.at(x0, y) == kWhiteRgb) ++x0;
        auto runs = out.runsAlongRow(y, x0, out.width);
        runs.resize(c.runs.size());
        EXPECT_EQ(runs, c.runs) << "style " << c.style << " at " << c.width << " mm";
    }
}

TEST(LabelSurface, ThinDashStylesAreBrokenLines) {
    struct Case {
        int style;
        bool broken;
    } cases[] = {{0, false}, {1, true}, {2, true}, {3, true}, {4, true}, {9, true}, {-1, true}};
    for (const Case& c : cases) {
        auto doc = label();
        int index = MkLabel_AddLine(doc.get(), "line", 5, 10, 35, 10, 0.1f);
        MkLabel_SetLineDash(doc.get(), index, c.style);
        Rendered out = render(doc.get());
        auto runs = out.runsAlongRow(dots(10), dots(5), dots(35));
        EXPECT_EQ(runs.size() > 1, c.broken) << "style " << c.style;
    }
}

TEST(LabelSurface, ShapeCornersMayComeInEitherOrder) {
    for (int shape : {0, 1, 2}) {
        auto forward = label();
        auto backward = label();
        MkLabel_SetRectShape(forward.get(), MkLabel_AddRect(forward.get(), "rectangle", 10, 5, 30, 20, 0.4f), shape);
        MkLabel_SetRectShape(backward.get(), MkLabel_AddRect(backward.get(), "rectangle", 30, 20, 10, 5, 0.4f), shape);
        auto a = render(forward.get()).inked();
        EXPECT_FALSE(a.empty());
        EXPECT_EQ(a, render(backward.get()).inked()) << "shape " << shape;
    }
}

TEST(LabelSurface, ThinShapesStayInsideTheirBox) {
    const Box box{dots(10), dots(5), dots(30) - 1, dots(20) - 1};
    for (int shape : {0, 1, 2}) {
        auto doc = label();
        MkLabel_SetRectShape(doc.get(), MkLabel_AddRect(doc.get(), "rectangle", 10, 5, 30, 20, 0.1f), shape);
        Rendered out = render(doc.get());
        auto points = out.inked();
        EXPECT_EQ(bounds(points), box) << "shape " << shape;
        // Rounded shapes leave the box's corner blank, the rectangle covers it.
        EXPECT_EQ(points.count({box.left, box.top}) == 1, shape == 0);
        EXPECT_EQ(points.count({box.right, box.bottom}) == 1, shape == 0);
    }
}

TEST(LabelSurface, CornerRadiusIsTheSizeOfTheRoundingEllipse) {
    // 2.0 mm at 203 dpi: each corner is a quarter of a 16 x 16-dot ellipse,
    // so the straight top edge starts 8 dots in.
    auto doc = label();
    int index = MkLabel_AddRect(doc.get(), "rectangle", 10, 5, 30, 20, 0.1f);
    MkLabel_SetRectShape(doc.get(), index, 1);
    MkLabel_SetRectRadius(doc.get(), index, 2.0f);
    Rendered out = render(doc.get());
    int left = dots(10);
    int top = dots(5);
    auto runs = out.runsAlongRow(top, left, dots(30));
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_GE(runs[0], 3);  // blank before the curve meets the edge
    EXPECT_LE(runs[0], 8);
    EXPECT_EQ(runs[0], runs[2]);
    // A radius of 0 gives square corners.
    MkLabel_SetRectRadius(doc.get(), index, 0.0f);
    EXPECT_EQ(render(doc.get()).at(left, top), 0x000000u);
}

TEST(LabelSurface, UnknownShapeClassDrawsNothing) {
    for (int shape : {3, -1, 100}) {
        auto doc = label();
        MkLabel_SetRectShape(doc.get(), MkLabel_AddRect(doc.get(), "rectangle", 10, 5, 30, 20, 0.4f), shape);
        EXPECT_TRUE(render(doc.get()).inked().empty()) << shape;
    }
}

TEST(LabelSurface, FilledShapesAreFilledInTheLineColour) {
    for (int shape : {0, 1, 2}) {
        for (bool fill : {false, true}) {
            auto doc = label();
            // Something under the shape's middle shows whether it was painted over.
            int under = MkLabel_AddRect(doc.get(), "rectangleUnder", 19, 12, 21, 14, 0.1f);
            MkLabel_SetRectFill(doc.get(), under, 1);
            objectOf(doc, under).lineColorArgb = 0xFF00FF00u;
            int index = MkLabel_AddRect(doc.get(), "rectangle", 10, 5, 30, 20, 0.4f);
            MkLabel_SetRectShape(doc.get(), index, shape);
            MkLabel_SetRectFill(doc.get(), index, fill ? 1 : 0);
            objectOf(doc, index).lineColorArgb = 0xFF0000FFu;
            Rendered out = render(doc.get());
            EXPECT_EQ(out.at(dots(20), dots(13)), fill ? 0x0000FFu : 0x00FF00u) << shape;
            EXPECT_EQ(out.at(dots(15), dots(15)), fill ? 0x0000FFu : kWhiteRgb) << shape;
        }
    }
}

TEST(LabelSurface, AlphaIsIgnored) {
    std::set<Point> reference;
    for (uint32_t argb : {0xFFFF0000u, 0x80FF0000u, 0x00FF0000u}) {
        auto doc = label();
        int index = MkLabel_AddRect(doc.get(), "rectangle", 10, 5, 30, 20, 0.4f);
        MkLabel_SetRectShape(doc.get(), index, 2);
        objectOf(doc, index).lineColorArgb = argb;
        Rendered out = render(doc.get());
        auto points = out.inked();
        for (auto [x, y] : points) ASSERT_EQ(out.at(x, y), 0xFF0000u) << std::hex << argb;
        if (reference.empty()) reference = points;
        EXPECT_EQ(points, reference) << std::hex << argb;
    }
}

TEST(LabelSurface, TextsOfEnabledTextObjectsBeyondTheBoundAreRefused) {
    const size_t half = mk::kMaxLabelTextBytes / 2;
    struct Case {
        size_t second;
        const char* secondName;
        bool secondEnabled;
        int result;
    } cases[] = {{half, "text2", true, MK_OK},
                 {half + 1, "text2", true, MK_RENDER_FAILED},
                 {half + 1, "text2", false, MK_OK},    // not drawn
                 {half + 1, "rectangle2", true, MK_OK}};  // not text
    for (const Case& c : cases) {
        auto doc = label();
        MkLabel_AddText(doc.get(), "text1", std::string(half, 'a').c_str(), 5, 5, 10, "Arial", 0, 10);
        const int second = MkLabel_AddText(doc.get(), c.secondName, std::string(c.second, 'b').c_str(), 5, 20, 10,
                                           "Arial", 0, 10);
        objectOf(doc, second).enable = c.secondEnabled;
        void* pixels = nullptr;
        int width = 0, height = 0, stride = 0;
        EXPECT_EQ(MkLabel_Render(doc.get(), nullptr, 0, &pixels, &width, &height, &stride), c.result) << c.second;
        MkFree(pixels);
    }
}

// Each shape is charged the pixels it may write against the call's budget,
// about 400 fills of a 104 x 75 mm label at 203 dpi; 500 x 500 mm labels
// reach it in a dozen.
TEST(LabelSurface, ShapesBeyondTheCallsBudgetAreRefused) {
    struct Case {
        const char* what;
        const char* name;
        bool filled;
        float lineWidth;
        int count;
        int result;
    } cases[] = {
        {"a few label-sized fills", "rectangle", true, 0.4f, 6, MK_OK},
        {"many", "rectangle", true, 0.4f, 20, MK_RENDER_FAILED},
        {"as many outlines", "rectangle", false, 0.4f, 20, MK_OK},
        {"as many lines as wide as the label", "line", false, 500.0f, 20, MK_RENDER_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto doc = label(500.0f, 500.0f);
        for (int i = 0; i < c.count; ++i) {
            const int index = MkLabel_AddRect(doc.get(), c.name, 0, 0, 500, 500, c.lineWidth);
            MkLabel_SetRectFill(doc.get(), index, c.filled ? 1 : 0);
        }
        void* pixels = nullptr;
        int width = 0, height = 0, stride = 0;
        EXPECT_EQ(MkLabel_Render(doc.get(), nullptr, 0, &pixels, &width, &height, &stride), c.result);
        MkFree(pixels);
    }
}

TEST(LabelSurface, LabelsOutsideTheSurfaceRangeAreRefused) {
    struct Case {
        float width, height;
    } cases[] = {{0.06f, 30}, {0, 30},        {40, 0},    {40, -5},
                 {-40, 30},   {10000, 10000}, {1e30f, 1}, {2000, 2000} /* 975 MiB: beyond the largest surface */};
    for (const Case& c : cases) {
        auto doc = label(c.width, c.height);
        void* pixels = reinterpret_cast<void*>(0x1);
        int width = -7, height = -7, stride = -7;
        EXPECT_EQ(MkLabel_Render(doc.get(), nullptr, 0, &pixels, &width, &height, &stride), MK_RENDER_FAILED)
            << c.width << " x " << c.height;
        // Nothing allocated, nothing written.
        EXPECT_EQ(pixels, reinterpret_cast<void*>(0x1));
        EXPECT_EQ(width, -7);
        EXPECT_EQ(height, -7);
        EXPECT_EQ(stride, -7);
    }
}

// 512 MiB of pixels is the largest surface, itself included; asked without
// making the surfaces, whose memory a test cannot spend.
TEST(LabelSurface, TheLargestSurfaceIsExactly134217728Dots) {
    struct Case {
        int width, height;
        bool allowed;
    } cases[] = {{16384, 8192, true},  {134217728, 1, true}, {1, 134217728, true}, {11585, 11585, true},
                 {16384, 8193, false}, {8193, 16384, false}, {134217729, 1, false}, {0, 1, false}, {1, 0, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(mk::platform::surfaceSizeAllowed(c.width, c.height), c.allowed) << c.width << " x " << c.height;
    }
}

// The memory of surfaces and of the pixels the host gave back, kept for the
// next labels: the smallest block that fits is handed out, the oldest go
// first when the bound of bytes or of blocks would be passed, a block larger
// than the whole bound is not kept, and every take counts its bytes off.
TEST(LabelSurface, SurfaceMemoryIsKeptSmallestFitFirstOldestDroppedFirstWithinItsBound) {
    using mk::platform::BlockPool;
    using mk::platform::MappedBlock;
    const std::size_t page = mk::platform::mappedSize(1);
    struct Case {
        const char* name;
        std::size_t boundPages;
        std::vector<std::size_t> givenPages;  // oldest first
        std::size_t keptCount, keptPages;     // once all are given
        std::size_t takenPages;
        int takenIndex;                       // which given block comes back; -1: a new one
        std::vector<int> keptAfter;           // the given blocks still kept after the take
    };
    std::vector<int> all33After(31);
    std::iota(all33After.begin(), all33After.end(), 2);
    const Case cases[] = {
        {"smallest that fits, not the oldest", 16, {4, 2, 3}, 3, 9, 2, 1, {0, 2}},
        {"smallest that fits, not the newest", 16, {3, 1, 2}, 3, 6, 2, 2, {0, 1}},
        {"none fits", 16, {1, 2}, 2, 3, 3, -1, {0, 1}},
        {"oldest dropped over the bound; the oldest of equals handed out", 6, {2, 2, 2, 2}, 3, 6, 1, 1, {2, 3}},
        {"several oldest dropped for a large one", 6, {2, 2, 2, 5}, 1, 5, 5, 3, {}},
        {"exactly the bound is kept", 6, {6}, 1, 6, 6, 0, {}},
        {"larger than the bound is not kept", 6, {2, 7}, 1, 2, 1, 0, {}},
        {"33 small blocks: 32 kept, the oldest dropped", 64, std::vector<std::size_t>(33, 1), 32, 32, 1, 1,
         all33After},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BlockPool pool(c.boundPages * page);
        std::vector<uint8_t*> given;
        {
            // Blocks made at once, so that none of them is handed out twice.
            std::vector<MappedBlock> made;
            for (std::size_t pages : c.givenPages) made.push_back(pool.take(pages * page));
            for (const MappedBlock& block : made) {
                ASSERT_NE(block.data, nullptr);
                given.push_back(block.data);
                pool.give(block);
            }
        }
        // A block written past the pool's table would land on its counts.
        EXPECT_EQ(pool.count(), c.keptCount);
        EXPECT_EQ(pool.bytes(), c.keptPages * page);
        const MappedBlock taken = pool.take(c.takenPages * page);
        ASSERT_NE(taken.data, nullptr);
        EXPECT_GE(taken.capacity, c.takenPages * page);
        if (c.takenIndex >= 0) {
            EXPECT_EQ(pool.bytes(), c.keptPages * page - taken.capacity);
        }
        const auto at = std::find(given.begin(), given.end(), taken.data);
        EXPECT_EQ(at == given.end() ? -1 : static_cast<int>(at - given.begin()), c.takenIndex);
        std::vector<int> kept;
        std::vector<MappedBlock> rest;
        for (std::size_t left = pool.count(); left > 0; --left) {
            const std::size_t before = pool.bytes();
            rest.push_back(pool.take(1));
            EXPECT_EQ(pool.bytes(), before - rest.back().capacity);
        }
        EXPECT_EQ(pool.bytes(), 0u);
        for (const MappedBlock& block : rest) {
            kept.push_back(static_cast<int>(std::find(given.begin(), given.end(), block.data) - given.begin()));
        }
        std::sort(kept.begin(), kept.end());
        EXPECT_EQ(kept, c.keptAfter);
        mk::platform::unmapMemory(taken.data, taken.capacity);
        for (const MappedBlock& block : rest) mk::platform::unmapMemory(block.data, block.capacity);
    }
}

// A closed pool keeps nothing: what it held is unmapped, and blocks given
// later go straight back to the system while takes go on working.
TEST(LabelSurface, AClosedSurfacePoolKeepsNothing) {
    using mk::platform::MappedBlock;
    const std::size_t page = mk::platform::mappedSize(1);
    mk::platform::BlockPool pool(16 * page);
    pool.give(pool.take(2 * page));
    pool.close();
    EXPECT_EQ(pool.count(), 0u);
    EXPECT_EQ(pool.bytes(), 0u);
    const MappedBlock block = pool.take(3 * page);
    ASSERT_NE(block.data, nullptr);
    block.data[3 * page - 1] = 1;
    pool.give(block);
    EXPECT_EQ(pool.count(), 0u);
    EXPECT_EQ(pool.bytes(), 0u);
}

TEST(LabelSurface, ObjectsBeyondTheLabelAreClipped) {
    auto doc = label();
    MkLabel_AddLine(doc.get(), "line", -1000, 15, 1000, 15, 0.4f);
    MkLabel_AddRect(doc.get(), "rectangle", -5, -5, 1e6f, 1e6f, 1.0f);
    int ellipse = MkLabel_AddRect(doc.get(), "rectangle", -1e7f, 2, 1e7f, 8, 0.1f);
    MkLabel_SetRectShape(doc.get(), ellipse, 2);
    Rendered out = render(doc.get());
    ASSERT_EQ(out.result, MK_OK);
    for (int x = 0; x < out.width; ++x) EXPECT_NE(out.at(x, dots(15)), kWhiteRgb) << x;
}

}  // namespace
