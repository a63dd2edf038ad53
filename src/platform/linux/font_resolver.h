#pragma once

#include <fontconfig/fontconfig.h>

#include <memory>
#include <mutex>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>
#include <string>

#include "platform/linux/font_face.h"

namespace mk::platform {

// A glyph of a font: the face that draws it and its index there.
struct GlyphRef {
    FontFace* face = nullptr;  // null: no face at all
    unsigned index = 0;        // 0: the face's missing-glyph shape
    GlyphStyle style;
};

// A face name and style resolved to a face, with the fallback faces for the
// characters it lacks. Shared by every font of that name and style.
struct ResolvedFont {
    struct PatternDeleter {
        void operator()(FcPattern* p) const { FcPatternDestroy(p); }
    };
    struct FontSetDeleter {
        void operator()(FcFontSet* s) const { FcFontSetDestroy(s); }
    };
    using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;
    using FontSetPtr = std::unique_ptr<FcFontSet, FontSetDeleter>;

    ResolvedFont(std::shared_ptr<FontFace> primaryFace, bool boldWanted, bool italicWanted, PatternPtr sortPattern);
    ResolvedFont(const ResolvedFont&) = delete;
    ResolvedFont& operator=(const ResolvedFont&) = delete;

    // The glyph for a code point: from the primary face when it has one, else
    // from the first face of fontconfig's sorted list that has it. Answers
    // are remembered (a bounded number), so a code point seldom costs a
    // search twice, and one no face has costs none.
    GlyphRef glyphFor(char32_t codePoint);

    const std::shared_ptr<FontFace> primary;
    const bool bold;
    const bool italic;

private:
    // A code point's fallback: the index of its face in fallbackFaces_ (-1:
    // no face has it) and the glyph there.
    struct Fallback {
        char32_t codePoint = kNoCodePoint;
        int32_t face = -1;
        unsigned index = 0;
    };
    static constexpr char32_t kNoCodePoint = 0xFFFFFFFF;
    // Remembered fallbacks, one slot per code point's place: a text of many
    // different code points overwrites older ones instead of growing.
    static constexpr size_t kFallbackSlots = 4096;

    Fallback findFallback(char32_t codePoint);
    void sortFallbacks();
    GlyphStyle styleFor(const FontFace& face) const;

    std::mutex mutex_;
    PatternPtr sortPattern_;  // configured for fontconfig's sorted list
    FontSetPtr sorted_;       // made on the first missing glyph
    bool sortedTried_ = false;
    // The sorted faces' character sets and faces (opened when first
    // needed), in order; and for each page of 256 code points, the faces
    // that have any of them, so that a search looks at those alone and a
    // code point none has costs no search.
    struct PageFace {
        uint32_t page = 0;
        uint32_t face = 0;
        auto operator<=>(const PageFace&) const = default;
    };
    std::vector<FcCharSet*> charsets_;
    std::vector<std::shared_ptr<FontFace>> sortedFaces_;
    std::vector<bool> sortedOpened_;
    std::vector<PageFace> pages_;
    std::unique_ptr<std::array<Fallback, kFallbackSlots>> fallbacks_;
    // Every fallback face ever found: a GlyphRef holds its face by plain
    // pointer, and another thread may still draw with it after its slot has
    // been overwritten. The sorted list bounds them.
    std::vector<std::shared_ptr<FontFace>> fallbackFaces_;
};

// The cached resolution of a face name (UTF-8) and style.
std::shared_ptr<ResolvedFont> resolveFont(const std::string& faceName, bool bold, bool italic);

}  // namespace mk::platform
