#include "render/units.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace {

TEST(Units, MillimetresRoundToDotsInSinglePrecision) {
    struct Case {
        float mm;
        int dpi;
        int dots;
    } cases[] = {
        {1.0f, 203, 8},         {0.4f, 203, 3},       {0.1f, 203, 1},      {0.0f, 203, 0},
        {0.06f, 203, 0},        {104.0f, 203, 831},   {75.0f, 203, 599},   {104.0f, 300, 1228},
        {75.0f, 300, 886},      {104.0f, 600, 2457},  {75.0f, 600, 1772},  {2.0f, 203, 16},
        {-0.3f, 203, -1},  // truncated toward zero after adding a half
        {-1.0f, 203, -7},       {25.4f, 0, 0},        {25.4f, -203, -202},
        {1e30f, 203, INT_MAX},  {-1e30f, 203, INT_MIN},
        {NAN, 203, 0},          {INFINITY, 300, INT_MAX},
    };
    for (const Case& c : cases) EXPECT_EQ(mk::mmToDots(c.mm, c.dpi), c.dots) << c.mm << " mm at " << c.dpi;
}

TEST(Units, ColoursDropAlphaAndSwapRedAndBlue) {
    struct Case {
        uint32_t argb;
        uint32_t colorref;
    } cases[] = {
        {0xFF000000u, 0x000000u}, {0x80FF0000u, 0x0000FFu}, {0xFFFF0000u, 0x0000FFu},
        {0x0000FF00u, 0x00FF00u}, {0x7F0000FFu, 0xFF0000u}, {0x12345678u, 0x785634u},
    };
    for (const Case& c : cases) EXPECT_EQ(mk::rgbToColorref(c.argb), c.colorref) << std::hex << c.argb;
}

}  // namespace
