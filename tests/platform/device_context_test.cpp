#include "platform/device_context.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "support/pixel_geometry.h"

namespace {

using mk::platform::BackgroundMode;
using mk::platform::Brush;
using mk::platform::Colorref;
using mk::platform::CosmeticStyle;
using mk::platform::DeviceContext;
using mk::platform::GraphicsMode;
using mk::platform::Pen;
using mk::platform::PixelBlock;
using mk::platform::WorldTransform;

constexpr Colorref kRed = 0x0000FF;
constexpr Colorref kGreen = 0x00FF00;
constexpr Colorref kBlue = 0xFF0000;
constexpr Colorref kWhite = 0xFFFFFF;
constexpr Colorref kBlack = 0x000000;

using mk::test::bounds;
using mk::test::Box;
using mk::test::Point;

Colorref colorAt(const DeviceContext& dc, int x, int y) {
    const uint8_t* p = dc.pixels() + static_cast<size_t>(y) * dc.stride() + 4 * static_cast<size_t>(x);
    return p[2] | (p[1] << 8) | (p[0] << 16);
}

// Every pixel that is not white.
std::set<Point> inked(const DeviceContext& dc) {
    std::set<Point> points;
    for (int y = 0; y < dc.height(); ++y)
        for (int x = 0; x < dc.width(); ++x)
            if (colorAt(dc, x, y) != kWhite) points.insert({x, y});
    return points;
}

std::set<Point> inkedIn(const DeviceContext& dc, Colorref color) {
    std::set<Point> points;
    for (int y = 0; y < dc.height(); ++y)
        for (int x = 0; x < dc.width(); ++x)
            if (colorAt(dc, x, y) == color) points.insert({x, y});
    return points;
}

std::unique_ptr<DeviceContext> surface(int width, int height) {
    auto dc = DeviceContext::create(width, height);
    EXPECT_NE(dc, nullptr);
    return dc;
}

// Lengths of the inked and blank runs along row y, from x0 up to x1.
std::vector<int> runsAlongRow(const DeviceContext& dc, int y, int x0, int x1) {
    std::vector<int> runs;
    bool inkedRun = colorAt(dc, x0, y) != kWhite;
    int length = 0;
    for (int x = x0; x < x1; ++x) {
        bool ink = colorAt(dc, x, y) != kWhite;
        if (ink != inkedRun) {
            runs.push_back(length);
            length = 0;
            inkedRun = ink;
        }
        ++length;
    }
    runs.push_back(length);
    return runs;
}

TEST(DeviceContext, CreateRefusesEmptyAndOversizedSurfaces) {
    struct Case {
        int width, height;
        bool made;
    } cases[] = {
        {1, 1, true},         {0, 10, false},         {10, 0, false},      {-5, 10, false},
        {10, -5, false},      {2000, 3000, true},     {23171, 23170, false},  // 2 147 488 280 bytes
        {1, 536870912, false}, {INT_MAX, INT_MAX, false}, {1, 134217729, false},  // one dot over 512 MiB
        {11586, 11586, false},
    };
    for (const Case& c : cases) {
        auto dc = DeviceContext::create(c.width, c.height);
        EXPECT_EQ(dc != nullptr, c.made) << c.width << " x " << c.height;
        if (dc) {
            EXPECT_EQ(dc->stride(), 4 * c.width);
        }
    }
}

TEST(DeviceContext, NewSurfaceIsWhiteWithPlainLayout) {
    auto dc = surface(7, 3);
    EXPECT_EQ(dc->stride(), 28);
    EXPECT_TRUE(inked(*dc).empty());
    dc->fillRect(2, 1, 3, 2, 0x123456);
    // blue, green, red at y * stride + 4 x
    const uint8_t* p = dc->pixels() + 1 * 28 + 4 * 2;
    EXPECT_EQ(p[0], 0x12);
    EXPECT_EQ(p[1], 0x34);
    EXPECT_EQ(p[2], 0x56);
}

TEST(DeviceContext, FillRectCoversLeftTopAndExcludesRightBottom) {
    struct Case {
        int l, t, r, b;
        size_t count;
        Box box;
    } cases[] = {
        {2, 3, 6, 5, 8, {2, 3, 5, 4}},
        {-4, -4, 2, 1, 2, {0, 0, 1, 0}},           // clipped at the top-left
        {18, 8, 40, 40, 4, {18, 8, 19, 9}},        // clipped at the bottom-right
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX, 200, {0, 0, 19, 9}},
        {5, 5, 5, 9, 0, {}},  // empty
        {6, 5, 2, 9, 0, {}},  // reversed: empty
    };
    for (const Case& c : cases) {
        auto dc = surface(20, 10);
        dc->fillRect(c.l, c.t, c.r, c.b, kRed);
        auto points = inked(*dc);
        EXPECT_EQ(points.size(), c.count) << c.l << "," << c.t << "," << c.r << "," << c.b;
        if (c.count > 0) {
            EXPECT_EQ(bounds(points), c.box);
        }
        EXPECT_EQ(points, inkedIn(*dc, kRed));
    }
}

TEST(DeviceContext, OneDotRectangleTracesTheEdgePixels) {
    auto dc = surface(20, 20);
    dc->selectPen(Pen::solid(1, kRed));
    dc->selectBrush(Brush::hollowBrush());
    dc->rectangle(3, 4, 10, 9);
    std::set<Point> expected;
    for (int x = 3; x < 10; ++x) expected.insert({x, 4}), expected.insert({x, 8});
    for (int y = 4; y < 9; ++y) expected.insert({3, y}), expected.insert({9, y});
    EXPECT_EQ(inked(*dc), expected);
    EXPECT_EQ(inkedIn(*dc, kRed), expected);
}

TEST(DeviceContext, ThickPenIsCentredOnTheBoxBoundary) {
    struct Case {
        int width;
        Box box;  // inclusive extent of the frame round the box (5, 5) - (15, 12)
    } cases[] = {
        {2, {4, 4, 15, 12}},
        {3, {3, 3, 15, 12}},
        {4, {3, 3, 16, 13}},
        {6, {2, 2, 17, 14}},
    };
    for (const Case& c : cases) {
        auto dc = surface(24, 24);
        dc->selectPen(Pen::solid(c.width, kBlack));
        dc->selectBrush(Brush::hollowBrush());
        dc->rectangle(5, 5, 15, 12);
        auto points = inked(*dc);
        EXPECT_EQ(bounds(points), c.box) << "width " << c.width;
        // The middle of each side is exactly the pen's width thick.
        EXPECT_EQ(runsAlongRow(*dc, 8, 0, 10)[1], c.width) << "width " << c.width;
        EXPECT_EQ(colorAt(*dc, 10, 8), kWhite);
    }
}

TEST(DeviceContext, OneDotEllipseAndRoundRectStayInsideTheirBoxSymmetrically) {
    struct Case {
        bool round;
        int l, t, r, b;
    } cases[] = {
        {false, 3, 4, 27, 20}, {false, 2, 2, 17, 17},
#ifndef _WIN32
        // Wine's GDI leaves the ends of an ellipse this narrow open.
        {false, 5, 5, 8, 30},
#endif
        {true, 3, 4, 27, 20},  {true, 2, 2, 17, 17},
    };
    for (const Case& c : cases) {
        auto dc = surface(32, 32);
        dc->selectPen(Pen::solid(1, kRed));
        dc->selectBrush(Brush::hollowBrush());
        if (c.round) {
            dc->roundRect(c.l, c.t, c.r, c.b, 10, 10);
        } else {
            dc->ellipse(c.l, c.t, c.r, c.b);
        }
        auto points = inked(*dc);
        EXPECT_EQ(bounds(points), (Box{c.l, c.t, c.r - 1, c.b - 1})) << c.round << " " << c.l;
        for (auto [x, y] : points) {
            EXPECT_TRUE(points.count({c.l + c.r - 1 - x, y})) << "mirror of " << x << "," << y;
            EXPECT_TRUE(points.count({x, c.t + c.b - 1 - y})) << "mirror of " << x << "," << y;
        }
        // The corners of the box stay blank.
        EXPECT_FALSE(points.count({c.l, c.t}));
        EXPECT_FALSE(points.count({c.r - 1, c.b - 1}));
    }
}

TEST(DeviceContext, RoundRectCornerIsAQuarterOfItsEllipse) {
    auto dc = surface(60, 60);
    dc->selectPen(Pen::solid(1, kBlack));
    dc->selectBrush(Brush::hollowBrush());
    dc->roundRect(10, 10, 50, 50, 16, 16);
    // The straight part of the top edge starts where the 16 x 16 corner
    // ellipse meets it: 8 dots in, the ellipse's centre.
    int firstOnTop = -1;
    for (int x = 10; x < 50 && firstOnTop < 0; ++x)
        if (colorAt(*dc, x, 10) != kWhite) firstOnTop = x;
    EXPECT_GE(firstOnTop, 13);
    EXPECT_LE(firstOnTop, 18);
    for (int x = 18; x < 42; ++x) EXPECT_NE(colorAt(*dc, x, 10), kWhite) << x;
    // The corner's diagonal point lies about r(1 - 1/sqrt 2) = 2.3 dots in.
    EXPECT_EQ(colorAt(*dc, 10, 10), kWhite);
    EXPECT_EQ(colorAt(*dc, 11, 11), kWhite);
    bool diagonal = false;
    for (int d = 11; d <= 14; ++d) diagonal = diagonal || colorAt(*dc, d, d) != kWhite;
    EXPECT_TRUE(diagonal);
}

TEST(DeviceContext, OneDotLineExcludesItsEndPoint) {
    struct Case {
        Point from, to;
        size_t count;
    } cases[] = {
        {{2, 5}, {12, 5}, 10},  {{12, 5}, {2, 5}, 10},  {{4, 1}, {4, 15}, 14},
        {{1, 1}, {11, 11}, 10}, {{1, 14}, {15, 7}, 14}, {{6, 6}, {6, 6}, 0},
    };
    for (const Case& c : cases) {
        auto dc = surface(20, 20);
        dc->selectPen(Pen::solid(1, kRed));
        dc->moveTo(c.from.first, c.from.second);
        dc->lineTo(c.to.first, c.to.second);
        auto points = inked(*dc);
        EXPECT_EQ(points.size(), c.count) << c.from.first << "," << c.from.second;
        if (c.count > 0) {
            EXPECT_TRUE(points.count(c.from));
            EXPECT_FALSE(points.count(c.to));
        }
    }
}

TEST(DeviceContext, LineToMovesTheCurrentPosition) {
    auto dc = surface(20, 20);
    dc->selectPen(Pen::solid(1, kBlack));
    dc->moveTo(2, 2);
    dc->lineTo(10, 2);
    dc->lineTo(10, 10);
    EXPECT_NE(colorAt(*dc, 9, 2), kWhite);
    EXPECT_NE(colorAt(*dc, 10, 2), kWhite);  // the second line's start
    EXPECT_NE(colorAt(*dc, 10, 9), kWhite);
    EXPECT_EQ(colorAt(*dc, 10, 10), kWhite);
}

TEST(DeviceContext, ThickLineIsItsWidthAcross) {
    for (int width : {2, 3, 4, 5, 8}) {
        auto dc = surface(60, 40);
        dc->selectPen(Pen::solid(width, kBlack));
        dc->moveTo(10, 20);
        dc->lineTo(50, 20);
        int across = 0;
        for (int y = 0; y < 40; ++y) across += colorAt(*dc, 30, y) != kWhite;
        EXPECT_EQ(across, width);
        // Round caps reach past both ends.
        EXPECT_NE(colorAt(*dc, 50, 20), kWhite);
    }
}

TEST(DeviceContext, OpaqueBackgroundPaintsTheGapsOfOneDotDashes) {
    for (BackgroundMode mode : {BackgroundMode::Opaque, BackgroundMode::Transparent}) {
        auto dc = surface(100, 6);
        dc->fillRect(0, 0, 100, 6, kGreen);
        dc->selectPen(Pen::cosmetic(CosmeticStyle::Dash, kRed));
        dc->setBackgroundColor(kBlue);
        dc->setBackgroundMode(mode);
        dc->moveTo(0, 3);
        dc->lineTo(96, 3);
        auto red = inkedIn(*dc, kRed);
        auto blue = inkedIn(*dc, kBlue);
        EXPECT_GT(red.size(), 40u);
        EXPECT_LT(red.size(), 96u);
        if (mode == BackgroundMode::Opaque) {
            EXPECT_EQ(red.size() + blue.size(), 96u);
        } else {
            EXPECT_TRUE(blue.empty());
        }
        // The line's own row only; nothing else changed.
        for (auto [x, y] : red) EXPECT_EQ(y, 3);
        for (auto [x, y] : blue) EXPECT_EQ(y, 3);
    }
}

TEST(DeviceContext, NothingIsAntialiased) {
    auto dc = surface(80, 80);
    dc->selectPen(Pen::dashed(5, kRed, {7, 3}));
    dc->selectBrush(Brush::solid(kBlue));
    dc->ellipse(3, 7, 71, 55);
    dc->roundRect(20, 30, 77, 77, 21, 13);
    dc->selectPen(Pen::solid(1, kRed));
    dc->moveTo(0, 79);
    dc->lineTo(79, 3);
    dc->selectPen(Pen::solid(4, kGreen));
    dc->moveTo(5, 70);
    dc->lineTo(60, 2);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 80; ++x) {
            Colorref c = colorAt(*dc, x, y);
            EXPECT_TRUE(c == kWhite || c == kRed || c == kBlue || c == kGreen) << x << "," << y << ": " << std::hex << c;
        }
}

std::vector<uint8_t> gradient(int width, int height);

TEST(DeviceContext, DrawingFarOutsideIsClippedSafely) {
    auto dc = surface(16, 16);
    dc->selectPen(Pen::solid(1, kBlack));
    dc->moveTo(-2000000000, -2000000000);
    dc->lineTo(2000000000, 2000000000);
    // The diagonal crosses the whole surface.
    for (int i = 0; i < 16; ++i) EXPECT_NE(colorAt(*dc, i, i), kWhite) << i;
    dc->selectPen(Pen::dashed(7, kBlack, {14, 7}));
    dc->selectBrush(Brush::solid(kBlack));
    dc->rectangle(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
    dc->ellipse(-100000000, 5, 100000000, 9);
    dc->roundRect(-50, -50, 2000000000, 2000000000, INT_MAX, INT_MAX);
    dc->moveTo(INT_MAX, INT_MIN);
    dc->lineTo(INT_MIN, INT_MAX);
    dc->fillRect(INT_MIN, 3, INT_MAX, 4, kRed);
    EXPECT_EQ(colorAt(*dc, 8, 3), kRed);
    auto bytes = gradient(3, 3);
    PixelBlock block{bytes.data(), 3, 3, 12};
    dc->setPixels(INT_MAX, INT_MIN, block);
    dc->setPixels(INT_MIN, INT_MAX, block);
    dc->stretchPixels(INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0, 3, 3, block);
    dc->stretchPixels(INT_MAX, 0, INT_MIN, 16, 0, 0, 3, 3, block);
    dc->stretchPixels(0, 0, 16, 16, INT_MAX, INT_MAX, INT_MAX, INT_MAX, block);
}

// A line reaching far beyond the surface is cut before it is drawn: it is
// still drawn where it crosses the surface, and its dashes lie where those of
// a short line starting a whole number of dash periods nearer lie.
TEST(DeviceContext, LinesFromFarOutsideAreDrawnInPhase) {
    constexpr int kFar = 2000000000;  // kFar + 2 is a multiple of 18 and of 27
    const Pen pens[] = {Pen::solid(3, kBlack), Pen::dashed(3, kBlack, {12, 6}), Pen::dashed(3, kBlack, {12, 6, 3, 6})};
    for (const Pen& pen : pens) {
        auto far = surface(9, 60);
        auto near = surface(9, 60);
        far->selectPen(pen);
        near->selectPen(pen);
        far->moveTo(4, -kFar);
        far->lineTo(4, kFar);
        near->moveTo(4, -2);
        near->lineTo(4, 80);
        EXPECT_FALSE(inked(*far).empty()) << pen.pattern.size();
        EXPECT_EQ(inked(*far), inked(*near)) << pen.pattern.size();
    }
}

// A shape reaching far beyond a small surface is cut to it before it is
// stroked: what shows is what shows of the same shape on a surface large
// enough to take it whole, dashes (in phase) and fill alike, and a shape
// whose outline passes the surface by shows nothing of it.
TEST(DeviceContext, ShapesReachingFarBeyondAreCutToTheSurface) {
    struct Case {
        const char* what;
        Pen pen;
        bool filled;
        int shape;  // 0 rectangle, 1 rounded, 2 ellipse
        int left, top, right, bottom;
    };
    const Case cases[] = {
#ifndef _WIN32
        // GDI draws its own ellipses and corners, whose dashes start
        // elsewhere than those of the outline a cut shape follows.
        {"dotted ellipse crossing", Pen::dashed(3, kBlack, {3, 6}), false, 2, -500, 50, 1500, 1950},
        {"dash-dot ellipse through the corner", Pen::dashed(4, kBlack, {16, 8, 4, 8}), false, 2, -900, -900, 150, 190},
        {"1-dot dashes, rounded corner", Pen::cosmetic(CosmeticStyle::Dash, kBlack), false, 1, 150, 20, 1900, 1900},
        {"filled ellipse", Pen::dashed(5, kBlack, {20, 10}), true, 2, -1500, 100, 1500, 1900},
#endif
        {"filled ellipse round the surface", Pen::dashed(3, kBlack, {3, 6}), true, 2, -1000, -1000, 1200, 1200},
        {"rectangle", Pen::dashed(3, kBlack, {12, 6}), true, 0, 60, -1700, 1900, 170},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto whole = surface(2000, 2000);
        auto cut = surface(200, 200);
        for (DeviceContext* dc : {whole.get(), cut.get()}) {
            dc->selectPen(c.pen);
            dc->selectBrush(c.filled ? Brush::solid(kRed) : Brush::hollowBrush());
            if (c.shape == 0) dc->rectangle(c.left, c.top, c.right, c.bottom);
            if (c.shape == 1) dc->roundRect(c.left, c.top, c.right, c.bottom, 400, 400);
            if (c.shape == 2) dc->ellipse(c.left, c.top, c.right, c.bottom);
        }
        int differing = 0;
        int drawn = 0;
        for (int y = 0; y < 200; ++y) {
            for (int x = 0; x < 200; ++x) {
                drawn += colorAt(*cut, x, y) != kWhite;
                differing += colorAt(*cut, x, y) != colorAt(*whole, x, y);
            }
        }
        EXPECT_GT(drawn, 50);
        // Lengths along the cut-off part of the outline are measured on the
        // curve, where cairo measures its own flattening of it (a tenth of a
        // dot shorter round an ellipse of 2 000): a dot's edge may move.
        EXPECT_LE(differing, drawn / 8);
    }
    // Outlines that pass the surface by, however large and dashed.
    auto dc = surface(100, 100);
    dc->selectPen(Pen::dashed(2, kBlack, {2, 4}));
    dc->ellipse(-1000000000, -1000000000, 1000000000, 1000000000);
    dc->roundRect(-1000000000, -1000000000, 1000000000, 1000000000, 100000, 100000);
    dc->ellipse(200, -1000000000, 1000000000, 1000000000);
    EXPECT_TRUE(inked(*dc).empty());
    // One that crosses it, near its top: its dashes lie along row 50.
    dc->ellipse(-1000000000, 50, 1000000000, 2000000000);
    const std::set<Point> arc = inked(*dc);
    EXPECT_GT(arc.size(), 60u);
    EXPECT_LT(arc.size(), 100u);
    EXPECT_EQ(bounds(arc).top, 49);
    EXPECT_EQ(bounds(arc).bottom, 50);
    // Filled round the whole surface.
    dc->selectBrush(Brush::solid(kRed));
    dc->roundRect(-1000000000, -1000000000, 1000000000, 1000000000, 100000, 100000);
    EXPECT_EQ(inkedIn(*dc, kRed).size(), 100u * 100u);
}

TEST(DeviceContext, DrawingCrossesTileBoundariesOfLargeSurfaces) {
    // Beyond 32767 dots a side the surface is drawn in tiles.
    auto tall = surface(8, 40000);
    tall->selectPen(Pen::solid(1, kBlack));
    tall->moveTo(3, 0);
    tall->lineTo(3, 40000);
    tall->selectPen(Pen::solid(3, kRed));
    tall->moveTo(0, 32766);
    tall->lineTo(8, 32768);
    const uint8_t* pixels = tall->pixels();
    int column = 0;
    for (int y = 0; y < 40000; ++y) column += pixels[static_cast<size_t>(y) * 32 + 12] == 0;
    EXPECT_GE(column, 39990);
    EXPECT_EQ(colorAt(*tall, 6, 32767), kRed);
    EXPECT_EQ(colorAt(*tall, 1, 32766), kRed);

    auto wide = surface(33000, 2);
    wide->selectPen(Pen::solid(1, kBlack));
    wide->moveTo(32000, 1);
    wide->lineTo(33000, 1);
    EXPECT_NE(colorAt(*wide, 32766, 1), kWhite);
    EXPECT_NE(colorAt(*wide, 32767, 1), kWhite);
    EXPECT_NE(colorAt(*wide, 32999, 1), kWhite);
}

TEST(DeviceContext, SelectReturnsWhatWasSelected) {
    auto dc = surface(4, 4);
    Pen first = dc->selectPen(Pen::solid(3, kRed));
    EXPECT_FALSE(first.geometric);
    EXPECT_EQ(first.color, kBlack);
    Pen second = dc->selectPen(first);
    EXPECT_EQ(second.width, 3);
    EXPECT_EQ(second.color, kRed);
    Brush brush = dc->selectBrush(Brush::hollowBrush());
    EXPECT_FALSE(brush.hollow);
    EXPECT_TRUE(dc->selectBrush(brush).hollow);
    EXPECT_EQ(dc->setTextColor(kRed), kBlack);
    EXPECT_EQ(dc->textColor(), kRed);
    EXPECT_EQ(dc->setBackgroundMode(BackgroundMode::Transparent), BackgroundMode::Opaque);
    EXPECT_EQ(dc->setBackgroundColor(kBlue), kWhite);
}

TEST(DeviceContext, WorldTransformNeedsTheAdvancedMode) {
    auto dc = surface(4, 4);
    WorldTransform wide;
    wide.m11 = 1.5f;
    EXPECT_FALSE(dc->setWorldTransform(wide));
    EXPECT_EQ(dc->worldTransform().m11, 1.0f);
    EXPECT_EQ(dc->setGraphicsMode(GraphicsMode::Advanced), GraphicsMode::Compatible);
    EXPECT_TRUE(dc->setWorldTransform(wide));
    EXPECT_EQ(dc->worldTransform().m11, 1.5f);
    EXPECT_EQ(dc->setGraphicsMode(GraphicsMode::Compatible), GraphicsMode::Advanced);
    EXPECT_EQ(dc->worldTransform().m11, 1.0f);
}

// A block whose pixel (x, y) has red x, green y and blue 7.
std::vector<uint8_t> gradient(int width, int height) {
    std::vector<uint8_t> bytes(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &bytes[(static_cast<size_t>(y) * width + x) * 4];
            p[0] = 7;
            p[1] = static_cast<uint8_t>(y);
            p[2] = static_cast<uint8_t>(x);
        }
    return bytes;
}

Colorref gradientAt(int x, int y) { return static_cast<Colorref>(x | (y << 8) | (7 << 16)); }

TEST(DeviceContext, SetPixelsCopiesTheBlockClipped) {
    auto bytes = gradient(5, 4);
    PixelBlock block{bytes.data(), 5, 4, 20};
    struct Case {
        int x, y;
    } cases[] = {{2, 3}, {-2, -1}, {8, 7}, {-100, 3}, {3, 100}};
    for (const Case& c : cases) {
        auto dc = surface(10, 9);
        dc->setPixels(c.x, c.y, block);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 10; ++x) {
                int sx = x - c.x;
                int sy = y - c.y;
                bool inside = sx >= 0 && sx < 5 && sy >= 0 && sy < 4;
                EXPECT_EQ(colorAt(*dc, x, y), inside ? gradientAt(sx, sy) : kWhite) << x << "," << y;
            }
    }
}

TEST(DeviceContext, StretchPixelsIsNearestNeighbour) {
    auto bytes = gradient(4, 3);
    PixelBlock block{bytes.data(), 4, 3, 16};
    struct Case {
        int destW, destH, srcX, srcY, srcW, srcH;
        int (*sourceX)(int);
        int (*sourceY)(int);
    } cases[] = {
        {8, 6, 0, 0, 4, 3, [](int i) { return i / 2; }, [](int j) { return j / 2; }},
        {2, 3, 0, 0, 4, 3, [](int i) { return 2 * i + 1; }, [](int j) { return j; }},
        {4, 4, 2, 1, 2, 2, [](int i) { return 2 + i / 2; }, [](int j) { return 1 + j / 2; }},
        {-4, 3, 0, 0, 4, 3, [](int i) { return 3 - i; }, [](int j) { return j; }},
    };
    for (const Case& c : cases) {
        auto dc = surface(16, 12);
        dc->stretchPixels(6, 2, c.destW, c.destH, c.srcX, c.srcY, c.srcW, c.srcH, block);
        int left = c.destW < 0 ? 6 + c.destW + 1 : 6;
        int w = std::abs(c.destW);
        for (int j = 0; j < c.destH; ++j)
            for (int i = 0; i < w; ++i)
                EXPECT_EQ(colorAt(*dc, left + i, 2 + j), gradientAt(c.sourceX(i), c.sourceY(j)))
                    << c.destW << ": " << i << "," << j;
        EXPECT_EQ(inked(*dc).size(), static_cast<size_t>(w * c.destH));
    }
}

TEST(DeviceContext, AlphaMaskedBlocksLeaveTransparentPixels) {
    // Columns 0 and 2 transparent (alpha 0), 1 and 3 opaque.
    auto bytes = gradient(4, 2);
    for (size_t at = 3; at < bytes.size(); at += 4) bytes[at] = (at / 4) % 2 == 0 ? 0 : 255;
    struct Case {
        bool masked;
        int destW;  // mirrored when negative
    } cases[] = {{true, 4}, {true, 8}, {true, -4}, {false, 4}, {false, -8}};
    for (const Case& c : cases) {
        auto dc = surface(20, 4);
        dc->fillRect(0, 0, 20, 4, kRed);
        PixelBlock block{bytes.data(), 4, 2, 16, c.masked};
        dc->stretchPixels(9, 1, c.destW, 2, 0, 0, 4, 2, block);
        const int w = std::abs(c.destW);
        const int left = c.destW < 0 ? 9 - w + 1 : 9;
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < w; ++i) {
                const int sx = (c.destW < 0 ? w - 1 - i : i) * 4 / w;
                const bool shown = !c.masked || sx % 2 == 1;
                EXPECT_EQ(colorAt(*dc, left + i, 1 + j), shown ? gradientAt(sx, j) : kRed)
                    << c.masked << " " << c.destW << ": " << i << "," << j;
            }
        EXPECT_EQ(colorAt(*dc, left - 1, 1), kRed);
        EXPECT_EQ(colorAt(*dc, left + w, 1), kRed);
    }
}

TEST(DeviceContext, WrittenPixelsSurviveLaterDrawing) {
    auto dc = surface(10, 10);
    uint8_t* pixels = dc->mutablePixels();
    std::memset(pixels + 5 * dc->stride(), 0, static_cast<size_t>(dc->stride()));  // row 5 black
    dc->selectPen(Pen::solid(1, kRed));
    dc->moveTo(0, 2);
    dc->lineTo(10, 2);
    EXPECT_EQ(colorAt(*dc, 4, 5), kBlack);
    EXPECT_EQ(colorAt(*dc, 4, 2), kRed);
}

}  // namespace
