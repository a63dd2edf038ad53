#include "render/image_object.h"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <span>

#include "portable/bmp_reader.h"
#include "portable/bounded_cache.h"
#include "portable/int_convert.h"
#include "portable/picture_header.h"
#include "platform/picture_loader.h"
#include "render/units.h"

namespace mk {
namespace {

constexpr size_t kBitmapFileHeaderBytes = 14;
constexpr size_t kSmallestBitmapFile = kBitmapFileHeaderBytes + 40;  // file header and a 40-byte info header
constexpr size_t kPixelOffsetAt = 10;

struct DestinationSize {
    int width = 0;
    int height = 0;
};

// The per-axis scales win over the uniform one; a scale of 0 or below (what
// a file without the element loads) means the natural size.
DestinationSize destinationSize(const LabelObject& object, int dpi, int sourceWidth, int sourceHeight) {
    if (object.imagefixedsize) {
        return {mmToDots(object.imagefixedwidth, dpi), mmToDots(object.imagefixedheight, dpi)};
    }
    float scaleX = object.hscale > 0.01f ? object.hscale : object.scale;
    float scaleY = object.vscale > 0.01f ? object.vscale : object.scale;
    if (scaleX < 0.01f) scaleX = 1.0f;
    if (scaleY < 0.01f) scaleY = 1.0f;
    // Sizes beyond the int range saturate (the blit clips them); a NaN scale,
    // which a label file can hold, gives 0 and draws nothing.
    return {platform::roundToInt(static_cast<float>(sourceWidth) * scaleX),
            platform::roundToInt(static_cast<float>(sourceHeight) * scaleY)};
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

// Decodes the object's bytes: a bitmap file by its own header, anything else
// by the picture loader. The source size is the picture's size in pixels.
std::optional<platform::Picture> decodeImage(std::span<const uint8_t> bytes) {
    if (!isBitmapFile(bytes)) return platform::loadPicture(bytes);
    auto file = checkBitmapFile(bytes);
    if (!file) return std::nullopt;
    return platform::decodeDib(file->layout, file->description, file->bits);
}

// A picture depends on its bytes and, for what the picture loader decodes,
// on what the system lets decide its size on the calling thread.
struct PictureKey {
    std::vector<uint8_t> bytes;
    int context = 0;
};

struct PictureKeyView {
    std::span<const uint8_t> bytes;
    int context = 0;
};

PictureKeyView viewOf(const PictureKey& key) { return {key.bytes, key.context}; }
PictureKeyView viewOf(const PictureKeyView& key) { return key; }

// Picture bytes are hashed by their length and a spread of samples: hashing
// every byte would cost about as much as comparing them, which a hit does
// anyway. A lookup needs no copy of the bytes.
size_t hashOf(PictureKeyView key) {
    const auto [bytes, context] = key;
    constexpr size_t kSamples = 64;
    const uint64_t mixed = bytes.size() ^ static_cast<uint64_t>(static_cast<uint32_t>(context)) << 40;
    uint64_t h = mixed * 0x9E3779B97F4A7C15ull;
    const size_t step = std::max<size_t>(1, bytes.size() / kSamples);
    for (size_t i = 0; i < bytes.size(); i += step) h = (h ^ bytes[i]) * 0x100000001B3ull;
    if (!bytes.empty()) h = (h ^ bytes.back()) * 0x100000001B3ull;
    return static_cast<size_t>(h);
}

bool sameKey(PictureKeyView x, PictureKeyView y) { return x.context == y.context && std::ranges::equal(x.bytes, y.bytes); }

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

// The pictures of the latest image bytes, an undecodable one as a picture of
// no pixels: a label printed again and again draws the same ones each time.
platform::BoundedCache<PictureKey, platform::Picture, PictureKeyHash, PictureKeyEqual> pictureCache(size_t{32} << 20,
                                                                                                    64);

// What the bytes' headers say the picture holds, before anything is decoded.
std::optional<int64_t> declaredPixels(std::span<const uint8_t> bytes, int context) {
    if (isBitmapFile(bytes)) {
        const auto file = checkBitmapFile(bytes);
        if (!file) return std::nullopt;
        return int64_t{file->layout.width} * file->layout.rows();
    }
    const auto size = platform::declaredPixelSize(bytes, context);
    if (!size) return std::nullopt;
    return size->area();
}

std::shared_ptr<const platform::Picture> decodedPicture(const PictureKeyView& key) {
    if (auto cached = pictureCache.find(key)) return cached;
    auto decoded = decodeImage(key.bytes);
    auto picture = std::make_shared<const platform::Picture>(decoded ? std::move(*decoded) : platform::Picture{});
    pictureCache.store(PictureKey{{key.bytes.begin(), key.bytes.end()}, key.context}, picture,
                       key.bytes.size() + picture->pixels.size() + sizeof(platform::Picture) + 64);
    return picture;
}

}  // namespace

size_t CallPictures::KeyHash::operator()(const Key& key) const { return hashOf({key.bytes, key.context}); }

bool CallPictures::KeyEqual::operator()(const Key& a, const Key& b) const {
    return sameKey({a.bytes, a.context}, {b.bytes, b.context});
}

std::shared_ptr<const platform::Picture> CallPictures::pictureOf(std::span<const uint8_t> bytes) {
    // A bitmap file is read by its own header, whatever the thread.
    const Key key{bytes, isBitmapFile(bytes) ? 0 : platform::pictureLoaderContext()};
    if (const auto it = pictures_.find(key); it != pictures_.end()) return it->second;
    // Counted whether or not the cache holds the picture, so that what a call
    // draws does not depend on what earlier calls left there.
    const std::optional<int64_t> pixels = declaredPixels(bytes, key.context);
    std::shared_ptr<const platform::Picture> picture;
    if (pixels && *pixels > 0 && *pixels <= kMaxPicturesPixelsPerCall - pixels_) {
        pixels_ += *pixels;
        picture = decodedPicture({bytes, key.context});
    } else {
        picture = std::make_shared<const platform::Picture>();
    }
    pictures_.emplace(key, picture);
    return picture;
}

void drawImageObject(platform::DeviceContext& dc, const LabelObject& object, int dpi, CallPictures& pictures) {
    if (object.imagedata.empty()) return;
    int x = mmToDots(object.Xposition, dpi);
    int y = mmToDots(object.Yposition, dpi);
    try {
        const auto picture = pictures.pictureOf(object.imagedata);
        if (picture->pixels.empty()) return;
        DestinationSize size = destinationSize(object, dpi, picture->width, picture->height);
        const platform::PixelBlock block{picture->pixels.data(), picture->width, picture->height, picture->width * 4,
                                         true};
        dc.stretchPixels(x, y, size.width, size.height, 0, 0, picture->width, picture->height, block);
    } catch (const std::bad_alloc&) {
        // An image too large for the memory left is skipped like any undrawable one.
    }
}

void drawImageObject(platform::DeviceContext& dc, const LabelObject& object, int dpi) {
    CallPictures pictures;
    drawImageObject(dc, object, dpi, pictures);
}

}  // namespace mk
