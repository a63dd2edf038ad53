#include "render/image_object.h"

#include <new>
#include <optional>
#include <span>

#include "platform/bmp_reader.h"
#include "platform/int_convert.h"
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

}  // namespace

void drawImageObject(platform::DeviceContext& dc, const LabelObject& object, int dpi) {
    if (object.imagedata.empty()) return;
    int x = mmToDots(object.Xposition, dpi);
    int y = mmToDots(object.Yposition, dpi);
    try {
        auto picture = decodeImage(object.imagedata);
        if (!picture) return;
        DestinationSize size = destinationSize(object, dpi, picture->width, picture->height);
        const platform::PixelBlock block{picture->pixels.data(), picture->width, picture->height, picture->width * 4,
                                         true};
        dc.stretchPixels(x, y, size.width, size.height, 0, 0, picture->width, picture->height, block);
    } catch (const std::bad_alloc&) {
        // An image too large for the memory left is skipped like any undrawable one.
    }
}

}  // namespace mk
