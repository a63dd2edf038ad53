#include "platform/linux/font_resolver.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <list>
#include <map>
#include <tuple>
#include <utility>

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

// A small least-recently-used map. A value evicted while some font still
// holds it lives on with that font.
template <typename Key, typename Value>
class BoundedCache {
public:
    explicit BoundedCache(size_t capacity) : capacity_(capacity) {}

    std::shared_ptr<Value> find(const Key& key) {
        auto it = index_.find(key);
        if (it == index_.end()) return nullptr;
        order_.splice(order_.begin(), order_, it->second);
        return it->second->second;
    }

    void insert(const Key& key, std::shared_ptr<Value> value) {
        if (auto it = index_.find(key); it != index_.end()) {
            order_.erase(it->second);
            index_.erase(it);
        }
        order_.emplace_front(key, std::move(value));
        index_.emplace(key, order_.begin());
        while (order_.size() > capacity_) {
            index_.erase(order_.back().first);
            order_.pop_back();
        }
    }

private:
    using Entry = std::pair<Key, std::shared_ptr<Value>>;
    size_t capacity_;
    std::list<Entry> order_;
    std::map<Key, typename std::list<Entry>::iterator> index_;
};

// How many faces and resolved names stay cached: enough for every face a set
// of labels uses, small enough that the open files stay few.
constexpr size_t kFaceCacheSize = 32;
constexpr size_t kResolvedCacheSize = 64;
// Remembered code points per resolved font; beyond this the map starts over.
constexpr size_t kGlyphMemorySize = 8192;

using FaceKey = std::pair<std::string, int>;
using ResolvedKey = std::tuple<std::string, bool, bool>;

struct FontCaches {
    std::mutex mutex;
    BoundedCache<FaceKey, FontFace> faces{kFaceCacheSize};
    BoundedCache<ResolvedKey, ResolvedFont> resolved{kResolvedCacheSize};
};

FontCaches& caches() {
    static FontCaches instance;
    return instance;
}

// Caller holds the caches' lock.
std::shared_ptr<FontFace> openCachedFace(FontCaches& c, const std::string& file, int index) {
    FaceKey key{file, index};
    if (auto face = c.faces.find(key)) return face;
    std::shared_ptr<FontFace> face = FontFace::open(file, index);
    if (face) c.faces.insert(key, face);
    return face;
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
    auto it = glyphs_.find(codePoint);
    if (it == glyphs_.end()) {
        if (glyphs_.size() >= kGlyphMemorySize) glyphs_.clear();
        it = glyphs_.emplace(codePoint, findFallback(codePoint)).first;
    }
    const Fallback& found = it->second;
    if (found.face) return GlyphRef{found.face.get(), found.index, styleFor(*found.face)};
    // Nobody has it: the primary face's missing-glyph shape.
    if (primary) return GlyphRef{primary.get(), 0, styleFor(*primary)};
    return GlyphRef{};
}

// Caller holds mutex_.
ResolvedFont::Fallback ResolvedFont::findFallback(char32_t codePoint) {
    if (!sortPattern_ || !initFontconfig()) return {};
    if (!sortedTried_) {
        sortedTried_ = true;
        ++lookupCount;
        FcResult result = FcResultNoMatch;
        sorted_.reset(FcFontSort(nullptr, sortPattern_.get(), FcTrue, nullptr, &result));
    }
    if (!sorted_) return {};
    ++lookupCount;
    FontCaches& c = caches();
    for (int i = 0; i < sorted_->nfont; ++i) {
        FcPattern* font = sorted_->fonts[i];
        FcCharSet* charset = nullptr;
        if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch) continue;
        if (!FcCharSetHasChar(charset, codePoint)) continue;
        std::shared_ptr<FontFace> face;
        {
            std::lock_guard cacheLock(c.mutex);
            face = openPatternFace(c, font);
        }
        if (!face || face == primary) continue;
        if (const unsigned index = face->glyphIndex(codePoint); index != 0) {
            fallbackFaces_.insert(face);
            return Fallback{face, index};
        }
    }
    return {};
}

std::shared_ptr<ResolvedFont> resolveFont(const std::string& faceName, bool bold, bool italic) {
    FontCaches& c = caches();
    ResolvedKey key{faceName, bold, italic};
    {
        std::lock_guard lock(c.mutex);
        if (auto found = c.resolved.find(key)) return found;
    }
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
            if (match) {
                std::lock_guard lock(c.mutex);
                primary = openPatternFace(c, match.get());
            }
        }
    }
    auto resolved = std::make_shared<ResolvedFont>(std::move(primary), bold, italic, std::move(pattern));
    std::lock_guard lock(c.mutex);
    if (auto found = c.resolved.find(key)) return found;
    c.resolved.insert(key, resolved);
    return resolved;
}

}  // namespace mk::platform
