#pragma once

#include <fontconfig/fontconfig.h>

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>

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
    // are remembered, so a code point costs a fontconfig search once.
    GlyphRef glyphFor(char32_t codePoint);

    const std::shared_ptr<FontFace> primary;
    const bool bold;
    const bool italic;

private:
    struct Fallback {
        std::shared_ptr<FontFace> face;
        unsigned index = 0;
    };
    Fallback findFallback(char32_t codePoint);
    GlyphStyle styleFor(const FontFace& face) const;

    std::mutex mutex_;
    PatternPtr sortPattern_;  // configured for fontconfig's sorted list
    FontSetPtr sorted_;       // made on the first missing glyph
    bool sortedTried_ = false;
    std::unordered_map<char32_t, Fallback> glyphs_;
    // Every fallback face ever found: a GlyphRef holds its face by plain
    // pointer, and another thread may still draw with it after glyphs_ has
    // been cleared. The installed faces bound this set.
    std::set<std::shared_ptr<FontFace>> fallbackFaces_;
};

// The cached resolution of a face name (UTF-8) and style.
std::shared_ptr<ResolvedFont> resolveFont(const std::string& faceName, bool bold, bool italic);

}  // namespace mk::platform
