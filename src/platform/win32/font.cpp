// Fonts through GDI: CreateFontIndirectW makes them, the text metrics and
// extents measure them, TextOutW draws them.
#include "platform/font.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <vector>

#include "portable/int_convert.h"
#include "platform/mutex.h"
#include "portable/pixel_copy.h"
#include "portable/utf_convert.h"
#include "platform/win32/gdi_object.h"

namespace mk::platform {

// The GDI font of a request, selected into a device context of its own for
// measuring. GDI objects may be used from any thread, a device context by
// one at a time: the lock keeps it so.
struct ResolvedFont {
    GdiObject font;
    UniqueDc dc;
    HGDIOBJ previous = nullptr;
    Mutex mutex;

    ~ResolvedFont() {
        if (dc && previous != nullptr && previous != HGDI_ERROR) SelectObject(dc.get(), previous);
    }
};

namespace {

std::atomic<uint64_t> fontLookups{0};

// GDI takes a count of UTF-16 units as an int.
int unitCount(std::u16string_view text) { return static_cast<int>(std::min<size_t>(text.size(), INT_MAX / 2)); }

const wchar_t* wide(std::u16string_view text) { return reinterpret_cast<const wchar_t*>(text.data()); }

// A white 32-bit DIB section of the given size, selected into a device
// context of its own, for drawing glyphs on.
struct Scratch {
    UniqueDc dc;
    GdiObject bitmap;
    uint32_t* bits = nullptr;
    HGDIOBJ previous = nullptr;

    Scratch(int width, int height) {
        dc.reset(CreateCompatibleDC(nullptr));
        if (!dc) return;
        void* memory = nullptr;
        bitmap = createTopDownDib(dc.get(), width, height, &memory);
        if (!bitmap || memory == nullptr) return;
        bits = static_cast<uint32_t*>(memory);
        std::fill(bits, bits + static_cast<size_t>(width) * height, 0x00FFFFFFu);
        previous = SelectObject(dc.get(), bitmap.get());
    }
    ~Scratch() {
        if (previous != nullptr && previous != HGDI_ERROR) SelectObject(dc.get(), previous);
    }
    bool valid() const { return bits != nullptr && previous != nullptr && previous != HGDI_ERROR; }
};

}  // namespace

TextExtent Font::measure(std::u16string_view text) const {
    if (text.empty() || !resolved_->dc) return TextExtent{0, cellHeight()};
    std::lock_guard lock(resolved_->mutex);
    SIZE size{};
    if (!GetTextExtentPoint32W(resolved_->dc.get(), wide(text), unitCount(text), &size)) size.cx = 0;
    return TextExtent{static_cast<int>(size.cx), cellHeight()};
}

void Font::draw(const PixelTarget& target, double x, int64_t top, double scaleX, std::u16string_view text,
                uint32_t colorref) const {
    if (text.empty() || !(scaleX > 0.0) || !resolved_->font) return;
    // Glyphs are drawn black on a white scratch surface covering the part of
    // the target the text may reach (slant and overhang included), and the
    // covered pixels copied over in the text's colour.
    const int64_t pad = 2 * int64_t{emPixels_};
    const double width = scaleX * measure(text).cx;
    const int64_t left = std::max<int64_t>(static_cast<int64_t>(std::floor(x)) - pad, 0);
    const int64_t right = std::min<int64_t>(static_cast<int64_t>(std::ceil(x + width)) + pad, target.width);
    const int64_t upper = std::max<int64_t>(top - pad, 0);
    const int64_t lower = std::min<int64_t>(top + cellHeight() + pad, target.height);
    if (left >= right || upper >= lower) return;
    const int w = static_cast<int>(right - left);
    const int h = static_cast<int>(lower - upper);

    Scratch scratch(w, h);
    if (!scratch.valid()) return;
    HDC dc = scratch.dc.get();
    SelectedObject fontScope(dc, resolved_->font.get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    if (scaleX == 1.0) {
        TextOutW(dc, static_cast<int>(std::round(x) - left), static_cast<int>(top - upper), wide(text), unitCount(text));
    } else {
        SetGraphicsMode(dc, GM_ADVANCED);
        XFORM transform{static_cast<FLOAT>(scaleX), 0.0f, 0.0f, 1.0f, static_cast<FLOAT>(std::round(x) - left),
                        static_cast<FLOAT>(top - upper)};
        SetWorldTransform(dc, &transform);
        TextOutW(dc, 0, 0, wide(text), unitCount(text));
    }
    GdiFlush();

    const uint32_t ink = pixelValue(colorref);
    for (int row = 0; row < h; ++row) {
        const uint32_t* from = scratch.bits + static_cast<size_t>(row) * w;
        auto* to = reinterpret_cast<uint32_t*>(target.pixels + static_cast<size_t>(upper + row) * target.stride) + left;
        for (int column = 0; column < w; ++column) {
            if ((from[column] & 0x00FFFFFFu) != 0x00FFFFFFu) to[column] = ink;
        }
    }
}

bool Font::covers(std::u16string_view text) const {
    if (!resolved_->dc) return false;
    std::vector<WORD> glyphs(text.size());
    std::lock_guard lock(resolved_->mutex);
    if (GetGlyphIndicesW(resolved_->dc.get(), wide(text), unitCount(text), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS) ==
        GDI_ERROR)
        return false;
    return std::none_of(glyphs.begin(), glyphs.end(), [](WORD g) { return g == 0xFFFF; });
}

std::string Font::familyFor(char32_t codePoint) const {
    if (!resolved_->dc || codePoint > 0xFFFF) return {};
    const wchar_t unit = static_cast<wchar_t>(codePoint);
    WORD glyph = 0xFFFF;
    std::lock_guard lock(resolved_->mutex);
    if (GetGlyphIndicesW(resolved_->dc.get(), &unit, 1, &glyph, GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR ||
        glyph == 0xFFFF)
        return {};
    // The family the font file names, not the name that was asked for (a
    // substitute answers for a face the system does not have).
    const UINT size = GetOutlineTextMetricsW(resolved_->dc.get(), 0, nullptr);
    if (size < sizeof(OUTLINETEXTMETRICW)) return {};
    std::vector<uint8_t> buffer(size);
    auto* metrics = reinterpret_cast<OUTLINETEXTMETRICW*>(buffer.data());
    if (GetOutlineTextMetricsW(resolved_->dc.get(), size, metrics) == 0) return {};
    const auto offset = reinterpret_cast<uintptr_t>(metrics->otmpFamilyName);
    if (offset == 0 || offset >= size) return {};
    const auto* name = reinterpret_cast<const char16_t*>(buffer.data() + offset);
    const size_t limit = (size - offset) / sizeof(char16_t);
    return utf16ToUtf8(std::u16string_view(name, std::char_traits<char16_t>::length(name) < limit
                                                     ? std::char_traits<char16_t>::length(name)
                                                     : limit));
}

FontHandle createFont(const LogFont& request) {
    LOGFONTW logFont{};
    if (request.height == 0) {
        logFont.lfHeight = -kDefaultEmPixels;
    } else {
        logFont.lfHeight = std::clamp(request.height, -kMaxEmPixels, kMaxEmPixels);
    }
    logFont.lfWeight = request.weight;
    logFont.lfItalic = request.italic ? 1 : 0;
    logFont.lfCharSet = DEFAULT_CHARSET;
    // Every pixel of a label is ink or paper.
    logFont.lfQuality = NONANTIALIASED_QUALITY;
    const size_t units = std::min<size_t>(request.faceName.size(), LF_FACESIZE - 1);
    std::copy_n(request.faceName.data(), units, logFont.lfFaceName);

    auto resolved = std::make_shared<ResolvedFont>();
    ++fontLookups;
    resolved->font.reset(CreateFontIndirectW(&logFont));
    resolved->dc.reset(CreateCompatibleDC(nullptr));
    TEXTMETRICW metrics{};
    bool measured = false;
    if (resolved->font && resolved->dc) {
        resolved->previous = SelectObject(resolved->dc.get(), resolved->font.get());
        measured = GetTextMetricsW(resolved->dc.get(), &metrics) != 0;
    }
    if (!measured) {
        const int em = logFont.lfHeight < 0 ? -logFont.lfHeight : logFont.lfHeight;
        return std::make_shared<const Font>(request, std::move(resolved), em, em, 0);
    }
    // A negative height asks for the em itself; a positive one for the cell.
    const int em = logFont.lfHeight < 0 ? -logFont.lfHeight
                                        : std::max<int>(metrics.tmHeight - metrics.tmInternalLeading, 1);
    return std::make_shared<const Font>(request, std::move(resolved), em, metrics.tmAscent, metrics.tmDescent);
}

std::string aliasedFamily(std::string_view faceNameUtf8) { return std::string(faceNameUtf8); }

uint64_t fontLookupCount() { return fontLookups.load(); }

}  // namespace mk::platform
