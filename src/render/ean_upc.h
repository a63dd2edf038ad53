#pragma once

// The EAN/UPC family in one place: how much data each member takes, how
// zint 2.11 is asked for it, and where its human-readable digits stand.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace mk {

// Characters [first, first + count) of the text spread over modules
// [fromModule, toModule) of the symbol, counted from the left edge of the
// symbol's pixels.
struct DigitGroup {
    int first;
    int count;
    float fromModule;
    float toModule;
};

struct EanUpcKind {
    // Drawing places the digits of a kind that contains either (letter case
    // as written); the members are tried in the order of eanUpcDigitsFor.
    std::array<std::string_view, 2> shownBy;
    std::array<DigitGroup, 3> groups;
    int groupCount;
    int trailing;  // index of the character set right-aligned after the bars, or -1
    // Digits before the check digit: shorter all-digit data gets leading
    // zeros up to them, so that zint makes this symbol and not an add-on or
    // a shorter member. 0: the data is left as it is.
    size_t dataDigits;
    // zint 2.11 knows the member only as its general EAN symbology, which
    // picks the symbol by the data's length and puts a quiet zone before the
    // bars.
    bool viaGeneralEan;
};

namespace eanUpc {
extern const EanUpcKind ean13;
extern const EanUpcKind ean8;
extern const EanUpcKind upcA;
extern const EanUpcKind upcE;
}  // namespace eanUpc

// Whether drawing puts a kind's text on the digit line under the bars: its
// name contains "EAN" or "UPC", letter case as written. Add-on kinds too,
// which have no digit groups.
bool isEanUpcKindName(std::string_view kind);

// The member whose digit groups drawing uses for a kind, by the parts its
// name contains; null for none.
const EanUpcKind* eanUpcDigitsFor(std::string_view kind);

// The data filled with leading zeros as the member wants (an add-on after
// '+' keeps its digits; data that is not all digits is left for zint to refuse).
std::string fillEanUpcDigits(const EanUpcKind& member, std::string data);

// What zint 2.11 must be asked for to make the symbol a kind names.
struct ZintTarget {
    int symbology;        // the number handed to zint
    const char* refusal;  // non-null when zint would make another symbol: the error line's message
};

// sym is the kind's symbology, data the working data after mnemonics and
// fix-ups; member is null for kinds outside the family.
ZintTarget zintTargetFor(const EanUpcKind* member, int sym, std::string_view data);

// Pixel columns to drop at the left of zint's raster (3 bytes a pixel, the
// first row of width pixels given), so that the digit groups are placed from
// the first bar.
int leadingColumnsToDrop(const EanUpcKind* member, const unsigned char* firstRow, int width);

}  // namespace mk
