#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace mk::platform {

// A font request in the terms labels use: the face name as the label names it
// (at most 31 UTF-16 units), a height in pixels (negative: the em height;
// positive: the cell height; 0: a default of 16), a weight and italics.
// Underline and strike-out are carried but not drawn.
struct LogFont {
    int height = 0;
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    std::u16string faceName;
};

// The em a request of height 0 gets, and the largest em any font gets.
inline constexpr int kDefaultEmPixels = 16;
inline constexpr int kMaxEmPixels = 16384;

// The extent of a text in a font: cx the sum of the hinted advance widths,
// cy the cell height (ascent + descent), which is the same for every text.
struct TextExtent {
    int cx = 0;
    int cy = 0;
};

// A 32-bit pixel buffer in blue, green, red, unused order, rows top-down.
struct PixelTarget {
    uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

struct ResolvedFont;

// A created font: the request, its faces, and its size in pixels. Immutable
// and safe to share between threads; the faces it uses stay open as long as
// any font refers to them.
class Font {
public:
    // The system's own font code makes fonts (createFont); a shared_ptr
    // needs no complete ResolvedFont to hold or release one.
    Font(LogFont request, std::shared_ptr<ResolvedFont> resolved, int emPixels, int ascent, int descent)
        : request_(std::move(request)),
          resolved_(std::move(resolved)),
          emPixels_(emPixels),
          ascent_(ascent),
          descent_(descent) {}

    const LogFont& request() const { return request_; }
    int emPixels() const { return emPixels_; }
    int ascent() const { return ascent_; }
    int cellHeight() const { return ascent_ + descent_; }

    TextExtent measure(std::u16string_view text) const;

    // Draws text with the top-left corner of its cell at pixel (x, top);
    // scaleX widens or narrows the glyphs and their advances. Glyphs are drawn
    // one bit deep: covered pixels take the colour (0x00BBGGRR), others stay
    // as they are. Pixels outside the target are dropped.
    void draw(const PixelTarget& target, double x, int64_t top, double scaleX, std::u16string_view text,
              uint32_t colorref) const;

    // Whether every code point of the text has a real glyph in this font or
    // in a fallback face (no missing-glyph box would be drawn).
    bool covers(std::u16string_view text) const;

    // The family of the face a code point is drawn from (this font's own face
    // or the fallback that has the glyph); empty when no face has it.
    std::string familyFor(char32_t codePoint) const;

private:
    LogFont request_;
    std::shared_ptr<ResolvedFont> resolved_;
    int emPixels_;
    int ascent_;
    int descent_;
};

using FontHandle = std::shared_ptr<const Font>;

// Resolves the face by the system's own means (on Linux the alias table, then
// fontconfig, with faces cached for the life of the process so that only the
// first request for a face name and style costs a lookup) and sizes it. Never
// returns null: without any usable face the font measures zero widths and
// draws nothing.
FontHandle createFont(const LogFont& request);

// The family a label's face name stands for on this system: the compiled-in
// alias when there is one, else the name itself.
std::string aliasedFamily(std::string_view faceNameUtf8);

// How many lookups of the system's font service (on Linux fontconfig's
// matches, sorted fallback lists and per-character fallback searches) the
// process has made; a test or benchmark reads the difference around a render.
uint64_t fontLookupCount();

}  // namespace mk::platform
