#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "mklabel.h"
#include "support/handles.h"
#include "support/pixel_geometry.h"

namespace mk::test {

// A colour as 0xRRGGBB, the way pixels are compared in these tests.
using Rgb = uint32_t;
inline constexpr Rgb kWhiteRgb = 0xFFFFFF;

// A buffer the render calls handed back, released with MkFree.
struct Rendered {
    struct Free {
        void operator()(void* block) const { MkFree(block); }
    };
    int result = 0;
    std::unique_ptr<uint8_t, Free> pixels;
    int width = 0;
    int height = 0;
    int stride = 0;

    Rgb at(int x, int y) const {
        const uint8_t* p = pixels.get() + static_cast<size_t>(y) * stride + 4 * static_cast<size_t>(x);
        return static_cast<Rgb>(p[2] << 16 | p[1] << 8 | p[0]);
    }

    std::set<Point> inked() const {
        std::set<Point> points;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (at(x, y) != kWhiteRgb) points.insert({x, y});
        return points;
    }

    // Lengths of alternating runs (inked or blank) along row y from x0 to x1.
    std::vector<int> runsAlongRow(int y, int x0, int x1) const {
        std::vector<int> runs;
        bool ink = at(x0, y) != kWhiteRgb;
        int length = 0;
        for (int x = x0; x < x1; ++x) {
            if ((at(x, y) != kWhiteRgb) != ink) {
                runs.push_back(length);
                length = 0;
                ink = !ink;
            }
            ++length;
        }
        runs.push_back(length);
        return runs;
    }
};

inline PrinterPtr printerAt(int dpi) {
    PrinterPtr printer(MkPrinter_Create());
    MkPrinter_SetDpi(printer.get(), dpi);
    return printer;
}

using RenderCall = int (*)(LabelDoc*, const Printer*, int, void**, int*, int*, int*);

inline Rendered render(LabelDoc* doc, const Printer* printer = nullptr, RenderCall call = MkLabel_Render) {
    Rendered out;
    void* pixels = nullptr;
    out.result = call(doc, printer, 0, &pixels, &out.width, &out.height, &out.stride);
    out.pixels.reset(static_cast<uint8_t*>(pixels));
    return out;
}

}  // namespace mk::test
