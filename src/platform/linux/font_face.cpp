#include "platform/linux/font_face.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <unordered_map>
#include <vector>

#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include "portable/bounded_cache.h"

namespace mk::platform {

// The FreeType library object. Faces may be used from several threads at once
// (each under its own lock), but creating and destroying faces must not
// overlap, which this lock ensures. Every face keeps the library alive.
class FreeTypeLibrary {
public:
    FreeTypeLibrary() {
        if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
    }
    ~FreeTypeLibrary() {
        if (library_ != nullptr) FT_Done_FreeType(library_);
    }
    FreeTypeLibrary(const FreeTypeLibrary&) = delete;
    FreeTypeLibrary& operator=(const FreeTypeLibrary&) = delete;

    FT_Library get() const { return library_; }
    std::mutex& faceLock() { return faceLock_; }

    static std::shared_ptr<FreeTypeLibrary> shared() {
        static const std::shared_ptr<FreeTypeLibrary> library = std::make_shared<FreeTypeLibrary>();
        return library;
    }

private:
    FT_Library library_ = nullptr;
    std::mutex faceLock_;
};

namespace {

// GDI-like synthetic styles: the slant of an oblique face (about 12 degrees)
// and an emboldening of one 24th of the em.
constexpr FT_Fixed kObliqueShear = 0x0366A;
constexpr int kEmboldenDivisor = 24;

// FreeType accepts pixel sizes up to 0xFFFF; far smaller bounds (this and
// kMaxEmPixels) keep glyph outlines well inside the rasteriser's coordinate
// range.
constexpr double kMaxScaleX = 1000.0;

int scaleRounded(int designUnits, int emPixels, int unitsPerEm) {
    if (unitsPerEm <= 0) return 0;
    const int64_t scaled = static_cast<int64_t>(designUnits) * emPixels;
    return static_cast<int>((2 * scaled + unitsPerEm) / (2 * static_cast<int64_t>(unitsPerEm)));
}

int64_t floorDiv64(FT_Pos v) { return v >= 0 ? v / 64 : -((-v + 63) / 64); }
int64_t ceilDiv64(FT_Pos v) { return -floorDiv64(-v); }

// Faces are told apart in the glyph cache by a number never used again,
// where an address could be reused by a later face.
uint64_t nextFaceId() {
    static std::atomic<uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

// Enough slots for every glyph of the face at one size (a memo starts over
// at three quarters full), from a floor up to 64 Ki slots (512 KiB).
size_t memoSlots(FT_Long glyphs, size_t floor) {
    constexpr size_t kMostSlots = 65536;
    const auto count = static_cast<size_t>(std::clamp<FT_Long>(glyphs, 1, kMostSlots));
    return std::clamp(std::bit_ceil(count + count / 3 + 1), floor, kMostSlots);
}

}  // namespace

std::shared_ptr<FontFace> FontFace::open(const std::string& file, int index) {
    std::shared_ptr<FreeTypeLibrary> library = FreeTypeLibrary::shared();
    if (library->get() == nullptr) return nullptr;
    FT_Face face = nullptr;
    {
        std::lock_guard lock(library->faceLock());
        if (FT_New_Face(library->get(), file.c_str(), index, &face) != 0) return nullptr;
    }
    if (!FT_IS_SCALABLE(face) || FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) {
        std::lock_guard lock(library->faceLock());
        FT_Done_Face(face);
        return nullptr;
    }
    return std::shared_ptr<FontFace>(new FontFace(std::move(library), face));
}

FontFace::FontFace(std::shared_ptr<FreeTypeLibrary> library, FT_Face face)
    : library_(std::move(library)),
      face_(face),
      id_(nextFaceId()),
      indices_(memoSlots(face->num_glyphs, 2048)),
      advances_(memoSlots(face->num_glyphs, 4096)) {
    unitsPerEm_ = face_->units_per_EM;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
    if (os2 != nullptr && os2->version != 0xFFFF && (os2->usWinAscent != 0 || os2->usWinDescent != 0)) {
        winAscent_ = os2->usWinAscent;
        winDescent_ = os2->usWinDescent;
    } else {
        winAscent_ = face_->ascender;
        winDescent_ = -face_->descender;
    }
    bold_ = (face_->style_flags & FT_STYLE_FLAG_BOLD) != 0 ||
            (os2 != nullptr && os2->version != 0xFFFF && os2->usWeightClass >= 600);
    italic_ = (face_->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    if (face_->family_name != nullptr) family_ = face_->family_name;
}

FontFace::~FontFace() {
    std::lock_guard lock(library_->faceLock());
    FT_Done_Face(face_);
}

int FontFace::ascent(int emPixels) const { return scaleRounded(winAscent_, emPixels, unitsPerEm_); }

int FontFace::descent(int emPixels) const { return scaleRounded(winDescent_, emPixels, unitsPerEm_); }

int FontFace::emForCellHeight(int cellPixels) const {
    return std::max(1, scaleRounded(unitsPerEm_, cellPixels, winAscent_ + winDescent_));
}

unsigned FontFace::glyphIndex(char32_t codePoint) {
    if (const auto known = indices_.find(codePoint)) return *known;
    unsigned index = 0;
    {
        std::lock_guard lock(mutex_);
        index = FT_Get_Char_Index(face_, codePoint);
    }
    indices_.remember(codePoint, index);
    return index;
}

bool FontFace::loadGlyph(unsigned glyph, int emPixels, GlyphStyle style) {
    emPixels = std::clamp(emPixels, 1, kMaxEmPixels);
    if (emPixels != currentEm_) {
        if (FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(emPixels)) != 0) return false;
        currentEm_ = emPixels;
    }
    // Hinted for one-bit output; outlines only, so that every size, slant and
    // scale is drawn from the same shapes.
    if (FT_Load_Glyph(face_, glyph, FT_LOAD_TARGET_MONO | FT_LOAD_NO_BITMAP) != 0) return false;
    FT_GlyphSlot slot = face_->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return false;
    if (style.syntheticBold) {
        const FT_Pos strength = FT_MulFix(face_->units_per_EM, face_->size->metrics.y_scale) / kEmboldenDivisor;
        FT_Outline_EmboldenXY(&slot->outline, strength, strength);
        slot->advance.x += strength;
    }
    if (style.syntheticItalic) {
        FT_Matrix shear{0x10000, kObliqueShear, 0, 0x10000};
        FT_Outline_Transform(&slot->outline, &shear);
    }
    return true;
}

int FontFace::loadedAdvance() const { return static_cast<int>((face_->glyph->advance.x + 32) >> 6); }

int FontFace::advance(unsigned glyph, int emPixels, GlyphStyle style) {
    // Slant does not change an advance; emboldening does.
    const uint64_t key = static_cast<uint64_t>(std::clamp(emPixels, 1, kMaxEmPixels)) << 24 |
                         static_cast<uint64_t>(style.syntheticBold) << 23 | glyph;
    const bool fits = glyph < (1u << 23);
    if (fits) {
        if (const auto known = advances_.find(key)) return static_cast<int>(*known);
    }
    int advance = 0;
    {
        std::lock_guard lock(mutex_);
        advance = loadGlyph(glyph, emPixels, GlyphStyle{style.syntheticBold, false}) ? loadedAdvance() : 0;
    }
    if (fits && advance >= 0) advances_.remember(key, static_cast<uint32_t>(advance));
    return advance;
}

namespace {

// A glyph's bitmap where the whole glyph lies on the target: one bit per
// pixel, rows top-down, placed by its offset from the pen and the baseline.
struct GlyphBitmap {
    int64_t left = 0;  // from the pen position
    int64_t top = 0;   // from the baseline, downwards
    int width = 0;
    int rows = 0;
    int pitch = 0;
    int advance = 0;
    std::vector<unsigned char> bits;
};

// Everything a glyph's bitmap depends on when it is not cut by the edge.
struct GlyphKey {
    uint64_t face = 0;
    unsigned glyph = 0;
    int emPixels = 0;
    FT_Fixed scaleX = 0;
    bool bold = false;
    bool italic = false;

    bool operator==(const GlyphKey&) const = default;
};

struct GlyphKeyHash {
    size_t operator()(const GlyphKey& key) const {
        uint64_t h = key.face * 0x9E3779B97F4A7C15ull;
        h ^= (uint64_t{key.glyph} << 2 | uint64_t{key.bold} << 1 | uint64_t{key.italic}) + (h << 6) + (h >> 2);
        h ^= static_cast<uint64_t>(key.emPixels) + (h << 6) + (h >> 2);
        h ^= static_cast<uint64_t>(key.scaleX) + (h << 6) + (h >> 2);
        return static_cast<size_t>(h);
    }
};

// What a bitmap counts in the glyph memory's bound.
size_t glyphBytes(const GlyphBitmap& glyph) { return glyph.bits.size() + sizeof(GlyphBitmap) + 64; }

// The glyph memory: 8 MiB for the whole process, of which the shared cache
// holds 6 and the threads' own memories 2 together.
constexpr size_t kSharedGlyphBytes = size_t{6} << 20;

// Bitmaps of the glyphs drawn lately, shared by all faces and threads.
BoundedCache<GlyphKey, GlyphBitmap, GlyphKeyHash>& glyphCache() {
    static BoundedCache<GlyphKey, GlyphBitmap, GlyphKeyHash> cache(kSharedGlyphBytes, 65536);
    return cache;
}

std::atomic<size_t> allThreadsBytes{0};

// Each thread's own memory of the glyphs it drew, in front of the shared
// cache, so that drawing a glyph takes no lock that another thread waits on.
// It may keep alive a bitmap the shared cache has dropped, so it is bounded
// by itself: kThreadGlyphBytes per thread (a full memory starts over) and
// kAllThreadsGlyphBytes for all threads together (beyond it a thread keeps
// nothing more and asks the shared cache). It ends with its thread.
class ThreadGlyphs {
public:
    ThreadGlyphs() = default;
    ThreadGlyphs(const ThreadGlyphs&) = delete;
    ThreadGlyphs& operator=(const ThreadGlyphs&) = delete;
    ~ThreadGlyphs() { forget(); }

    const GlyphBitmap* find(const GlyphKey& key) const {
        if (!cachingEnabled()) return nullptr;
        const auto it = glyphs_.find(key);
        return it != glyphs_.end() ? it->second.get() : nullptr;
    }

    void keep(const GlyphKey& key, std::shared_ptr<const GlyphBitmap> glyph) {
        if (!cachingEnabled() || glyph == nullptr) return;
        const size_t bytes = glyphBytes(*glyph);
        if (bytes > kThreadGlyphBytes) return;
        if (bytes_ + bytes > kThreadGlyphBytes) forget();
        size_t all = allThreadsBytes.load(std::memory_order_relaxed);
        do {
            if (all + bytes > kAllThreadsGlyphBytes) return;
        } while (!allThreadsBytes.compare_exchange_weak(all, all + bytes, std::memory_order_relaxed));
        try {
            if (glyphs_.emplace(key, std::move(glyph)).second) {
                bytes_ += bytes;
                return;
            }
        } catch (const std::bad_alloc&) {
        }
        allThreadsBytes.fetch_sub(bytes, std::memory_order_relaxed);
    }

private:
    void forget() {
        glyphs_.clear();
        allThreadsBytes.fetch_sub(bytes_, std::memory_order_relaxed);
        bytes_ = 0;
    }

public:
    size_t bytes() const { return bytes_; }

private:
    std::unordered_map<GlyphKey, std::shared_ptr<const GlyphBitmap>, GlyphKeyHash> glyphs_;
    size_t bytes_ = 0;
};

thread_local ThreadGlyphs threadGlyphs;

}  // namespace

size_t threadGlyphBytes() { return threadGlyphs.bytes(); }
size_t allThreadsGlyphBytes() { return allThreadsBytes.load(std::memory_order_relaxed); }

namespace {

// The set bits of the bitmap in the colour, its top-left corner at (left, top)
// of the target; the caller has clipped the bitmap to the target.
void paintBits(const unsigned char* bits, int pitch, int width, int rows, int64_t left, int64_t top,
               uint32_t colorref, const PixelTarget& target) {
    // Blue, green, red and 0xFF, in memory order.
    const uint32_t pixel = (colorref >> 16 & 0xFF) | (colorref & 0xFF00) | (colorref & 0xFF) << 16 | 0xFF000000u;
    const uint8_t bytes[4] = {static_cast<uint8_t>(pixel), static_cast<uint8_t>(pixel >> 8),
                              static_cast<uint8_t>(pixel >> 16), static_cast<uint8_t>(pixel >> 24)};
    for (int row = 0; row < rows; ++row) {
        const unsigned char* src = bits + static_cast<size_t>(row) * pitch;
        uint8_t* dst = target.pixels + static_cast<size_t>(top + row) * target.stride + static_cast<size_t>(left) * 4;
        for (int col = 0; col < width; col += 8) {
            unsigned byte = src[col >> 3];
            if (width - col < 8) byte &= 0xFFu << (8 - (width - col));
            // Most of a glyph's box is empty: eight pixels at a time, and
            // only the set bits of the rest.
            while (byte != 0) {
                const int bit = std::countl_zero(static_cast<uint8_t>(byte));
                std::memcpy(dst + static_cast<size_t>(col + bit) * 4, bytes, 4);
                byte &= ~(0x80u >> bit);
            }
        }
    }
}

// Draws a cached glyph when all of it lies on the target; false when the
// edge cuts it, which is drawn from the outline as before.
bool paintWhole(const GlyphBitmap& glyph, const GlyphPlacement& at, const PixelTarget& target) {
    if (glyph.width == 0 || glyph.rows == 0) return true;  // nothing to draw wherever it stands
    const int64_t left = at.penX + glyph.left;
    const int64_t top = at.baselineY + glyph.top;
    if (left < 0 || top < 0 || left + glyph.width > target.width || top + glyph.rows > target.height) return false;
    paintBits(glyph.bits.data(), glyph.pitch, glyph.width, glyph.rows, left, top, at.colorref, target);
    return true;
}

// A glyph the edge did not cut, for the next time it is drawn.
void keepWhole(const GlyphKey& key, GlyphBitmap glyph) {
    const size_t bytes = glyphBytes(glyph);
    threadGlyphs.keep(key, glyphCache().store(key, std::make_shared<const GlyphBitmap>(std::move(glyph)), bytes));
}

}  // namespace

int FontFace::draw(unsigned glyph, int emPixels, GlyphStyle style, const GlyphPlacement& at,
                   const PixelTarget& target) {
    const bool drawable = at.scaleX > 0.0 && at.scaleX <= kMaxScaleX && target.pixels != nullptr;
    const FT_Fixed scaleX = drawable ? static_cast<FT_Fixed>(std::lround(at.scaleX * 65536.0)) : 0;
    const GlyphKey key{id_, glyph, emPixels, at.scaleX != 1.0 ? scaleX : 0x10000, style.syntheticBold,
                       style.syntheticItalic};
    if (drawable) {
        if (const GlyphBitmap* mine = threadGlyphs.find(key); mine != nullptr && paintWhole(*mine, at, target)) {
            return mine->advance;
        }
        if (auto cached = glyphCache().find(key); cached != nullptr) {
            threadGlyphs.keep(key, cached);
            if (paintWhole(*cached, at, target)) return cached->advance;
        }
    }

    std::lock_guard lock(mutex_);
    if (!loadGlyph(glyph, emPixels, style)) return 0;
    const int advance = loadedAdvance();
    if (!drawable) return advance;

    FT_Outline& outline = face_->glyph->outline;
    if (at.scaleX != 1.0) {
        FT_Matrix scale{scaleX, 0, 0, 0x10000};
        FT_Outline_Transform(&outline, &scale);
    }
    FT_BBox box;
    FT_Outline_Get_CBox(&outline, &box);

    // Render only the part of the glyph that lands on the target, so a huge or
    // mostly off-surface glyph costs no more than the surface it covers.
    const int64_t wholeLeft = at.penX + floorDiv64(box.xMin);
    const int64_t wholeRight = at.penX + ceilDiv64(box.xMax);
    const int64_t wholeTop = at.baselineY - ceilDiv64(box.yMax);
    const int64_t wholeBottom = at.baselineY - floorDiv64(box.yMin);
    const int64_t left = std::max<int64_t>(0, wholeLeft);
    const int64_t right = std::min<int64_t>(target.width, wholeRight);
    const int64_t top = std::max<int64_t>(0, wholeTop);
    const int64_t bottom = std::min<int64_t>(target.height, wholeBottom);
    // Only a glyph the edge does not cut is kept: a cut one is rasterised
    // from its visible part, which need not give the same pixels.
    const bool whole = left == wholeLeft && right == wholeRight && top == wholeTop && bottom == wholeBottom;
    if (left >= right || top >= bottom) {
        if (whole) keepWhole(key, GlyphBitmap{0, 0, 0, 0, 0, advance, {}});
        return advance;
    }

    const int width = static_cast<int>(right - left);
    const int rows = static_cast<int>(bottom - top);
    const int pitch = (width + 7) / 8;
    std::vector<unsigned char> bits(static_cast<size_t>(pitch) * rows, 0);
    FT_Bitmap bitmap{};
    bitmap.rows = static_cast<unsigned>(rows);
    bitmap.width = static_cast<unsigned>(width);
    bitmap.pitch = pitch;
    bitmap.buffer = bits.data();
    bitmap.num_grays = 2;
    bitmap.pixel_mode = FT_PIXEL_MODE_MONO;
    // Bitmap row 0 is the top row; the rasteriser's y grows upwards from the
    // bitmap's bottom edge.
    FT_Outline_Translate(&outline, (at.penX - left) * 64, (rows + top - at.baselineY) * 64);
    if (FT_Outline_Get_Bitmap(library_->get(), &outline, &bitmap) != 0) return advance;

    paintBits(bits.data(), pitch, width, rows, left, top, at.colorref, target);
    if (whole) keepWhole(key, GlyphBitmap{left - at.penX, top - at.baselineY, width, rows, pitch, advance, std::move(bits)});
    return advance;
}

}  // namespace mk::platform
