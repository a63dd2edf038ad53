#pragma once

#include <string_view>

namespace mk {

// What zint 2.11 must be asked for to make the symbol a kind names. That
// release knows EAN-8 only as its general EAN symbology, which picks the
// symbol by the data's length: eight digits there make an EAN-13.
struct ZintTarget {
    int symbology;        // the number handed to zint
    const char* refusal;  // non-null when zint would make another symbol: the error line's message
};

// data is the working data, after mnemonics and fix-ups.
ZintTarget zintTargetFor(int symbology, std::string_view data);

// Pixel columns to drop at the left of zint's raster (3 bytes a pixel, the
// first row of width pixels given): zint 2.11 puts a quiet zone before an
// EAN-8's bars, and its digit groups are placed from the first bar.
int leadingColumnsToDrop(int symbology, const unsigned char* firstRow, int width);

}  // namespace mk
