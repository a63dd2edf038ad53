#pragma once

#include <array>
#include <string_view>

namespace mk {

// The kind names a barcode object is drawn with, compared exactly (case,
// blanks and all). The adapter understands more names, but an object whose
// kind is not listed here is not drawn.
inline constexpr std::array<std::string_view, 27> barcodeKindNames = {
    "Code 128 Auto",
    "Code 128 A",
    "Code 128 B",
    "Code 128 C",
    "EAN-13",
    "QR Code(2D)",
    "PDF 417(2D)",
    "Code 39",
    "Code 39 Extended",
    "Code 93",
    "UPC-A",
    "UPC-E",
    "UPC 2 Digit Ext.",
    "UPC 5 Digit Ext.",
    "EAN-8",
    "ITF-14",
    "Data Matrix(2D)",
    "GS1-128",
    "GS1 Data Matrix(2D)",
    "GS1 QR Code(2D)",
    "GS1 DataBar Expanded Stacked",
    "Interleaved 2 of 5",
    "Industrial 2 of 5",
    "Standard 2 of 5",
    "Aztec Code(2D)",
    "GridMatrix(2D)",
    "\xE6\xB1\x89\xE4\xBF\xA1\xE7\xA0\x81(2D)",  // Han Xin, by its Chinese name
};

inline bool isDrawableBarcodeKind(std::string_view kind) {
    for (std::string_view name : barcodeKindNames)
        if (name == kind) return true;
    return false;
}

}  // namespace mk
