#pragma once

#include <cstdint>

namespace mk {

// What the objects of one call may cost together, in units of about 0.3 us
// of work: a symbol module that zint encodes, 128 pixels written, four bytes
// of barcode data parsed, 16 dots of outline stroked, half a dash, or twelve
// code points a text layout looks at. A file of a few kilobytes can hold tens of
// thousands of objects, each drawing over the whole label or asking for the
// largest symbol; the budget keeps a call to about half a second of such
// work (some 48 QR Code symbols of version 40, 200 million pixels, or some
// 300 dotted fills or 1 500 dotted outlines of a 104 x 75 mm label at 203
// dpi), whatever the objects. Every object is
// charged what it asks for, whether or not a cache spares the work, so
// whether a label is drawn never depends on what other calls did before.
inline constexpr int64_t kDrawCostPerCall = int64_t{3} << 19;

// Pixels written that cost one unit.
inline constexpr int64_t kPixelsPerDrawCost = 128;

// Text is charged by what its layout and painting go through, counted from
// the text and the layout's own steps, never from what the glyph memories
// hold: a code point looked at by a pass of the layout (wrapping, measuring
// or placing at one size, or stepped over while painting) costs 1 /
// kCharactersPerDrawCost (measured: 8 ns a code point in a wrap, 23 ns in a
// text of line feeds); a code point measured anew at a size costs
// kGlyphMeasureCost when a face has its glyph (loading and hinting it, a few
// us: 21 000 distinct Han characters shrunk to fit took 2 to 2.7 s) and 1
// when none has (0.16 us); a glyph painted costs
// kGlyphPaintCost (rendering it) and its cell's pixels on the surface as
// pixels written. Shrink-to-fit pays its every size tried, so such a text
// stops after about five sizes, within the call's half second.
inline constexpr int64_t kCharactersPerDrawCost = 12;
inline constexpr int64_t kGlyphMeasureCost = 12;
inline constexpr int64_t kGlyphPaintCost = 12;

class DrawBudget {
public:
    // False once what was charged so far costs more than the call may.
    bool charge(int64_t cost) {
        spent_ += cost;
        return spent_ <= kDrawCostPerCall;
    }
    bool exceeded() const { return spent_ > kDrawCostPerCall; }

private:
    int64_t spent_ = 0;
};

}  // namespace mk
