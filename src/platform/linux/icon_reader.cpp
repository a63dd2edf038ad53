#include "platform/linux/icon_reader.h"

#include "portable/bmp_reader.h"
#include "platform/linux/png_decoder.h"

namespace mk::platform {
namespace {

constexpr size_t kDirectoryBytes = 6;
constexpr size_t kEntryBytes = 16;

struct IconEntry {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    uint32_t size = 0;
    uint32_t offset = 0;

    int64_t area() const { return int64_t{width} * height; }
};

IconEntry readEntry(std::span<const uint8_t> bytes, size_t at) {
    IconEntry entry;
    entry.width = bytes[at] == 0 ? 256 : bytes[at];  // 0 stands for 256
    entry.height = bytes[at + 1] == 0 ? 256 : bytes[at + 1];
    entry.bitCount = readLe16(bytes, at + 6);
    entry.size = readLe32(bytes, at + 8);
    entry.offset = readLe32(bytes, at + 12);
    return entry;
}

std::optional<IconEntry> largestEntry(std::span<const uint8_t> bytes) {
    size_t count = readLe16(bytes, 4);
    if (count == 0 || bytes.size() < kDirectoryBytes + count * kEntryBytes) return std::nullopt;
    IconEntry best = readEntry(bytes, kDirectoryBytes);
    for (size_t i = 1; i < count; ++i) {
        IconEntry entry = readEntry(bytes, kDirectoryBytes + i * kEntryBytes);
        if (entry.area() > best.area() || (entry.area() == best.area() && entry.bitCount > best.bitCount)) {
            best = entry;
        }
    }
    return best;
}

bool hasAlpha(const DibLayout& layout, std::span<const uint8_t> bits) {
    if (layout.bitCount != 32) return false;
    for (size_t at = 3; at < layout.pixelBytes; at += 4) {
        if (bits[at] != 0) return true;
    }
    return false;
}

void applyAlphaChannel(const DibLayout& layout, std::span<const uint8_t> bits, Picture& picture) {
    size_t stride = static_cast<size_t>(dibRowBytes(layout.width, 32));
    for (int stored = 0; stored < picture.height; ++stored) {
        int y = dibPictureRow(layout, stored);
        for (int x = 0; x < picture.width; ++x) {
            picture.pixel(x, y)[3] = binaryAlpha(bits[stored * stride + static_cast<size_t>(x) * 4 + 3]);
        }
    }
}

// A set bit in the AND mask leaves the background showing.
void applyAndMask(const DibLayout& layout, std::span<const uint8_t> mask, Picture& picture) {
    size_t stride = static_cast<size_t>(dibRowBytes(layout.width, 1));
    for (int stored = 0; stored < picture.height; ++stored) {
        int y = dibPictureRow(layout, stored);
        for (int x = 0; x < picture.width; ++x) {
            if ((mask[stored * stride + x / 8] >> (7 - x % 8)) & 1) picture.pixel(x, y)[3] = 0;
        }
    }
}

// An icon's bitmap declares twice its height: the colour rows, then as many
// rows of a 1-bit AND mask.
std::optional<Picture> decodeIconBitmap(std::span<const uint8_t> image) {
    auto layout = readDibLayout(image);
    if (!layout || (layout->compression != kDibRgb && layout->compression != kDibBitFields)) return std::nullopt;
    layout->height /= 2;
    if (layout->height == 0) return std::nullopt;
    layout->pixelBytes = dibRowBytes(layout->width, layout->bitCount) * static_cast<uint64_t>(layout->rows());
    if (image.size() < layout->descriptionBytes()) return std::nullopt;
    auto bits = image.subspan(static_cast<size_t>(layout->descriptionBytes()));
    auto picture = decodeDib(*layout, image, bits);
    if (!picture) return std::nullopt;

    if (hasAlpha(*layout, bits)) {
        applyAlphaChannel(*layout, bits, *picture);
        return picture;
    }
    uint64_t maskBytes = dibRowBytes(layout->width, 1) * static_cast<uint64_t>(layout->rows());
    if (bits.size() - layout->pixelBytes < maskBytes) return std::nullopt;
    applyAndMask(*layout, bits.subspan(static_cast<size_t>(layout->pixelBytes)), *picture);
    return picture;
}

}  // namespace

std::optional<Picture> decodeIcon(std::span<const uint8_t> bytes) {
    if (!looksLikeIcon(bytes)) return std::nullopt;
    auto entry = largestEntry(bytes);
    if (!entry || entry->offset > bytes.size() || bytes.size() - entry->offset < entry->size) return std::nullopt;
    auto image = bytes.subspan(entry->offset, entry->size);
    if (looksLikePng(image)) return decodePng(image);
    return decodeIconBitmap(image);
}

}  // namespace mk::platform
