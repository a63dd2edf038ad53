#include "portable/clip_segment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using mk::platform::ClipWindow;
using mk::platform::outlineStretch;
using mk::platform::OutlinePiece;
using mk::platform::pieceLength;
using mk::platform::roundedBoxOutline;
using mk::platform::visibleRuns;

double lengthOf(const std::vector<OutlinePiece>& pieces) {
    double length = 0;
    for (const OutlinePiece& piece : pieces) length += pieceLength(piece);
    return length;
}

// The pieces join end to start.
bool joined(const std::vector<OutlinePiece>& pieces) {
    for (size_t i = 1; i < pieces.size(); ++i) {
        if (std::hypot(pieces[i].p[0].x - pieces[i - 1].p[3].x, pieces[i].p[0].y - pieces[i - 1].p[3].y) > 1e-6)
            return false;
    }
    return true;
}

// A stretch of an outline, and what is visible of it, are measured along the
// outline as the drawing library strokes it: a circle's outline is 2 pi r
// (to the cubic's 0.03 %), and a stretch from a to b is b - a long.
TEST(ClipSegment, OutlinesAreMeasuredAlongTheirPieces) {
    const std::vector<OutlinePiece> circle = roundedBoxOutline(-1e6, -1e6, 1e6, 1e6, 1e6, 1e6);
    const double whole = lengthOf(circle);
    const double pi = std::acos(-1.0);
    EXPECT_NEAR(whole, 2 * pi * 1e6, 2 * pi * 1e6 * 3e-4);
    struct Case {
        double from, to;
    } cases[] = {{0, 10}, {123.25, 4567.5}, {whole / 4 - 3, whole / 4 + 3}, {whole - 7, whole}, {1e5, 5e6}};
    for (const Case& c : cases) {
        const std::vector<OutlinePiece> stretch = outlineStretch(circle, c.from, c.to);
        EXPECT_NEAR(lengthOf(stretch), c.to - c.from, 1e-6 * std::max(1.0, c.to - c.from)) << c.from;
        EXPECT_TRUE(joined(stretch)) << c.from;
    }
    // Where the circle crosses a small window near its top, one run, starting
    // as far along as the arc from the top's left end to the window's edge.
    const ClipWindow window{-50, -1e6 - 5, 50, -1e6 + 5};
    const auto runs = visibleRuns(circle, window);
    ASSERT_EQ(runs.size(), 2u);  // the outline starts at the top, within the window
    EXPECT_EQ(runs[0].startLength, 0);
    EXPECT_NEAR(lengthOf(runs[0].pieces) + lengthOf(runs[1].pieces), 100, 0.1);
    EXPECT_NEAR(runs[1].startLength + lengthOf(runs[1].pieces), whole, 1e-3);
    EXPECT_TRUE(visibleRuns(circle, ClipWindow{-10, -10, 10, 10}).empty());
}

}  // namespace
