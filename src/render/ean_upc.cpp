#include "render/ean_upc.h"

#include <zint.h>

#include <algorithm>

namespace mk {

namespace eanUpc {
// Module numbers count from the left edge of the symbol's pixels, quiet zone
// included: EAN-13's and the UPCs' first digit stands in it.
const EanUpcKind ean13{{"EAN-13", "EAN 13"}, {{{0, 1, 0, 4}, {1, 6, 15, 57}, {7, 6, 61, 103}}}, 3, -1, 12, false};
const EanUpcKind ean8{{"EAN-8", "EAN 8"}, {{{0, 4, 4, 32}, {4, 4, 36, 64}}}, 2, -1, 7, true};
const EanUpcKind upcA{{"UPC-A", "UPC-A"}, {{{0, 1, 0, 9}, {1, 5, 19, 54}, {6, 5, 59, 94}}}, 3, 11, 0, false};
const EanUpcKind upcE{{"UPC-E", "UPC-E"}, {{{0, 1, 0, 9}, {1, 6, 12, 54}}}, 2, 7, 0, false};
}  // namespace eanUpc

namespace {

// The order drawing tries the members in: the first one the kind names wins.
constexpr const EanUpcKind* kDigitOrder[] = {&eanUpc::ean13, &eanUpc::ean8, &eanUpc::upcA, &eanUpc::upcE};

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// The symbol's own digits: an add-on follows a '+'.
std::string_view mainPart(std::string_view data) { return data.substr(0, data.find('+')); }

}  // namespace

bool isEanUpcKindName(std::string_view kind) { return contains(kind, "EAN") || contains(kind, "UPC"); }

const EanUpcKind* eanUpcDigitsFor(std::string_view kind) {
    for (const EanUpcKind* member : kDigitOrder)
        if (contains(kind, member->shownBy[0]) || contains(kind, member->shownBy[1])) return member;
    return nullptr;
}

std::string fillEanUpcDigits(const EanUpcKind& member, std::string data) {
    const size_t length = mainPart(data).size();
    const bool allDigits = std::all_of(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length),
                                       [](char c) { return c >= '0' && c <= '9'; });
    if (allDigits && length < member.dataDigits) data.insert(0, member.dataDigits - length, '0');
    return data;
}

ZintTarget zintTargetFor(const EanUpcKind* member, int sym, std::string_view data) {
    if (member == nullptr || !member->viaGeneralEan) return {sym, nullptr};
    const size_t length = mainPart(data).size();
    const size_t withCheck = member->dataDigits + 1;
    // With its check digit: the check-digit variant verifies it and stays an EAN-8.
    if (length == withCheck) return {BARCODE_EANX_CHK, nullptr};
    if (length > withCheck) return {sym, "Input too long for EAN-8 (7 digits, or 8 with the check digit)"};
    return {BARCODE_EANX, nullptr};
}

int leadingColumnsToDrop(const EanUpcKind* member, const unsigned char* firstRow, int width) {
    if (member == nullptr || !member->viaGeneralEan) return 0;
    for (int x = 0; x < width; ++x)
        if (firstRow[3 * x] == 0) return x;
    return 0;
}

}  // namespace mk
