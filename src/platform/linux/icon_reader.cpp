#include "platform/linux/icon_reader.h"

#include "portable/bmp_reader.h"
#include "portable/picture_header.h"
#include "platform/linux/png_decoder.h"

namespace mk::platform {
namespace {

bool hasAlpha(const DibLayout& layout, std::span<const uint8_t> bits) {
    if (layout.bitCount != 32) return false;
    for (size_t at = 3; at < layout.pixelBytes; at += 4) {
        if (bits[at] != 0) return true;
    }
    return false;
}

// An icon's bitmap: the colour rows, then as many rows of a 1-bit AND mask,
// whose set bits leave the background showing; a 32-bit image with any
// alpha uses its alpha channel instead.
std::optional<std::vector<Picture>> decodeIconBitmap(std::span<const uint8_t> image, const SamplingPlan& plan) {
    const auto layout = iconBitmapLayout(image);
    if (!layout || image.size() < layout->descriptionBytes()) return std::nullopt;
    const auto bits = image.subspan(static_cast<size_t>(layout->descriptionBytes()));
    if (bits.size() < layout->pixelBytes) return std::nullopt;
    const int width = layout->width;
    if (hasAlpha(*layout, bits)) {
        const size_t stride = static_cast<size_t>(dibRowBytes(width, 32));
        return decodeDib(*layout, image, bits, plan, [&](int stored, uint8_t* row) {
            for (int x = 0; x < width; ++x) row[x * 4 + 3] = binaryAlpha(bits[stored * stride + size_t(x) * 4 + 3]);
        });
    }
    const uint64_t maskBytes = dibRowBytes(width, 1) * static_cast<uint64_t>(layout->rows());
    if (bits.size() - layout->pixelBytes < maskBytes) return std::nullopt;
    const auto mask = bits.subspan(static_cast<size_t>(layout->pixelBytes));
    const size_t stride = static_cast<size_t>(dibRowBytes(width, 1));
    return decodeDib(*layout, image, bits, plan, [&](int stored, uint8_t* row) {
        for (int x = 0; x < width; ++x) {
            if ((mask[stored * stride + x / 8] >> (7 - x % 8)) & 1) row[x * 4 + 3] = 0;
        }
    });
}

}  // namespace

std::optional<std::vector<Picture>> decodeIcon(std::span<const uint8_t> bytes, const SamplingPlan& plan) {
    if (!looksLikeIcon(bytes)) return std::nullopt;
    const auto directory = readIconDirectory(bytes);
    if (!directory) return std::nullopt;
    const IconEntry& entry = drawnIconEntry(*directory);
    const auto image = iconImage(bytes, entry);
    if (image.empty()) return std::nullopt;
    if (looksLikePng(image)) return decodePng(image, plan);
    return decodeIconBitmap(image, plan);
}

}  // namespace mk::platform
