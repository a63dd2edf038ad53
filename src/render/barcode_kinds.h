#pragma once

// Every barcode kind, described once: the names it answers to (each use
// matches them its own way), its zint symbology and the rules that follow
// from the kind.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "render/ean_upc.h"

namespace mk {

struct BarcodeKind {
    // Drawing: the object's kind must be exactly this (case, blanks and
    // all); empty for kinds the adapter knows but drawing does not draw.
    std::string_view drawnAs = {};
    // The adapter, first: these whole names, compared with the trimmed kind,
    // ASCII letters in either case.
    std::array<std::string_view, 6> names = {};
    // The adapter, then: these parts of the lower-cased trimmed kind, tried
    // by partsRank (1 first) across all kinds.
    std::array<std::string_view, 2> nameParts = {};
    int partsRank = 0;
    int symbology = 0;     // zint's number (see barcode_adapter.h)
    uint32_t subsetA = 0;  // Code 128 subset A: 1, else 0
    // The data fix-up before zint sees it; null: none.
    std::string (*prepare)(std::string data) = nullptr;
    // Inputs that make zint 2.11 leave its own memory, refused first: the
    // reason for the error line, or null when safe. Null: none known.
    const char* (*zintFault)(std::string_view data) = nullptr;
    // Its EAN/UPC facts (data length, zint symbology, digit groups); null
    // outside the family.
    const EanUpcKind* eanUpc = nullptr;
    // Drawing, by parts of the kind's name in its own letter case: a bearer
    // box round the symbol when the kind contains drawnAs; Code 39 text
    // when it contains drawnAs, upper-cased unless it contains keepsCaseWith.
    bool bearerBox = false;
    bool code39Text = false;
    std::string_view keepsCaseWith = {};
};

// Case-insensitive comparisons that fold only the ASCII letters, so UTF-8
// bytes compare as they are.
bool equalsIgnoreCase(std::string_view a, std::string_view b);
// Compares [first, last) with as many bytes at the start of other; the caller
// has checked that other is long enough.
bool rangeEqualsNoCase(const char* first, const char* last, const char* other);

// The kind the adapter makes of a name: a whole name first, then a part;
// Code 128 for any other name.
const BarcodeKind& barcodeKindFor(std::string_view kind);

// The names an object's kind must equal to be drawn.
const std::vector<std::string_view>& drawableBarcodeKindNames();
bool isDrawableBarcodeKind(std::string_view kind);

// A GS1 kind encodes its data in GS1 mode where its symbology has one: the
// kind as stored contains "GS1" or "gs1".
bool isGs1KindName(std::string_view kind);

// What drawing does with a kind's text and symbol, by the parts its name
// contains (see BarcodeKind).
struct KindTextRules {
    bool bearerBox = false;
    bool code39 = false;     // the text between stars when asked for
    bool upperCase = false;  // Code 39 text shown upper-cased
    bool digitLine = false;  // EAN/UPC: the text stands on the digit line
    const EanUpcKind* digits = nullptr;
};
KindTextRules kindTextRulesFor(std::string_view kind);

// The kind's data fix-ups (see BarcodeKind::prepare and the EAN/UPC data length).
std::string prepareBarcodeData(const BarcodeKind& kind, std::string data);

}  // namespace mk
