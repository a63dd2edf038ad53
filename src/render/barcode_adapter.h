#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mapped_memory.h"
#include "render/barcode_kinds.h"

namespace mk {

// The symbology numbers the kind mapping produces: zint's numbering, written
// out here so that callers need not include zint and so that 15 (EAN-13) and
// 10 (EAN-8), which older zint headers lack, read as what they are.
namespace symbology {
inline constexpr int Code11 = 1;
inline constexpr int Standard2of5 = 2;
inline constexpr int Interleaved2of5 = 3;
inline constexpr int Industrial2of5 = 7;
inline constexpr int Code39 = 8;
inline constexpr int Code39Extended = 9;
inline constexpr int Ean8 = 10;
inline constexpr int Ean13 = 15;
inline constexpr int Gs1_128 = 16;
inline constexpr int Codabar = 18;
inline constexpr int Code128 = 20;
inline constexpr int Code93 = 25;
inline constexpr int UpcA = 34;
inline constexpr int UpcE = 37;
inline constexpr int PostNet = 40;
inline constexpr int MsiPlessey = 47;
inline constexpr int Logmars = 50;
inline constexpr int Pdf417 = 55;
inline constexpr int QrCode = 58;
inline constexpr int Code128AB = 60;
inline constexpr int Isbn = 69;
inline constexpr int DataMatrix = 71;
inline constexpr int Gs1DataBarExpandedStacked = 81;
inline constexpr int Aztec = 92;
inline constexpr int HanXin = 116;
inline constexpr int GridMatrix = 142;
}  // namespace symbology

// A rendered symbol: black bars on white, 32 bits per pixel (blue, green,
// red, 255), rows top-down, already scaled to the requested module width.
// All zero and empty when no symbol was made.
struct BarcodeBitmap {
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;  // always 4 * width
    // Kept in the cache and up to megabytes: mapped, so that it goes back to
    // the system when evicted instead of staying in a thread's heap.
    std::vector<uint8_t, platform::MappedAllocator<uint8_t>> pixels;
    // What making the symbol takes, in the units of kDrawCostPerCall
    // (render/draw_budget.h); also set when no symbol was made.
    int64_t cost = 0;
};

// The most data bytes (after mnemonics and fix-ups) a symbol is made from.
// The largest symbol zint makes holds 7 827 digits (Han Xin); longer data is
// refused as too long before zint parses it.
inline constexpr size_t kMaxSymbolDataBytes = 8192;

// What generateBarcode encodes and how large.
struct BarcodeRequest {
    std::string kind;  // barcode kind name, as stored (untrimmed)
    std::string data;  // UTF-8, may hold mnemonics such as "<CR>"
    int dpi = 203;
    bool showText = false;     // zint's own human-readable text; drawing never asks for it
    std::string text;          // zint's text field, used only with showText
    float moduleWidth = 1.0f;  // dots per module
    float barHeightMm = 10.0f;
    int version = 0;
    int errorCorrection = 0;
    int code39Ratio = 3;     // wide-to-narrow ratio
    bool checkFlag = false;  // Standard 2 of 5 check digit
    int eciChoice = 0;       // Han Xin and Grid Matrix: 0 UTF-8, else the Chinese code page
    int pdf417Rows = 0;
    int pdf417Columns = 0;
};

// The zint symbology of a kind name. subsetA is set to 1 only for the names of
// Code 128 subset A, else 0. Unknown names give Code 128.
int barcodeKindToSymbology(std::string_view kind, uint32_t& subsetA);

// Encodes and rasterises one symbol. Failures give the empty bitmap; zint's
// warnings and errors are reported as one line each on standard output.
void generateBarcode(BarcodeBitmap& result, const BarcodeRequest& request);

// The symbol generateBarcode makes, shared rather than copied. The same
// request gives the same symbol, made once while it stays in a bounded cache;
// its warning and error lines are reported on every call all the same.
std::shared_ptr<const BarcodeBitmap> barcodeSymbol(const BarcodeRequest& request);

}  // namespace mk
