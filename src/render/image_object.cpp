#include "render/image_object.h"

#include <algorithm>
#include <bit>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <span>

#include "portable/bmp_reader.h"
#include "portable/bounded_cache.h"
#include "portable/int_convert.h"
#include "portable/picture_header.h"
#include "portable/pixel_copy.h"
#include "platform/picture_loader.h"
#include "render/units.h"

namespace mk {
namespace {

using Geometry = CallPictures::Geometry;

constexpr size_t kBitmapFileHeaderBytes = 14;
constexpr size_t kSmallestBitmapFile = kBitmapFileHeaderBytes + 40;  // file header and a 40-byte info header
constexpr size_t kPixelOffsetAt = 10;

// Geometry: whether the size is fixed, then the fixed size in dots or the
// two scales' bits, the position in dots and the surface's size.
enum GeometryAt { kFixed, kWidthRule, kHeightRule, kX, kY, kSurfaceWidth, kSurfaceHeight };

// The per-axis scales win over the uniform one; a scale of 0 or below (what
// a file without the element loads) means the natural size.
Geometry geometryOf(const LabelObject& object, int dpi, int surfaceWidth, int surfaceHeight) {
    Geometry geometry{};
    if (object.imagefixedsize) {
        geometry[kFixed] = 1;
        geometry[kWidthRule] = mmToDots(object.imagefixedwidth, dpi);
        geometry[kHeightRule] = mmToDots(object.imagefixedheight, dpi);
    } else {
        float scaleX = object.hscale > 0.01f ? object.hscale : object.scale;
        float scaleY = object.vscale > 0.01f ? object.vscale : object.scale;
        if (scaleX < 0.01f) scaleX = 1.0f;
        if (scaleY < 0.01f) scaleY = 1.0f;
        geometry[kWidthRule] = std::bit_cast<uint32_t>(scaleX);
        geometry[kHeightRule] = std::bit_cast<uint32_t>(scaleY);
    }
    geometry[kX] = mmToDots(object.Xposition, dpi);
    geometry[kY] = mmToDots(object.Yposition, dpi);
    geometry[kSurfaceWidth] = surfaceWidth;
    geometry[kSurfaceHeight] = surfaceHeight;
    return geometry;
}

struct DestinationSize {
    int width = 0;
    int height = 0;
};

DestinationSize destinationSize(const Geometry& geometry, platform::PixelSize source) {
    if (geometry[kFixed] != 0) {
        return {static_cast<int>(geometry[kWidthRule]), static_cast<int>(geometry[kHeightRule])};
    }
    const auto scale = [](int64_t bits) { return std::bit_cast<float>(static_cast<uint32_t>(bits)); };
    // Sizes beyond the int range saturate (the blit clips them); a NaN scale,
    // which a label file can hold, gives 0 and draws nothing.
    return {platform::roundToInt(static_cast<float>(source.width) * scale(geometry[kWidthRule])),
            platform::roundToInt(static_cast<float>(source.height) * scale(geometry[kHeightRule]))};
}

// What a drawing takes of the picture, and where it puts it: the blit's own
// nearest-neighbour choice of source columns and rows, for the part of the
// destination on the surface. Nothing when none of it is.
struct Placement {
    platform::PictureSampling sampling;
    PlacedPicture drawn;
};

std::optional<Placement> placementOf(const Geometry& geometry, platform::PixelSize source) {
    const DestinationSize size = destinationSize(geometry, source);
    if (size.width == 0 || size.height == 0) return std::nullopt;
    const platform::StretchAxis columns =
        platform::stretchAxis(static_cast<int>(geometry[kX]), size.width, 0, static_cast<int>(source.width),
                              static_cast<int>(geometry[kSurfaceWidth]));
    const platform::StretchAxis rows =
        platform::stretchAxis(static_cast<int>(geometry[kY]), size.height, 0, static_cast<int>(source.height),
                              static_cast<int>(geometry[kSurfaceHeight]));
    if (columns.source.empty() || rows.source.empty()) return std::nullopt;
    Placement placement;
    placement.sampling.columns.assign(columns.source.begin(), columns.source.end());
    placement.sampling.rows.assign(rows.source.begin(), rows.source.end());
    auto& shown = placement.sampling.rows;
    std::sort(shown.begin(), shown.end());
    shown.erase(std::unique(shown.begin(), shown.end()), shown.end());
    placement.drawn.left = static_cast<int>(columns.first);
    placement.drawn.top = static_cast<int>(rows.first);
    placement.drawn.lines.reserve(rows.source.size());
    for (const int64_t row : rows.source) {
        placement.drawn.lines.push_back(
            static_cast<int32_t>(std::ranges::lower_bound(placement.sampling.rows, row) - placement.sampling.rows.begin()));
    }
    return placement;
}

bool isBitmapFile(std::span<const uint8_t> bytes) {
    return bytes.size() >= kBitmapFileHeaderBytes && bytes[0] == 'B' && bytes[1] == 'M';
}

struct BitmapFile {
    platform::DibLayout layout;
    std::span<const uint8_t> description;  // info header with its masks and colour table
    std::span<const uint8_t> bits;
};

// A bitmap file is drawn only when its header, its masks or colour table and
// the pixel data it describes all lie within the bytes, in that order.
std::optional<BitmapFile> checkBitmapFile(std::span<const uint8_t> bytes) {
    if (bytes.size() < kSmallestBitmapFile) return std::nullopt;
    uint64_t pixelOffset = platform::readLe32(bytes, kPixelOffsetAt);
    auto layout = platform::readDibLayout(bytes.subspan(kBitmapFileHeaderBytes));
    if (!layout) return std::nullopt;
    if (kBitmapFileHeaderBytes + layout->descriptionBytes() > pixelOffset || pixelOffset > bytes.size() ||
        layout->pixelBytes > bytes.size() - pixelOffset) {
        return std::nullopt;
    }
    return BitmapFile{*layout, bytes.subspan(kBitmapFileHeaderBytes, layout->descriptionBytes()),
                      bytes.subspan(pixelOffset, layout->pixelBytes)};
}

// What the headers declare, by the reader of the decoder that draws the
// bytes: a bitmap file by its own header, anything else by the picture
// loader's formats.
std::optional<platform::PictureHeader> headerOf(std::span<const uint8_t> bytes, int context) {
    if (!isBitmapFile(bytes)) return platform::readPictureHeader(bytes, context);
    const auto file = checkBitmapFile(bytes);
    if (!file) return std::nullopt;
    const platform::PixelSize size{file->layout.width, file->layout.rows()};
    return platform::PictureHeader{size, size};
}

std::optional<std::vector<platform::Picture>> decodeImage(std::span<const uint8_t> bytes,
                                                          const platform::SamplingPlan& plan) {
    if (!isBitmapFile(bytes)) return platform::loadPicture(bytes, plan);
    auto file = checkBitmapFile(bytes);
    if (!file) return std::nullopt;
    return platform::decodeDib(file->layout, file->description, file->bits, plan);
}

// A drawn picture depends on its bytes, on what the system lets decide its
// size on the calling thread (for what the picture loader decodes), and on
// where and how large it is drawn.
struct PictureKey {
    std::vector<uint8_t, platform::MappedAllocator<uint8_t>> bytes;  // may be large: mapped, so it goes back
    int context = 0;
    Geometry geometry{};
};

struct PictureKeyView {
    std::span<const uint8_t> bytes;
    int context = 0;
    Geometry geometry{};
};

PictureKeyView viewOf(const PictureKey& key) { return {key.bytes, key.context, key.geometry}; }
PictureKeyView viewOf(const PictureKeyView& key) { return key; }

// Picture bytes are hashed by their length and a spread of samples: hashing
// every byte would cost about as much as comparing them, which a hit does
// anyway. A lookup needs no copy of the bytes.
uint64_t sampledHash(std::span<const uint8_t> bytes, uint64_t seed) {
    constexpr size_t kSamples = 64;
    uint64_t h = (bytes.size() ^ seed) * 0x9E3779B97F4A7C15ull;
    const size_t step = std::max<size_t>(1, bytes.size() / kSamples);
    for (size_t i = 0; i < bytes.size(); i += step) h = (h ^ bytes[i]) * 0x100000001B3ull;
    if (!bytes.empty()) h = (h ^ bytes.back()) * 0x100000001B3ull;
    return h;
}

size_t hashOf(const PictureKeyView& key) {
    uint64_t h = sampledHash(key.bytes, static_cast<uint64_t>(static_cast<uint32_t>(key.context)) << 40);
    for (const int64_t value : key.geometry) h = (h ^ static_cast<uint64_t>(value)) * 0x100000001B3ull;
    return static_cast<size_t>(h);
}

bool sameKey(const PictureKeyView& x, const PictureKeyView& y) {
    return x.context == y.context && x.geometry == y.geometry && std::ranges::equal(x.bytes, y.bytes);
}

struct PictureKeyHash {
    using is_transparent = void;
    template <typename K>
    size_t operator()(const K& key) const {
        return hashOf(viewOf(key));
    }
};

struct PictureKeyEqual {
    using is_transparent = void;
    template <typename A, typename B>
    bool operator()(const A& a, const B& b) const {
        return sameKey(viewOf(a), viewOf(b));
    }
};

// The latest pictures as drawn, an undecodable one as a picture of no
// pixels: a label printed again and again draws the same ones each time.
platform::BoundedCache<PictureKey, PlacedPicture, PictureKeyHash, PictureKeyEqual> pictureCache(size_t{16} << 20, 64);

size_t cachedBytes(std::span<const uint8_t> bytes, const PlacedPicture& picture) {
    return bytes.size() + picture.pixels.pixels.size() + picture.lines.size() * sizeof(int32_t) +
           sizeof(PlacedPicture) + 64;
}

}  // namespace

size_t CallPictures::BytesHash::operator()(std::string_view bytes) const {
    return static_cast<size_t>(sampledHash({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, 0));
}

size_t CallPictures::KeyHash::operator()(const Key& key) const {
    return hashOf({key.bytes, key.context, key.geometry});
}

bool CallPictures::KeyEqual::operator()(const Key& a, const Key& b) const {
    return sameKey({a.bytes, a.context, a.geometry}, {b.bytes, b.context, b.geometry});
}

bool CallPictures::charge(int64_t pixels) {
    if (pixels > kMaxDecodedPixelsPerCall - pixels_) {
        failed_ = true;
        return false;
    }
    pixels_ += pixels;
    return true;
}

// One decoding of the bytes serves every drawing of them the call has not
// placed yet.
void CallPictures::decodeTogether(std::span<const uint8_t> bytes, int context, const std::vector<Geometry>& geometries) {
    const auto nothing = std::make_shared<const PlacedPicture>();
    const auto place = [&](const Geometry& geometry, std::shared_ptr<const PlacedPicture> picture) {
        const size_t size = picture->pixels.pixels.size();
        if (placed_.emplace(Key{bytes, context, geometry}, std::move(picture)).second) keptBytes_ += size;
    };
    const auto header = headerOf(bytes, context);
    if (!header || !platform::withinPictureLimit(header->size) || !platform::withinPictureLimit(header->extent)) {
        for (const Geometry& geometry : geometries) place(geometry, nothing);
        return;
    }
    // The first drawing is the one asked for; the others join while what the
    // call keeps for them fits.
    std::vector<Geometry> shown;
    size_t joining = keptBytes_;
    for (const Geometry& geometry : geometries) {
        // The others ask again when their objects are drawn.
        if (!shown.empty() && joining >= kKeptDrawnPictureBytes) break;
        const auto placement = placementOf(geometry, header->size);
        if (!placement) {
            place(geometry, nothing);
            continue;
        }
        const size_t size = placement->sampling.columns.size() * placement->sampling.rows.size() * 4;
        if (!shown.empty() && size > kKeptDrawnPictureBytes - std::min(joining, kKeptDrawnPictureBytes)) continue;
        if (!shown.empty()) joining += size;
        shown.push_back(geometry);
    }
    // Counted whether or not the cache holds the drawings, so that what a
    // call draws does not depend on what earlier calls left there.
    const int64_t declared = header->extent.area();
    if (shown.empty() || !charge(declared)) return;
    std::vector<Geometry> missing;
    for (const Geometry& geometry : shown) {
        if (auto cached = pictureCache.find(PictureKeyView{bytes, context, geometry})) {
            place(geometry, std::move(cached));
        } else {
            missing.push_back(geometry);
        }
    }
    if (missing.empty()) return;

    std::vector<PlacedPicture> drawn(missing.size());
    const platform::SamplingPlan plan =
        [&](platform::PixelSize size) -> std::optional<std::vector<platform::PictureSampling>> {
        // A loader that decodes more than the headers declared pays for it.
        if (size.area() > declared && !charge(size.area() - declared)) return std::nullopt;
        std::vector<platform::PictureSampling> samplings(missing.size());
        for (size_t i = 0; i < missing.size(); ++i) {
            if (auto placement = placementOf(missing[i], size)) {
                samplings[i] = std::move(placement->sampling);
                drawn[i] = std::move(placement->drawn);
            }
        }
        return samplings;
    };
    auto decoded = decodeImage(bytes, plan);
    if (failed_) return;
    for (size_t i = 0; i < missing.size(); ++i) {
        auto picture = std::make_shared<PlacedPicture>();
        if (decoded && decoded->size() == missing.size()) {
            *picture = std::move(drawn[i]);
            picture->pixels = std::move((*decoded)[i]);
        }
        const size_t cost = cachedBytes(bytes, *picture);
        place(missing[i], pictureCache.store(PictureKey{{bytes.begin(), bytes.end()}, context, missing[i]},
                                             std::move(picture), cost));
    }
}

std::shared_ptr<const PlacedPicture> CallPictures::pictureFor(const LabelObject& object, int dpi, int surfaceWidth,
                                                              int surfaceHeight) {
    const std::span<const uint8_t> bytes = object.imagedata;
    // A bitmap file is read by its own header, whatever the thread.
    const int context = isBitmapFile(bytes) ? 0 : platform::pictureLoaderContext();
    const Geometry geometry = geometryOf(object, dpi, surfaceWidth, surfaceHeight);
    if (const auto it = placed_.find(Key{bytes, context, geometry}); it != placed_.end()) return it->second;
    if (failed_) return std::make_shared<const PlacedPicture>();
    // The label's other drawings of the same bytes come out of the same
    // decoding; the objects are sorted by their bytes once, in time linear
    // in the bytes.
    if (!indexed_) {
        indexed_ = true;
        for (const LabelObject& other : objects_) {
            if (!other.enable || other.imagedata.empty() || objectKindOf(other.ObjectName) != ObjectKind::Image) continue;
            const std::string_view key(reinterpret_cast<const char*>(other.imagedata.data()), other.imagedata.size());
            byBytes_[key].push_back(&other);
        }
    }
    std::vector<Geometry> geometries{geometry};
    std::set<Geometry> listed{geometry};
    const auto same = byBytes_.find(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (same != byBytes_.end()) {
        for (const LabelObject* other : same->second) {
            const Geometry sibling = geometryOf(*other, dpi, surfaceWidth, surfaceHeight);
            if (!placed_.contains(Key{bytes, context, sibling}) && listed.insert(sibling).second) {
                geometries.push_back(sibling);
            }
        }
    }
    decodeTogether(bytes, context, geometries);
    const auto it = placed_.find(Key{bytes, context, geometry});
    if (it == placed_.end()) return std::make_shared<const PlacedPicture>();
    auto picture = it->second;
    // A large picture goes with its object; another drawing it the same way
    // decodes it again.
    if (keptBytes_ > kKeptDrawnPictureBytes) {
        keptBytes_ -= picture->pixels.pixels.size();
        placed_.erase(it);
    }
    return picture;
}

void drawImageObject(platform::DeviceContext& dc, const LabelObject& object, int dpi, CallPictures& pictures) {
    if (object.imagedata.empty()) return;
    try {
        const auto placed = pictures.pictureFor(object, dpi, dc.width(), dc.height());
        const platform::Picture& picture = placed->pixels;
        if (picture.pixels.empty()) return;
        const platform::PixelBlock block{picture.pixels.data(), picture.width, picture.height, picture.width * 4,
                                         true};
        const auto& lines = placed->lines;
        bool straight = lines.size() == static_cast<size_t>(picture.height);
        for (size_t i = 0; straight && i < lines.size(); ++i) straight = lines[i] == static_cast<int32_t>(i);
        if (straight) {
            dc.setPixels(placed->left, placed->top, block);
            return;
        }
        // Enlarged or mirrored upright: a row of pixels shows on several
        // lines. Across, the row is drawn as it was sampled, so each line is
        // a plain copy of its row.
        const size_t rowBytes = static_cast<size_t>(picture.width) * 4;
        for (size_t i = 0; i < lines.size(); ++i) {
            const platform::PixelBlock row{picture.pixels.data() + static_cast<size_t>(lines[i]) * rowBytes,
                                           picture.width, 1, picture.width * 4, true};
            dc.setPixels(placed->left, placed->top + static_cast<int>(i), row);
        }
    } catch (const std::bad_alloc&) {
        pictures.fail();
    }
}

}  // namespace mk
