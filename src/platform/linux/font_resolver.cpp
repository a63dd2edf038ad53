#include "platform/linux/font_resolver.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <tuple>
#include <utility>

#include "portable/bounded_cache.h"

namespace mk::platform {

namespace {

// Labels name the faces of the system they were designed on. Fontconfig maps
// the Latin ones to metric-compatible faces by itself, but looks the Chinese
// names up as unknown families and falls back to a Latin face, so the names
// are resolved here first.
struct FaceAlias {
    const char* name;
    const char* family;
};

constexpr const char* kLiberationSans = "Liberation Sans";
constexpr const char* kLiberationSerif = "Liberation Serif";
constexpr const char* kLiberationMono = "Liberation Mono";
constexpr const char* kZenHei = "WenQuanYi Zen Hei";

constexpr std::array<FaceAlias, 16> kFaceAliases{{
    {"Arial", kLiberationSans},
    {"Helvetica", kLiberationSans},
    {"Times New Roman", kLiberationSerif},
    {"Courier New", kLiberationMono},
    {"\xE9\xBB\x91\xE4\xBD\x93", kZenHei},  // black body
    {"SimHei", kZenHei},
    {"\xE5\xBE\xAE\xE8\xBD\xAF\xE9\x9B\x85\xE9\xBB\x91", kZenHei},  // elegant black
    {"Microsoft YaHei", kZenHei},
    {"\xE5\xAE\x8B\xE4\xBD\x93", kZenHei},  // Song
    {"SimSun", kZenHei},
    {"\xE6\x96\xB0\xE5\xAE\x8B\xE4\xBD\x93", kZenHei},  // new Song
    {"NSimSun", kZenHei},
    {"\xE6\xA5\xB7\xE4\xBD\x93", kZenHei},  // regular script
    {"KaiTi", kZenHei},
    {"\xE4\xBB\xBF\xE5\xAE\x8B", kZenHei},  // imitation Song
    {"FangSong", kZenHei},
}};

// Face names compare without regard to ASCII case, as the designing
// platform's font mapper does.
bool sameFaceName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::atomic<uint64_t> lookupCount{0};

bool initFontconfig() {
    static const bool ready = FcInit() == FcTrue;
    return ready;
}

// How many faces and resolved names stay cached: enough for every face a set
// of labels uses, small enough that the open files stay few.
constexpr size_t kFaceCacheSize = 32;
constexpr size_t kResolvedCacheSize = 64;

using FaceKey = std::pair<std::string, int>;
using ResolvedKey = std::tuple<std::string, bool, bool>;

struct FaceKeyHash {
    size_t operator()(const FaceKey& key) const {
        return std::hash<std::string>{}(key.first) ^ (static_cast<size_t>(key.second) * 0x9E3779B97F4A7C15u);
    }
};
struct ResolvedKeyHash {
    size_t operator()(const ResolvedKey& key) const {
        const auto& [name, bold, italic] = key;
        return std::hash<std::string>{}(name) ^ (bold ? 0x9E3779B97F4A7C15u : 0) ^ (italic ? 0xC2B2AE3D27D4EB4Fu : 0);
    }
};

// Bounded by count, not bytes. Fonts guard their own state, so they are
// handed out as they are; and since a lookup makes no output, these caches
// keep working while the output caches are switched off. A value evicted
// while some font still holds it lives on with that font.
template <typename Key, typename Value, typename Hash>
using CountedCache = BoundedCache<Key, Value, Hash, std::equal_to<Key>, Value>;
constexpr size_t kUncountedBytes = std::numeric_limits<size_t>::max();

struct FontCaches {
    // Held while a face is looked up and opened, so that a file is opened once.
    std::mutex openMutex;
    CountedCache<FaceKey, FontFace, FaceKeyHash> faces{kUncountedBytes, kFaceCacheSize, CacheSwitch::Ignores};
    CountedCache<ResolvedKey, ResolvedFont, ResolvedKeyHash> resolved{kUncountedBytes, kResolvedCacheSize,
                                                                      CacheSwitch::Ignores};
};

FontCaches& caches() {
    static FontCaches instance;
    return instance;
}

std::shared_ptr<FontFace> openCachedFace(FontCaches& c, const std::string& file, int index) {
    FaceKey key{file, index};
    std::lock_guard lock(c.openMutex);
    if (auto face = c.faces.find(key)) return face;
    return c.faces.store(std::move(key), FontFace::open(file, index), 0);
}

std::shared_ptr<FontFace> openPatternFace(FontCaches& c, FcPattern* font) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch || file == nullptr) return nullptr;
    int index = 0;
    FcPatternGetInteger(font, FC_INDEX, 0, &index);
    return openCachedFace(c, reinterpret_cast<const char*>(file), index);
}

ResolvedFont::PatternPtr makePattern(const std::string& family, bool bold, bool italic) {
    ResolvedFont::PatternPtr pattern(FcPatternCreate());
    if (!pattern) return nullptr;
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    return pattern;
}

}  // namespace

std::string aliasedFamily(std::string_view faceNameUtf8) {
    for (const FaceAlias& alias : kFaceAliases) {
        if (sameFaceName(faceNameUtf8, alias.name)) return alias.family;
    }
    return std::string(faceNameUtf8);
}

uint64_t fontLookupCount() { return lookupCount.load(); }

ResolvedFont::ResolvedFont(std::shared_ptr<FontFace> primaryFace, bool boldWanted, bool italicWanted,
                           PatternPtr sortPattern)
    : primary(std::move(primaryFace)), bold(boldWanted), italic(italicWanted), sortPattern_(std::move(sortPattern)) {}

GlyphStyle ResolvedFont::styleFor(const FontFace& face) const {
    return GlyphStyle{bold && !face.isBold(), italic && !face.isItalic()};
}

GlyphRef ResolvedFont::glyphFor(char32_t codePoint) {
    if (primary) {
        if (const unsigned index = primary->glyphIndex(codePoint); index != 0) {
            return GlyphRef{primary.get(), index, styleFor(*primary)};
        }
    }
    std::lock_guard lock(mutex_);
    if (!fallbacks_) {
        fallbacks_ = std::make_unique<std::array<Fallback, kFallbackSlots>>();
    }
    Fallback& slot = (*fallbacks_)[(codePoint * 0x9E3779B1u >> 20) % kFallbackSlots];
    if (slot.codePoint != codePoint) slot = findFallback(codePoint);
    if (slot.face >= 0) {
        FontFace& face = *fallbackFaces_[static_cast<size_t>(slot.face)];
        return GlyphRef{&face, slot.index, styleFor(face)};
    }
    // Nobody has it: the primary face's missing-glyph shape.
    if (primary) return GlyphRef{primary.get(), 0, styleFor(*primary)};
    return GlyphRef{};
}

// Caller holds mutex_.
void ResolvedFont::sortFallbacks() {
    sortedTried_ = true;
    ++lookupCount;
    FcResult result = FcResultNoMatch;
    sorted_.reset(FcFontSort(nullptr, sortPattern_.get(), FcTrue, nullptr, &result));
    if (!sorted_) return;
    const auto count = static_cast<size_t>(std::max(sorted_->nfont, 0));
    charsets_.assign(count, nullptr);
    sortedFaces_.assign(count, nullptr);
    sortedOpened_.assign(count, false);
    for (size_t i = 0; i < count; ++i) {
        FcCharSet* charset = nullptr;
        if (FcPatternGetCharSet(sorted_->fonts[i], FC_CHARSET, 0, &charset) != FcResultMatch) continue;
        charsets_[i] = charset;
        FcChar32 map[FC_CHARSET_MAP_SIZE];
        FcChar32 next = 0;
        for (FcChar32 base = FcCharSetFirstPage(charset, map, &next); base != FC_CHARSET_DONE;
             base = FcCharSetNextPage(charset, map, &next)) {
            pages_.push_back(PageFace{base >> 8, static_cast<uint32_t>(i)});
        }
    }
    std::sort(pages_.begin(), pages_.end());
}

// Caller holds mutex_.
ResolvedFont::Fallback ResolvedFont::findFallback(char32_t codePoint) {
    Fallback none{codePoint, -1, 0};
    if (!sortPattern_ || !initFontconfig()) return none;
    if (!sortedTried_) sortFallbacks();
    if (!sorted_) return none;
    const uint32_t page = static_cast<uint32_t>(codePoint) >> 8;
    auto candidate = std::lower_bound(pages_.begin(), pages_.end(), PageFace{page, 0});
    if (candidate == pages_.end() || candidate->page != page) return none;
    ++lookupCount;
    for (; candidate != pages_.end() && candidate->page == page; ++candidate) {
        const size_t i = candidate->face;
        if (!FcCharSetHasChar(charsets_[i], codePoint)) continue;
        if (!sortedOpened_[i]) {
            sortedOpened_[i] = true;
            sortedFaces_[i] = openPatternFace(caches(), sorted_->fonts[i]);
        }
        const std::shared_ptr<FontFace>& face = sortedFaces_[i];
        if (!face || face == primary) continue;
        if (const unsigned index = face->glyphIndex(codePoint); index != 0) {
            auto known = std::find(fallbackFaces_.begin(), fallbackFaces_.end(), face);
            if (known == fallbackFaces_.end()) known = fallbackFaces_.insert(known, face);
            return Fallback{codePoint, static_cast<int32_t>(known - fallbackFaces_.begin()), index};
        }
    }
    return none;
}

std::shared_ptr<ResolvedFont> resolveFont(const std::string& faceName, bool bold, bool italic) {
    FontCaches& c = caches();
    ResolvedKey key{faceName, bold, italic};
    if (auto found = c.resolved.find(key)) return found;
    // Resolve without holding the lock: the lookup takes milliseconds. Two
    // threads resolving the same name at once both do the work; one result
    // stays in the cache.
    std::shared_ptr<FontFace> primary;
    ResolvedFont::PatternPtr pattern;
    if (initFontconfig()) {
        pattern = makePattern(aliasedFamily(faceName), bold, italic);
        if (pattern) {
            ++lookupCount;
            FcResult result = FcResultNoMatch;
            ResolvedFont::PatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
            if (match) primary = openPatternFace(c, match.get());
        }
    }
    return c.resolved.store(std::move(key),
                            std::make_shared<ResolvedFont>(std::move(primary), bold, italic, std::move(pattern)), 0);
}

}  // namespace mk::platform
