#include "render/barcode_adapter.h"

// zint.h of 2.11 is self-contained; newer headers pull in a zintconfig.h that
// not every distribution ships, and nothing here needs the version macros.
#include <zint.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdio>
#include <memory>

#include "model/append_format.h"
#include "portable/bounded_cache.h"
#include "portable/utf_convert.h"
#include "render/barcode_kinds.h"
#include "render/data_mnemonics.h"
#include "render/draw_budget.h"
#include "render/ean_upc.h"

namespace mk {
namespace {

// The shortest bars, in modules, an EAN or UPC symbol with an add-on is drawn
// with: zint 2.11 draws shorter ones beyond its own picture (up to 3.4
// modules, depending on the scale).
constexpr float kLowestAddOnModules = 4.0f;

// zint's input modes and the result that separates warnings from errors.
constexpr int kUnicodeMode = UNICODE_MODE;
constexpr int kGs1ParensMode = GS1_MODE | GS1PARENS_MODE;
constexpr int kFirstError = ZINT_ERROR;

// ECIs of Han Xin and Grid Matrix.
constexpr int kEciUtf8 = 26;
constexpr int kEciGb18030 = 32;
constexpr int kEciGb2312 = 29;

// Resolution assumed when the caller gives none, in dots per millimetre (300 dpi).
constexpr float kDefaultDpmm = 11.81f;

// The largest raster either zint or this adapter builds. A label file can ask
// for any module width, bar height or Code 39 ratio; without a bound a 2-D
// symbol at a few hundred dots per module needs gigabytes. 32 Mpixel is more
// than the widest thermal media (8.5 in, 5100 dots at 600 dpi) can show.
constexpr double kMaxRasterPixels = 32.0 * 1024 * 1024;

// What a symbol costs is counted in its modules (zint's encoding, QR Code's
// mask choice above all, takes about 0.3 us a module), plus its data bytes
// (zint's parsing, up to about 1 us a byte, which is all a refused symbol
// costs) and the pixels of both rasters, at a rate that weighs each like a
// module.
constexpr int64_t kCostPerDataByte = 4;
constexpr int64_t kPixelsPerCost = kPixelsPerDrawCost;

// Aztec Code holds at most 3 832 digits, its densest input at a byte each;
// zint's Aztec encoder takes time that grows faster than the data (20 ms for
// 8 KiB of CJK text) before it finds out that longer data does not fit.
constexpr size_t kMaxAztecDataBytes = 3832;

size_t maxDataBytes(int sym) { return sym == symbology::Aztec ? kMaxAztecDataBytes : kMaxSymbolDataBytes; }

bool isMatrixSymbology(int sym) {
    return sym == symbology::QrCode || sym == symbology::DataMatrix || sym == symbology::Aztec ||
           sym == symbology::HanXin;
}

struct SymbolDeleter {
    void operator()(zint_symbol* symbol) const { ZBarcode_Delete(symbol); }
};
using SymbolPtr = std::unique_ptr<zint_symbol, SymbolDeleter>;

// The length of the valid UTF-8 sequence of a printable character at the
// start of text, or 0: control characters (C0, DEL and C1, which terminals
// act on) and bytes that are not UTF-8 text get escaped.
size_t printableSequence(std::string_view text) {
    const platform::Utf8Sequence sequence = platform::firstUtf8Sequence(text);
    const char32_t c = sequence.codePoint;
    return sequence.wellFormed && ((c >= 0x20 && c < 0x7F) || c >= 0xA0) ? sequence.length : 0;
}

// The most bytes of the kind and the data a report line shows: a file can
// hold megabytes of data, and a line per symbol of that size would flood
// whatever collects the host's output.
constexpr size_t kReportedTextBytes = 256;

// Text for a report line: as it is up to its first zero byte, except that a
// backslash, a double quote, control characters (DEL too) and bytes that are
// not UTF-8 are written as C escapes (\n, \", \x1b), so the line stays one
// line, its quotes stay where they are, and it shows no terminal anything to
// act on; the result is in double quotes. Only the first kReportedTextBytes
// are shown: a longer text is followed by "..." and its whole length in
// bytes, outside the quotes.
std::string quotedForLine(std::string_view whole) {
    const std::string_view text = whole.substr(0, whole.find('\0'));
    const size_t shown = std::min(text.size(), kReportedTextBytes);
    std::string out = "\"";
    out.reserve(shown + 32);
    size_t used = 0;
    while (used < shown) {
        const std::string_view rest = text.substr(used);
        if (const size_t length = printableSequence(rest);
            length > 0 && rest.front() != '\\' && rest.front() != '"') {
            out.append(rest.substr(0, length));
            used += length;
            continue;
        }
        switch (rest.front()) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: appendFormat(out, "\\x%02x", static_cast<unsigned char>(rest.front()));
        }
        ++used;
    }
    out += '"';
    if (used < text.size()) appendFormat(out, "...(%zu bytes)", whole.size());
    return out;
}

// zint's own message (at most 100 bytes), escaped as the data is but not quoted.
std::string escapedMessage(const char* message) {
    const std::string quoted = quotedForLine(message);
    return quoted.substr(1, quoted.size() - 2);
}

// zint's errors and warnings are collected one line each, so that a symbol
// taken from the cache reports them again.
void reportError(std::string& report, const BarcodeRequest& request, const std::string& working, int sym, int code,
                 const char* message) {
    appendFormat(report, "[generateBarcode] zint ERROR kind=%s data=%s sym=%d err=%d: %s\n",
                 quotedForLine(request.kind).c_str(), quotedForLine(working).c_str(), sym, code,
                 escapedMessage(message).c_str());
}

void reportWarning(std::string& report, const BarcodeRequest& request, int sym, int code, const char* message) {
    appendFormat(report, "[generateBarcode] zint WARNING kind=%s data=%s sym=%d warn=%d: %s\n",
                 quotedForLine(request.kind).c_str(), quotedForLine(request.data).c_str(), sym, code,
                 escapedMessage(message).c_str());
}

void setSymbolOptions(zint_symbol& symbol, int sym, const BarcodeRequest& request, uint32_t subsetA) {
    const bool gs1Kind = isGs1KindName(request.kind);
    switch (sym) {
        case symbology::QrCode:
            symbol.option_1 = request.errorCorrection;
            symbol.option_2 = request.version;
            if (gs1Kind) symbol.input_mode = kGs1ParensMode;
            break;
        case symbology::HanXin:
        case symbology::GridMatrix:
            symbol.input_mode = kUnicodeMode;
            // A nonzero choice selects the Chinese code page each symbology has.
            symbol.eci = request.eciChoice == 0 ? kEciUtf8 : (sym == symbology::HanXin ? kEciGb18030 : kEciGb2312);
            symbol.option_1 = request.errorCorrection;
            symbol.option_2 = request.version;
            break;
        case symbology::Standard2of5:
            symbol.option_2 = request.checkFlag ? 1 : 0;
            break;
        case symbology::Pdf417:
            symbol.option_1 = request.errorCorrection;
            if (request.pdf417Columns > 0 || request.pdf417Rows > 0) {
                symbol.option_2 = request.pdf417Columns;
                symbol.option_3 = request.pdf417Rows;
            }
            break;
        case symbology::DataMatrix:
            symbol.option_1 = request.errorCorrection;
            if (gs1Kind) symbol.input_mode = kGs1ParensMode;
            break;
        case symbology::Aztec:
            symbol.option_1 = request.errorCorrection;
            break;
        default:
            // zint 2.11 ignores this for Code 128 subset B, so subset A encodes like B there.
            symbol.option_2 = static_cast<int>(subsetA);
            break;
    }
}

// The resolution in dots per millimetre, the module width m in dots and the
// whole number of pixels c per module that zint draws before scaling to m.
struct SymbolScale {
    float dpmm;
    float m;
    float c;  // kept as a float: an absurd width must reach zint's range check, not overflow an int
};

SymbolScale symbolScaleFor(const BarcodeRequest& request) {
    SymbolScale scale;
    scale.dpmm = request.dpi < 1 ? kDefaultDpmm : static_cast<float>(request.dpi) / 25.4f;
    scale.m = request.moduleWidth > 0.5f ? request.moduleWidth : 1.0f;
    scale.c = std::ceil(scale.m);
    return scale;
}

void configureSymbol(zint_symbol& symbol, int sym, int zintSymbology, const BarcodeRequest& request,
                     uint32_t subsetA, const SymbolScale& scale, float heightModules) {
    symbol.symbology = zintSymbology;
    symbol.input_mode = kUnicodeMode;
    symbol.output_options = 0;
    symbol.scale = scale.c * 0.5f;
    symbol.height = heightModules;
    symbol.whitespace_width = 0;
    symbol.whitespace_height = 0;
    symbol.border_width = 0;
    symbol.show_hrt = request.showText ? 1 : 0;
    setSymbolOptions(symbol, sym, request, subsetA);
    if (request.showText && !request.text.empty()) {
        const size_t n = std::min(request.text.size(), sizeof(symbol.text) - 1);
        std::copy_n(request.text.data(), n, symbol.text);
        symbol.text[n] = '\0';
    }
}

// Encodes, reporting zint's warning or error; the raster is drawn apart
// (SymbolRaster). False when there is nothing to draw.
bool encodeSymbol(std::string& report, zint_symbol& symbol, int sym, const BarcodeRequest& request,
                  const std::string& working, const SymbolScale& scale) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(working.data());
    const int r = ZBarcode_Encode(&symbol, bytes, static_cast<int>(working.size()));
    if (r >= kFirstError) {
        reportError(report, request, working, sym, r, symbol.errtxt);
        return false;
    }
    const double modulesWide = std::max(symbol.width, 1);
    const double modulesTall = std::max({static_cast<double>(symbol.height), double(symbol.rows), 1.0});
    if (modulesWide * scale.c * modulesTall * scale.c > kMaxRasterPixels) {
        reportError(report, request, working, sym, ZINT_ERROR_INVALID_OPTION, "Symbol too large to render");
        return false;
    }
    if (r > 0) reportWarning(report, request, sym, r, symbol.errtxt);
    return true;
}

using Bytes = std::vector<unsigned char, platform::MappedAllocator<unsigned char>>;
using RowNumbers = std::vector<int, platform::MappedAllocator<int>>;

// zint's EAN/UPC symbologies (EAN-13 and EAN-8 by the numbers of later
// zint too), which it draws with guard bars and room for add-ons.
bool isEanUpcSymbology(int zintSymbology) {
    switch (zintSymbology) {
        case BARCODE_EANX:
        case BARCODE_EANX_CHK:
        case symbology::Ean8:
        case symbology::Ean13:
        case BARCODE_UPCA:
        case BARCODE_UPCA_CHK:
        case BARCODE_UPCE:
        case BARCODE_UPCE_CHK:
        case BARCODE_ISBNX: return true;
        default: return false;
    }
}

bool moduleIsSet(const zint_symbol& symbol, int row, int column) {
    return ((symbol.encoded_data[row][column >> 3] >> (column & 7)) & 1) != 0;
}

// A symbol zint draws only to show how tall its rows come out: as many rows
// and of the same heights as symbol, each column one bit of the row's number
// plus one (0 where no row shows). Null when zint draws none.
SymbolPtr drawRowNumbers(const zint_symbol& symbol, int symbology, int columns) {
    SymbolPtr probe(ZBarcode_Create());
    if (!probe) return nullptr;
    probe->symbology = symbology;
    probe->output_options = 0;
    probe->scale = symbol.scale;
    probe->height = symbol.height;
    probe->whitespace_width = 0;
    probe->whitespace_height = 0;
    probe->border_width = 0;
    probe->show_hrt = 0;
    probe->rows = symbol.rows;
    probe->width = columns;
    for (int row = 0; row < symbol.rows; ++row) {
        probe->row_height[row] = symbol.row_height[row];
        for (int column = 0; column < columns; ++column)
            if (((row + 1) >> column) & 1) probe->encoded_data[row][column >> 3] |= uint8_t(1u << (column & 7));
    }
    if (ZBarcode_Buffer(probe.get(), 0) >= kFirstError || probe->bitmap == nullptr) return nullptr;
    return probe;
}

// zint's raster of an encoded symbol, handed out a row at a time. zint's own
// raster of a large symbol is megabytes from the C runtime's heap, which,
// freed, raise the runtime's threshold for mapping blocks for the whole
// host; so zint draws only small pictures that tell how its rows come out,
// and the rows are made from the symbol's modules (or, for the EAN/UPC
// family, whose guard bars and add-on zint draws its own way, from the symbol
// drawn a few modules tall and stretched), pixel for pixel what zint draws.
class SymbolRaster {
public:
    // zint's result: from kFirstError on, its error (in symbol.errtxt).
    // Also below it the raster may be empty.
    // addOn: an EAN/UPC symbol's data has an add-on.
    int draw(zint_symbol& symbol, bool eanUpc, bool addOn, int c) {
        symbol_ = &symbol;
        if (symbol.show_hrt == 0 && symbol.rows >= 1 &&
            (eanUpc ? stretchedFromShort(symbol, addOn, c) : fromModules(symbol, c)))
            return 0;
        mode_ = Mode::Zint;
        const int drawn = ZBarcode_Buffer(&symbol, 0);
        if (drawn < kFirstError && symbol.bitmap != nullptr) {
            width_ = symbol.bitmap_width;
            height_ = symbol.bitmap_height;
        }
        return drawn;
    }
    int width() const { return width_; }
    int height() const { return height_; }

    // Row y, width() RGB pixels.
    const unsigned char* row(int y) {
        const size_t rowBytes = static_cast<size_t>(width_) * 3;
        switch (mode_) {
            case Mode::Zint: return symbol_->bitmap + static_cast<size_t>(y) * rowBytes;
            case Mode::Stretched: return stretchedRow(sourceRow_[y]);
            case Mode::Modules: break;
        }
        const int moduleRow = sourceRow_[y];
        if (line_.empty() || moduleRow != lineRow_) {
            line_.resize(rowBytes);
            std::fill_n(line_.data(), rowBytes, 255);
            if (moduleRow >= 0) {
                for (int x = 0; x < width_; ++x)
                    if (moduleIsSet(*symbol_, moduleRow, x / c_)) std::fill_n(&line_[static_cast<size_t>(x) * 3], 3, 0);
            }
            lineRow_ = moduleRow;
        }
        return line_.data();
    }

private:
    enum class Mode { Zint, Modules, Stretched };

    // Row sourceRow of zint's short raster, each pixel c_ times.
    const unsigned char* stretchedRow(int sourceRow) {
        const int sourceWidth = symbol_->bitmap_width;
        const unsigned char* source = symbol_->bitmap + static_cast<size_t>(sourceRow) * sourceWidth * 3;
        if (c_ == 1) return source;
        if (line_.empty() || sourceRow != lineRow_) {
            line_.resize(static_cast<size_t>(width_) * 3);
            for (int x = 0; x < width_; ++x)
                std::copy_n(source + static_cast<size_t>(x / c_) * 3, 3, &line_[static_cast<size_t>(x) * 3]);
            lineRow_ = sourceRow;
        }
        return line_.data();
    }

    // The pixel rows zint's raster shows of the bars of a one-row symbol of
    // this height; -1 when zint draws none.
    static int barRows(const zint_symbol& symbol, float height, float rowHeight) {
        zint_symbol one = {};
        one.scale = symbol.scale;
        one.height = height;
        one.rows = 1;
        one.row_height[0] = rowHeight;
        const SymbolPtr probe = drawRowNumbers(one, BARCODE_CODE128, 1);
        return probe ? probe->bitmap_height : -1;
    }

    bool fromModules(const zint_symbol& symbol, int c) {
        const int columns = std::bit_width(static_cast<unsigned>(symbol.rows));
        const SymbolPtr probe = drawRowNumbers(symbol, symbol.symbology, columns);
        if (!probe || probe->bitmap_width != columns * c) return false;
        const int rowPixels = probe->bitmap_width;
        sourceRow_.resize(static_cast<size_t>(probe->bitmap_height));
        for (int y = 0; y < probe->bitmap_height; ++y) {
            int number = 0;
            for (int bit = 0; bit < columns; ++bit)
                if (probe->bitmap[(static_cast<size_t>(y) * rowPixels + static_cast<size_t>(bit) * c) * 3] == 0)
                    number |= 1 << bit;
            if (number > symbol.rows) return false;
            sourceRow_[static_cast<size_t>(y)] = number - 1;
        }
        mode_ = Mode::Modules;
        c_ = c;
        width_ = symbol.width * c;
        height_ = probe->bitmap_height;
        return width_ > 0 && height_ > 0;
    }

    // zint draws the bars of a one-row symbol the same in every pixel row but
    // the top eight modules, where an add-on leaves room for its digits; below
    // the bars hang the guard bars, c pixel rows a module. So the symbol drawn
    // a module tall at a pixel a module, its columns and guard rows repeated c
    // times and its bar row up to the bars' height, is the symbol as zint
    // draws it; with an add-on, it is drawn ten modules tall at c pixels a module.
    bool stretchedFromShort(zint_symbol& symbol, bool addOn, int c) {
        if (symbol.rows != 1) return false;
        const float height = symbol.height;
        const float rowHeight = symbol.row_height[0];
        const float scale = symbol.scale;
        const float shortHeight = std::min(height, addOn ? 10.0f : 1.0f);
        const int repeat = addOn ? 1 : c;
        const int tallBars = barRows(symbol, height, rowHeight);
        symbol.height = shortHeight;
        symbol.row_height[0] = rowHeight > 0.0f ? shortHeight : 0.0f;
        symbol.scale = scale / static_cast<float>(repeat);
        const int shortBars = barRows(symbol, shortHeight, symbol.row_height[0]);
        const int drawn = tallBars < 1 || shortBars < 1 ? kFirstError : ZBarcode_Buffer(&symbol, 0);
        symbol.height = height;
        symbol.row_height[0] = rowHeight;
        symbol.scale = scale;
        if (drawn >= kFirstError || symbol.bitmap == nullptr || symbol.bitmap_height < shortBars) return false;
        const size_t rows = static_cast<size_t>(tallBars) + static_cast<size_t>(symbol.bitmap_height - shortBars) * repeat;
        sourceRow_.resize(rows);
        for (size_t y = 0; y < rows; ++y) {
            const int row = static_cast<int>(y);
            sourceRow_[y] = row < tallBars ? std::min(row, shortBars - 1) : shortBars + (row - tallBars) / repeat;
        }
        mode_ = Mode::Stretched;
        c_ = repeat;
        width_ = symbol.bitmap_width * repeat;
        height_ = static_cast<int>(rows);
        return width_ > 0;
    }

    zint_symbol* symbol_ = nullptr;
    Mode mode_ = Mode::Zint;
    int width_ = 0;
    int height_ = 0;
    int c_ = 1;
    RowNumbers sourceRow_;  // the raster row (Stretched) or module row (Modules, -1: none) of each row
    Bytes line_;
    int lineRow_ = -1;
};

// Nearest-neighbour resampling of zint's RGB raster (bw of its pixels a row,
// from column dropped on) into the result's BGRA pixels; a factor of 1 copies
// pixel for pixel.
void convertPixels(BarcodeBitmap& result, SymbolRaster& raster, int dropped, int bw, int bh, float fx, float fy) {
    const int W = result.width;
    const int H = result.height;
    const auto toBgra = [&](const unsigned char* sourceRow, int x, int y, int sx) {
        const unsigned char* src = sourceRow + static_cast<size_t>(sx + dropped) * 3;
        uint8_t* dst = result.pixels.data() + static_cast<size_t>(y) * result.stride + static_cast<size_t>(x) * 4;
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
        dst[3] = 255;
    };
    const auto nearOne = [](float f) { return f > 0.999f && f < 1.001f; };
    if (nearOne(fx) && nearOne(fy)) {
        for (int y = 0; y < std::min(bh, H); ++y) {
            const unsigned char* sourceRow = raster.row(y);
            for (int x = 0; x < std::min(bw, W); ++x) toBgra(sourceRow, x, y, x);
        }
        return;
    }
    std::vector<int, platform::MappedAllocator<int>> sourceColumn(static_cast<size_t>(W));
    for (int x = 0; x < W; ++x) sourceColumn[x] = std::min(static_cast<int>(x / fx + 0.5f), bw - 1);
    for (int y = 0; y < H; ++y) {
        const unsigned char* sourceRow = raster.row(std::min(static_cast<int>(y / fy + 0.5f), bh - 1));
        for (int x = 0; x < W; ++x) toBgra(sourceRow, x, y, sourceColumn[x]);
    }
}

}  // namespace

int barcodeKindToSymbology(std::string_view kind, uint32_t& subsetA) {
    const BarcodeKind& found = barcodeKindFor(kind);
    subsetA = found.subsetA;
    return found.symbology;
}

namespace {

// Encodes and rasterises one symbol into result, adding zint's warning or
// error lines to report.
void makeSymbol(BarcodeBitmap& result, std::string& report, const BarcodeRequest& request) {
    if (request.data.empty()) return;

    const BarcodeKind& kind = barcodeKindFor(request.kind);
    const int sym = kind.symbology;
    const uint32_t subsetA = kind.subsetA;
    const std::string working =
        prepareBarcodeData(kind, substituteMnemonics(request.data, MnemonicVariant::General));
    result.cost = static_cast<int64_t>(working.size()) * kCostPerDataByte;
    if (working.size() > maxDataBytes(sym)) {
        reportError(report, request, working, sym, ZINT_ERROR_TOO_LONG, "Input too long");
        return;
    }
    if (const char* fault = kind.zintFault != nullptr ? kind.zintFault(working) : nullptr) {
        reportError(report, request, working, sym, ZINT_ERROR_INVALID_DATA, fault);
        return;
    }
    const ZintTarget target = zintTargetFor(kind.eanUpc, sym, working);
    if (target.refusal != nullptr) {
        reportError(report, request, working, sym, ZINT_ERROR_TOO_LONG, target.refusal);
        return;
    }

    const SymbolPtr symbol(ZBarcode_Create());
    if (!symbol) return;
    const SymbolScale scale = symbolScaleFor(request);
    const float heightModules = isMatrixSymbology(sym) ? 0.0f : scale.dpmm * request.barHeightMm / scale.m;
    if (std::isnan(heightModules)) {
        // zint 2.11 range-checks the height with comparisons a NaN passes, then aborts on an assertion.
        reportError(report, request, working, sym, ZINT_ERROR_INVALID_OPTION, "Height out of range");
        return;
    }
    const bool eanUpc = kind.eanUpc != nullptr || isEanUpcSymbology(target.symbology);
    const bool addOn = working.find('+') != std::string::npos;
    if (eanUpc && addOn && heightModules > 0.0f && heightModules < kLowestAddOnModules) {
        // zint 2.11 places an add-on's bars from the top of the symbol down
        // and, for bars this short, writes above its picture: an assertion
        // stops the process, or the heap is overwritten.
        reportError(report, request, working, sym, ZINT_ERROR_INVALID_OPTION, "Height too small for an add-on");
        return;
    }
    configureSymbol(*symbol, sym, target.symbology, request, subsetA, scale, heightModules);
    const bool encoded = encodeSymbol(report, *symbol, sym, request, working, scale);
    result.cost += int64_t{std::max(symbol->width, 0)} * std::max(symbol->rows, 1);
    if (!encoded) return;
    SymbolRaster raster;
    if (const int drawn = raster.draw(*symbol, eanUpc, addOn, static_cast<int>(scale.c)); drawn >= kFirstError) {
        reportError(report, request, working, sym, drawn, symbol->errtxt);
        return;
    }
    const int rowPixels = raster.width();
    const int bh = raster.height();
    if (rowPixels < 1 || bh < 1) return;
    result.cost += int64_t{rowPixels} * bh / kPixelsPerCost;
    const int dropped = leadingColumnsToDrop(kind.eanUpc, raster.row(0), rowPixels);
    const int bw = rowPixels - dropped;

    // zint draws c pixels per module; the label wants m dots.
    const float f = scale.m / scale.c;
    float fx = f;
    if ((sym == symbology::Code39 || sym == symbology::Code39Extended) && request.code39Ratio >= 3)
        fx = f * (3.0f * static_cast<float>(request.code39Ratio) + 7.0f) / 13.0f;
    float fy = f;
    if (sym == symbology::Pdf417 && request.barHeightMm > 0.0f) fy = scale.dpmm * request.barHeightMm / bh;

    const float widthF = static_cast<float>(bw) * fx + 0.5f;
    const float heightF = static_cast<float>(bh) * fy + 0.5f;
    // Written so that a NaN factor is refused too; within the bound both sides fit an int.
    const double pixels = std::max(static_cast<double>(widthF), 1.0) * std::max(static_cast<double>(heightF), 1.0);
    if (!(pixels <= kMaxRasterPixels)) {
        reportError(report, request, working, sym, ZINT_ERROR_INVALID_OPTION, "Symbol too large to render");
        return;
    }
    result.width = std::max(static_cast<int>(widthF), 1);
    result.height = std::max(static_cast<int>(heightF), 1);
    result.cost += int64_t{result.width} * result.height / kPixelsPerCost;
    result.stride = 4 * result.width;
    // Filled through the pointer: a vector with its own allocator fills one
    // element at a time.
    const size_t bytes = static_cast<size_t>(result.stride) * static_cast<size_t>(result.height);
    result.pixels.resize(bytes);
    std::fill_n(result.pixels.data(), bytes, 255);
    convertPixels(result, raster, dropped, bw, bh, fx, fy);
}

// A symbol and the lines its making reported.
struct MadeSymbol {
    BarcodeBitmap bitmap;
    std::string report;
};

// Everything a symbol depends on, as one string.
std::string symbolKey(const BarcodeRequest& request) {
    std::string key;
    const auto text = [&key](const std::string& value) {
        const size_t size = value.size();
        key.append(reinterpret_cast<const char*>(&size), sizeof size);
        key += value;
    };
    const auto number = [&key](auto value) { key.append(reinterpret_cast<const char*>(&value), sizeof value); };
    text(request.kind);
    text(request.data);
    text(request.text);
    number(request.dpi);
    number(request.showText);
    number(request.moduleWidth);
    number(request.barHeightMm);
    number(request.version);
    number(request.errorCorrection);
    number(request.code39Ratio);
    number(request.checkFlag);
    number(request.eciChoice);
    number(request.pdf417Rows);
    number(request.pdf417Columns);
    return key;
}

// Data before mnemonics ("<CR>" is four bytes for one) that may still make a
// symbol; longer requests are not cached.
constexpr size_t kMaxCachedDataBytes = 4 * kMaxSymbolDataBytes;

// The symbols of the latest requests: a label printed again and again asks
// for the same ones each time.
platform::BoundedCache<std::string, MadeSymbol> madeSymbols(size_t{8} << 20, 512);

platform::BoundedCache<std::string, MadeSymbol>& symbolCache() { return madeSymbols; }

}  // namespace

std::shared_ptr<const BarcodeBitmap> barcodeSymbol(const BarcodeRequest& request) {
    if (request.data.size() + request.kind.size() + request.text.size() > kMaxCachedDataBytes) {
        // No symbol holds data this long: refused at once, and kept out of
        // the cache so that no key holds megabytes.
        auto refused = std::make_shared<MadeSymbol>();
        makeSymbol(refused->bitmap, refused->report, request);
        std::fwrite(refused->report.data(), 1, refused->report.size(), stdout);
        return std::shared_ptr<const BarcodeBitmap>(refused, &refused->bitmap);
    }
    std::string key = symbolKey(request);
    std::shared_ptr<const MadeSymbol> made = symbolCache().find(key);
    if (made == nullptr) {
        auto fresh = std::make_shared<MadeSymbol>();
        makeSymbol(fresh->bitmap, fresh->report, request);
        const size_t bytes = fresh->bitmap.pixels.size() + fresh->report.size() + key.size() + sizeof(MadeSymbol) + 64;
        made = std::move(fresh);
        symbolCache().store(std::move(key), made, bytes);
    }
    // Every request reports as if its symbol were made anew.
    std::fwrite(made->report.data(), 1, made->report.size(), stdout);
    return std::shared_ptr<const BarcodeBitmap>(made, &made->bitmap);
}

void generateBarcode(BarcodeBitmap& result, const BarcodeRequest& request) { result = *barcodeSymbol(request); }

}  // namespace mk
