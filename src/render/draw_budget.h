#pragma once

#include <cstdint>

namespace mk {

// What the objects of one call may cost together, in units of about 0.3 us
// of work: a symbol module that zint encodes, 128 pixels written, four bytes
// of barcode data parsed, 16 dots of outline stroked, or half a dash. A file of a few kilobytes can hold tens of
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
