#include "portable/picture_header.h"

#include <algorithm>
#include <cstdlib>

#include "platform/picture.h"

namespace mk::platform {
namespace {

using Bytes = std::span<const uint8_t>;

uint32_t readBe16(Bytes bytes, size_t at) { return uint32_t{bytes[at]} << 8 | bytes[at + 1]; }
uint32_t readBe32(Bytes bytes, size_t at) { return readBe16(bytes, at) << 16 | readBe16(bytes, at + 2); }
int64_t readLeSigned32(Bytes bytes, size_t at) { return static_cast<int32_t>(readLe32(bytes, at)); }
int64_t readLeSigned16(Bytes bytes, size_t at) { return static_cast<int16_t>(readLe16(bytes, at)); }

bool startsWith(Bytes bytes, std::span<const uint8_t> signature) {
    return bytes.size() >= signature.size() && std::equal(signature.begin(), signature.end(), bytes.begin());
}

PixelSize largest(PixelSize a, PixelSize b) { return {std::max(a.width, b.width), std::max(a.height, b.height)}; }

constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::optional<PixelSize> pngSize(Bytes bytes) {
    // The signature, then the header chunk: length, "IHDR", width, height.
    if (bytes.size() < 24 || !startsWith(bytes, kPngSignature)) return std::nullopt;
    if (bytes[12] != 'I' || bytes[13] != 'H' || bytes[14] != 'D' || bytes[15] != 'R') return std::nullopt;
    return PixelSize{readBe32(bytes, 16), readBe32(bytes, 20)};
}

// Start-of-frame markers; 0xC4, 0xC8 and 0xCC share the range but are not.
bool isFrameMarker(uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

std::optional<PixelSize> jpegSize(Bytes bytes) {
    if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return std::nullopt;
    size_t at = 2;
    while (at + 4 <= bytes.size()) {
        if (bytes[at] != 0xFF) return std::nullopt;
        const uint8_t marker = bytes[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length follows
            at += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // end, or scan data before any frame
        const size_t length = readBe16(bytes, at + 2);
        if (isFrameMarker(marker)) {
            if (length < 7 || at + 9 > bytes.size()) return std::nullopt;
            return PixelSize{readBe16(bytes, at + 7), readBe16(bytes, at + 5)};
        }
        if (length < 2) return std::nullopt;
        at += 2 + length;
    }
    return std::nullopt;
}

// Skips a GIF colour table if the flags byte says one follows.
size_t afterColourTable(uint8_t flags, size_t at) { return flags & 0x80 ? at + 3 * (size_t{2} << (flags & 7)) : at; }

std::optional<PixelSize> gifSize(Bytes bytes) {
    if (bytes.size() < 13 || bytes[0] != 'G' || bytes[1] != 'I' || bytes[2] != 'F') return std::nullopt;
    const PixelSize screen{readLe16(bytes, 6), readLe16(bytes, 8)};
    size_t at = afterColourTable(bytes[10], 13);
    // Extensions up to the first image descriptor: a label byte, then blocks
    // of a length byte and that many bytes, up to a block of length 0.
    while (at < bytes.size() && bytes[at] == 0x21) {
        at += 2;
        while (at < bytes.size() && bytes[at] != 0) at += 1 + size_t{bytes[at]};
        ++at;
    }
    if (at + 10 > bytes.size() || bytes[at] != 0x2C) return std::nullopt;
    const PixelSize frame{int64_t{readLe16(bytes, at + 1)} + readLe16(bytes, at + 5),
                          int64_t{readLe16(bytes, at + 3)} + readLe16(bytes, at + 7)};
    return largest(screen, frame);
}

// An info header at the start of bytes: the 12-byte core header holds 16-bit
// sizes, every later one 32-bit sizes. Icons store twice the height.
std::optional<PixelSize> infoHeaderSize(Bytes bytes, bool icon) {
    if (bytes.size() < 12) return std::nullopt;
    const uint32_t headerSize = readLe32(bytes, 0);
    PixelSize size;
    if (headerSize == 12) {
        size = {readLe16(bytes, 4), readLe16(bytes, 6)};
    } else if (headerSize >= 40 && bytes.size() >= 16) {
        size = {std::abs(readLeSigned32(bytes, 4)), std::abs(readLeSigned32(bytes, 8))};
    } else {
        return std::nullopt;
    }
    if (icon) size.height = (size.height + 1) / 2;
    return size;
}

std::optional<PixelSize> bitmapFileSize(Bytes bytes) {
    if (bytes.size() < 14 || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
    return infoHeaderSize(bytes.subspan(14), false);
}

std::optional<PixelSize> iconSize(Bytes bytes) {
    constexpr size_t kEntryBytes = 16;
    if (bytes.size() < 6 || readLe16(bytes, 0) != 0 || (readLe16(bytes, 2) != 1 && readLe16(bytes, 2) != 2)) {
        return std::nullopt;
    }
    const size_t count = readLe16(bytes, 4);
    if (count == 0 || 6 + count * kEntryBytes > bytes.size()) return std::nullopt;
    PixelSize size;
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = 6 + i * kEntryBytes;
        // A size byte of 0 stands for 256.
        size = largest(size, {bytes[entry] == 0 ? 256 : bytes[entry], bytes[entry + 1] == 0 ? 256 : bytes[entry + 1]});
        const size_t offset = readLe32(bytes, entry + 12);
        if (offset >= bytes.size()) return std::nullopt;
        const Bytes image = bytes.subspan(offset);
        const std::optional<PixelSize> own = startsWith(image, kPngSignature) ? pngSize(image) : infoHeaderSize(image, true);
        if (!own) return std::nullopt;
        size = largest(size, *own);
    }
    return size;
}

// A length in a metafile's units as pixels at dpi, rounded up.
int64_t unitsToPixels(int64_t units, int64_t unitsPerInch, int dpi) {
    if (unitsPerInch <= 0) return 0;
    const int64_t magnitude = std::abs(units);
    return (magnitude * std::max(dpi, 1) + unitsPerInch - 1) / unitsPerInch;
}

std::optional<PixelSize> placeableMetafileSize(Bytes bytes, int dpi) {
    if (bytes.size() < 22 || readLe32(bytes, 0) != 0x9AC6CDD7u) return std::nullopt;
    const int64_t perInch = readLe16(bytes, 14);
    return PixelSize{unitsToPixels(readLeSigned16(bytes, 10) - readLeSigned16(bytes, 6), perInch, dpi),
                     unitsToPixels(readLeSigned16(bytes, 12) - readLeSigned16(bytes, 8), perInch, dpi)};
}

std::optional<PixelSize> enhancedMetafileSize(Bytes bytes, int dpi) {
    // The header record: type 1, its frame in 0.01 mm at 24, " EMF" at 40.
    if (bytes.size() < 44 || readLe32(bytes, 0) != 1 || readLe32(bytes, 40) != 0x464D4520u) return std::nullopt;
    constexpr int64_t kHundredthsOfMmPerInch = 2540;
    return PixelSize{unitsToPixels(readLeSigned32(bytes, 32) - readLeSigned32(bytes, 24), kHundredthsOfMmPerInch, dpi),
                     unitsToPixels(readLeSigned32(bytes, 36) - readLeSigned32(bytes, 28), kHundredthsOfMmPerInch, dpi)};
}

}  // namespace

std::optional<PixelSize> declaredPixelSize(std::span<const uint8_t> bytes, int metafileDpi) {
    using Reader = std::optional<PixelSize> (*)(Bytes);
    for (const Reader reader : {pngSize, jpegSize, gifSize, bitmapFileSize, iconSize}) {
        if (auto size = reader(bytes)) return size;
    }
    if (auto size = placeableMetafileSize(bytes, metafileDpi)) return size;
    return enhancedMetafileSize(bytes, metafileDpi);
}

}  // namespace mk::platform
