#include "render/barcode_object.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/font.h"
#include "portable/utf_convert.h"
#include "render/barcode_adapter.h"
#include "render/barcode_kinds.h"
#include "portable/int_convert.h"
#include "render/object_font.h"
#include "render/units.h"

namespace mk {

namespace {

// Human-readable text longer than this is shown without Code 39's stars.
constexpr size_t kCode39StarredTextLimit = 126;
// The bearer box pen is this many modules wide.
constexpr float kBearerModules = 5.0f;

// Where the text goes relative to the symbol.
constexpr int kTextBelow = 0;
constexpr int kTextNone = 2;

enum TextAlign { kAlignLeft = 0, kAlignRight = 1, kAlignCentre = 2, kAlignSpread = 3 };

// What the digit groups of one text share.
struct DigitContext {
    platform::DeviceContext& dc;
    const std::string& text;
    float moduleWidth;
    float charGap;
    int barX;
    int symbolWidth;
    float digitY;
};

// The text cut into code points: a surrogate pair is measured and drawn as
// one character, never as two halves.
std::vector<std::u16string_view> characters(std::u16string_view text) {
    std::vector<std::u16string_view> out;
    for (size_t i = 0; i < text.size();) {
        const size_t start = i;
        platform::nextCodePoint(text, i);
        out.push_back(text.substr(start, i - start));
    }
    return out;
}

int width(const platform::DeviceContext& dc, std::u16string_view text) { return dc.textExtent(text).cx; }

void drawDigitGroup(const DigitContext& ctx, int first, int count, float fromModule, float toModule) {
    if (static_cast<size_t>(first) + static_cast<size_t>(count) > ctx.text.size()) return;
    const std::u16string part = platform::utf8ToUtf16(std::string_view(ctx.text).substr(first, count));
    if (part.empty()) return;
    const std::vector<std::u16string_view> chars = characters(part);
    const float n = static_cast<float>(chars.size());
    const float w = static_cast<float>(width(ctx.dc, part));
    const float span = (toModule - fromModule) * ctx.moduleWidth;
    // A group narrower than its modules is spread so that it ends at toModule.
    const float spacing = n > 1 && span > w ? (span - w) / (n - 1) : ctx.charGap;
    float x = static_cast<float>(ctx.barX) + ctx.moduleWidth * fromModule;
    const int y = platform::roundToInt(ctx.digitY);
    for (std::u16string_view c : chars) {
        ctx.dc.textOut(platform::roundToInt(x), y, c);
        x += static_cast<float>(width(ctx.dc, c)) + spacing;
    }
}

// The character that stands right of the bars, ending at the symbol's edge.
void drawTrailingDigit(const DigitContext& ctx, int index) {
    if (static_cast<size_t>(index) >= ctx.text.size()) return;
    const std::u16string c = platform::utf8ToUtf16(std::string_view(ctx.text).substr(index, 1));
    if (c.empty()) return;
    const int cx = width(ctx.dc, c);
    ctx.dc.textOut(platform::truncToInt(static_cast<double>(ctx.barX) + ctx.symbolWidth - cx + 0.5), platform::roundToInt(ctx.digitY), c);
}

std::string humanReadableText(const LabelObject& object, const KindTextRules& rules) {
    std::string text = object.objectdata;
    if (!rules.code39) return text;
    if (rules.upperCase)
        std::transform(text.begin(), text.end(), text.begin(),
                       [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    if (object.code39StartStop && text.size() < kCode39StarredTextLimit) text = "*" + text + "*";
    return text;
}

// Text laid out by textalign, one character at a time from its start x.
void drawAlignedText(platform::DeviceContext& dc, const std::u16string& text, int barX, int symbolWidth, int textAlign,
                     float charGap, float y) {
    const std::vector<std::u16string_view> chars = characters(text);
    const int64_t n = static_cast<int64_t>(chars.size());
    const int64_t textW = width(dc, text);
    int64_t startX = barX;
    if (textAlign == kAlignRight) startX = barX + symbolWidth - textW;
    if (textAlign == kAlignCentre) startX = barX + (symbolWidth - textW) / 2;
    float spacing = charGap;
    if (textAlign == kAlignSpread && n >= 2) {
        const int64_t s = (symbolWidth - textW) / (n - 1);
        if (s >= 1) spacing = static_cast<float>(s);
    }
    float x = static_cast<float>(startX);
    const int drawY = platform::roundToInt(y);
    for (std::u16string_view c : chars) {
        dc.textOut(platform::roundToInt(x), drawY, c);
        x += static_cast<float>(width(dc, c)) + spacing;
    }
}

void drawBearerBox(platform::DeviceContext& dc, const LabelObject& object, int x, int y, int width, int height) {
    const int p = platform::roundToInt(object.barcodescale * kBearerModules);
    if (p <= 0) return;
    // The outline runs half a pen outside the symbol's edges, so the bars lie inside the box.
    const int64_t h1 = p / 2;
    const int64_t h2 = p - h1;
    const platform::Pen previousPen = dc.selectPen(platform::Pen::solid(p, rgbToColorref(object.barcodeColor)));
    const platform::Brush previousBrush = dc.selectBrush(platform::Brush::hollowBrush());
    dc.rectangle(platform::saturateToInt(x - h1), platform::saturateToInt(y - h1), platform::saturateToInt(int64_t{x} + width + h2),
                 platform::saturateToInt(int64_t{y} + height + h2));
    dc.selectBrush(previousBrush);
    dc.selectPen(previousPen);
}

// Places the text: on the digit line in the groups of EAN and UPC kinds, else aligned by textalign.
void drawTextLines(platform::DeviceContext& dc, const LabelObject& object, const KindTextRules& rules, int dpi,
                   const std::string& text, int barX, int barY, int symbolWidth, int symbolHeight) {
    const float gap = static_cast<float>(mmToDots(object.textGap, dpi));
    const float charGap = static_cast<float>(mmToDots(object.chargap, dpi));
    const std::u16string wide = platform::utf8ToUtf16(text);
    const int textHeight = dc.textExtent(wide).cy;
    const bool below = object.textposition == kTextBelow;

    const bool digitMode = rules.digitLine;
    // The digit line follows the bar height the object asks for, not the symbol's.
    const float digitY = below
                             ? static_cast<float>(barY) + static_cast<float>(mmToDots(object.barcodeheight, dpi)) + gap
                             : static_cast<float>(barY) - static_cast<float>(textHeight) - gap;
    if (digitMode) {
        if (const EanUpcKind* layout = rules.digits) {
            const DigitContext ctx{dc, text, object.barcodescale, charGap, barX, symbolWidth, digitY};
            for (int g = 0; g < layout->groupCount; ++g) {
                const DigitGroup& group = layout->groups[g];
                drawDigitGroup(ctx, group.first, group.count, group.fromModule, group.toModule);
            }
            if (layout->trailing >= 0) drawTrailingDigit(ctx, layout->trailing);
            return;
        }
    }

    if (wide.empty()) return;
    float y = digitY;
    if (!digitMode)
        y = below ? static_cast<float>(barY) + static_cast<float>(symbolHeight) + gap
                  : static_cast<float>(barY) - static_cast<float>(textHeight) - gap;
    drawAlignedText(dc, wide, barX, symbolWidth, object.textalign, charGap, y);
}

}  // namespace

void drawBarcodeText(platform::DeviceContext& dc, const LabelObject& object, int dpi, int barX, int barY,
                     int symbolWidth, int symbolHeight) {
    const KindTextRules rules = kindTextRulesFor(object.barcodekind);
    const std::string text = humanReadableText(object, rules);
    const platform::FontHandle previousFont = dc.selectFont(createObjectFont(object, object.fontsize, dpi));
    dc.setBackgroundMode(platform::BackgroundMode::Transparent);
    dc.setTextColor(rgbToColorref(object.textColor));
    drawTextLines(dc, object, rules, dpi, text, barX, barY, symbolWidth, symbolHeight);
    dc.selectFont(previousFont);
}

BarcodeRequest barcodeRequestFor(const LabelObject& object, int dpi) {
    BarcodeRequest request;
    request.kind = object.barcodekind;
    request.data = object.objectdata;
    request.dpi = dpi;
    request.showText = false;
    request.moduleWidth = object.barcodescale;
    request.barHeightMm = object.barcodeheight;
    request.version = object.qrversion;
    request.errorCorrection = object.errorcorrection;
    request.code39Ratio = object.code39widthratio;
    request.checkFlag = object.code39StartStop;
    request.eciChoice = object.eciOption;
    request.pdf417Rows = object.pdf417_rows_auto >= 1 ? object.pdf417_rows_auto : object.pdf417_rows;
    request.pdf417Columns = object.pdf417_columns_auto >= 1 ? object.pdf417_columns_auto : object.pdf417_columns;
    return request;
}

namespace {

bool drawsBarcode(const LabelObject& object) {
    return !object.objectdata.empty() && isDrawableBarcodeKind(object.barcodekind);
}

}  // namespace

uint64_t drawnBarcodeBytes(const LabelDoc& doc) {
    uint64_t bytes = 0;
    for (const LabelObject& object : doc.objects) {
        if (object.enable && objectKindOf(object.ObjectName) == ObjectKind::Barcode && drawsBarcode(object))
            bytes += object.objectdata.size();
    }
    return bytes;
}

void drawBarcodeObject(platform::DeviceContext& dc, const LabelObject& object, int dpi, DrawBudget& budget) {
    if (!drawsBarcode(object) || budget.exceeded()) return;
    const int x = mmToDots(object.Xposition, dpi);
    const int y = mmToDots(object.Yposition, dpi);

    const std::shared_ptr<const BarcodeBitmap> made = barcodeSymbol(barcodeRequestFor(object, dpi));
    const BarcodeBitmap& symbol = *made;
    if (!budget.charge(symbol.cost)) return;
    if (symbol.width <= 0 || symbol.height <= 0) return;

    dc.setPixels(x, y, platform::PixelBlock{symbol.pixels.data(), symbol.width, symbol.height, symbol.stride});
    if (kindTextRulesFor(object.barcodekind).bearerBox) drawBearerBox(dc, object, x, y, symbol.width, symbol.height);
    if (object.textposition != kTextNone) drawBarcodeText(dc, object, dpi, x, y, symbol.width, symbol.height);
}

}  // namespace mk
