#pragma once

#include <ft2build.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include FT_FREETYPE_H

#include "platform/font.h"
#include "platform/linux/glyph_memo.h"

namespace mk::platform {

class FreeTypeLibrary;

// Each thread keeps the bitmaps of the glyphs it drew lately for itself, in
// front of the cache all threads share: at most kThreadGlyphBytes each (a
// full memory starts over) and kAllThreadsGlyphBytes together (beyond it a
// thread keeps nothing more and asks the shared cache). A memory that starts
// over, or ends with its thread, gives its bytes back.
inline constexpr size_t kThreadGlyphBytes = size_t{256} << 10;
inline constexpr size_t kAllThreadsGlyphBytes = size_t{2} << 20;
// What the calling thread keeps, and all threads together.
size_t threadGlyphBytes();
size_t allThreadsGlyphBytes();

// How a glyph is drawn beyond its face: emboldened or slanted when the font
// asks for bold or italic and the face is not.
struct GlyphStyle {
    bool syntheticBold = false;
    bool syntheticItalic = false;
};

// Where and how one glyph is drawn: the pen in pixels, the baseline row, the
// horizontal scale and the colour.
struct GlyphPlacement {
    int64_t penX = 0;
    int64_t baselineY = 0;
    double scaleX = 1.0;
    uint32_t colorref = 0;
};

// One open font file (a face of it). FreeType faces are not thread-safe, so
// every operation that reaches FreeType takes the face's own lock; what is
// asked again and again (indices, advances, bitmaps of whole glyphs) is
// answered from memory without it.
class FontFace {
public:
    static std::shared_ptr<FontFace> open(const std::string& file, int index);
    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    const std::string& family() const { return family_; }
    bool isBold() const { return bold_; }
    bool isItalic() const { return italic_; }

    // Ascent and descent at an em of emPixels, from the OS/2 table's win
    // metrics (the horizontal header's when the face has no OS/2 table).
    int ascent(int emPixels) const;
    int descent(int emPixels) const;
    // The em that gives a cell of this many pixels.
    int emForCellHeight(int cellPixels) const;

    // 0 when the face has no glyph for the code point.
    unsigned glyphIndex(char32_t codePoint);
    // The hinted advance in whole pixels.
    int advance(unsigned glyph, int emPixels, GlyphStyle style);
    // Draws the glyph and returns its advance (unscaled, as advance() does).
    // The bitmaps of glyphs drawn whole are cached (bounded, shared by all
    // faces and threads); a glyph the target's edge cuts is rasterised from
    // its visible part each time.
    int draw(unsigned glyph, int emPixels, GlyphStyle style, const GlyphPlacement& at, const PixelTarget& target);

private:
    FontFace(std::shared_ptr<FreeTypeLibrary> library, FT_Face face);
    bool loadGlyph(unsigned glyph, int emPixels, GlyphStyle style);
    int loadedAdvance() const;

    std::shared_ptr<FreeTypeLibrary> library_;
    std::mutex mutex_;
    FT_Face face_;
    const uint64_t id_;  // this face in the process-wide glyph cache
    int currentEm_ = 0;
    // Glyph indices by code point, and hinted advances by em, emboldening
    // and glyph: layout asks for them for every code point it measures or
    // draws, and loading a hinted glyph is the costly part. Read without the
    // lock; what they do not hold is worked out under it.
    // Sized by the face's glyphs, so that a text of thousands of different
    // characters at one size (Chinese) is remembered whole.
    GlyphMemo indices_;
    GlyphMemo advances_;
    int unitsPerEm_ = 0;
    int winAscent_ = 0;
    int winDescent_ = 0;
    bool bold_ = false;
    bool italic_ = false;
    std::string family_;
};

}  // namespace mk::platform
