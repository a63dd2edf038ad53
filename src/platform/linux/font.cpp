#include "platform/font.h"

#include <algorithm>
#include <cmath>

#include "platform/linux/font_resolver.h"
#include "portable/int_convert.h"
#include "portable/utf_convert.h"

namespace mk::platform {

namespace {

// The face that gives a font its vertical metrics: its own, or, when it has
// none usable, the face that draws "X".
FontFace* metricsFace(ResolvedFont& resolved) {
    if (resolved.primary) return resolved.primary.get();
    return resolved.glyphFor(U'X').face;
}

}  // namespace

TextExtent Font::measure(std::u16string_view text) const {
    int64_t width = 0;
    for (size_t i = 0; i < text.size();) {
        const GlyphRef glyph = resolved_->glyphFor(nextCodePoint(text, i));
        if (glyph.face != nullptr) width += glyph.face->advance(glyph.index, emPixels_, glyph.style);
    }
    return TextExtent{saturateToInt(width), cellHeight()};
}

void Font::draw(const PixelTarget& target, double x, int64_t top, double scaleX, std::u16string_view text,
                uint32_t colorref) const {
    // No glyph reaches further than this from its pen position (slant and
    // emboldening included), so text beyond it can be skipped unrendered.
    const double reach = 2.0 * emPixels_ * std::max(scaleX, 1.0);
    if (top + cellHeight() + reach < 0 || top - reach > target.height) return;
    GlyphPlacement at;
    at.baselineY = top + ascent_;
    at.scaleX = scaleX;
    at.colorref = colorref;
    int64_t pen = 0;  // unscaled pixels from the start of the text
    for (size_t i = 0; i < text.size();) {
        const GlyphRef glyph = resolved_->glyphFor(nextCodePoint(text, i));
        if (glyph.face == nullptr) continue;
        const double deviceX = std::round(x + static_cast<double>(pen) * scaleX);
        if (scaleX > 0.0 && deviceX > target.width + reach) break;  // the rest lies further right
        if (deviceX < -reach) {
            pen += glyph.face->advance(glyph.index, emPixels_, glyph.style);
            continue;
        }
        at.penX = static_cast<int64_t>(deviceX);
        pen += glyph.face->draw(glyph.index, emPixels_, glyph.style, at, target);
    }
}

bool Font::covers(std::u16string_view text) const {
    for (size_t i = 0; i < text.size();) {
        if (resolved_->glyphFor(nextCodePoint(text, i)).index == 0) return false;
    }
    return true;
}

FontHandle createFont(const LogFont& request) {
    const bool bold = request.weight >= 600;
    std::shared_ptr<ResolvedFont> resolved = resolveFont(utf16ToUtf8(request.faceName), bold, request.italic);
    FontFace* face = metricsFace(*resolved);

    int em = kDefaultEmPixels;
    if (request.height < 0) {
        em = -static_cast<int64_t>(request.height) > kMaxEmPixels ? kMaxEmPixels : -request.height;
    } else if (request.height > 0) {
        em = face != nullptr ? std::min(face->emForCellHeight(request.height), kMaxEmPixels)
                             : std::min(request.height, kMaxEmPixels);
    }
    const int ascent = face != nullptr ? face->ascent(em) : em;
    const int descent = face != nullptr ? face->descent(em) : 0;
    return std::make_shared<const Font>(request, std::move(resolved), em, ascent, descent);
}

std::string Font::familyFor(char32_t codePoint) const {
    const GlyphRef glyph = resolved_->glyphFor(codePoint);
    if (glyph.face == nullptr || glyph.index == 0) return {};
    return glyph.face->family();
}

}  // namespace mk::platform
