#include "portable/picture_header.h"

#include <algorithm>
#include <cstdlib>

#include "portable/bmp_reader.h"

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

PictureHeader single(PixelSize size) { return {size, size}; }

constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Markers libjpeg reads while looking for the frame header.
enum class JpegMarker { Frame, Segment, NoLength, Refused };

JpegMarker kindOf(uint8_t marker) {
    switch (marker) {
        case 0xC0:  // baseline, extended, progressive; arithmetic extended and progressive
        case 0xC1:
        case 0xC2:
        case 0xC9:
        case 0xCA:
            return JpegMarker::Frame;
        case 0xC4:  // tables, restart interval, line count, comment
        case 0xCC:
        case 0xDB:
        case 0xDC:
        case 0xDD:
        case 0xFE:
            return JpegMarker::Segment;
        case 0x01:
            return JpegMarker::NoLength;
        default:
            if (marker >= 0xE0 && marker <= 0xEF) return JpegMarker::Segment;  // application data
            if (marker >= 0xD0 && marker <= 0xD7) return JpegMarker::NoLength;  // restarts
            // Lossless and hierarchical frames, a second start of image, scan
            // data before a frame, an early end: libjpeg reads no picture.
            return JpegMarker::Refused;
    }
}

// Where the marker after at lies, as libjpeg finds it: bytes up to the next
// 0xFF are skipped, then any run of 0xFF, and 0xFF 0x00 is no marker.
std::optional<size_t> nextMarker(Bytes bytes, size_t at) {
    for (;;) {
        while (at < bytes.size() && bytes[at] != 0xFF) ++at;
        while (at < bytes.size() && bytes[at] == 0xFF) ++at;
        if (at >= bytes.size()) return std::nullopt;
        if (bytes[at] != 0) return at;
        ++at;
    }
}

}  // namespace

std::optional<PictureHeader> pngHeader(Bytes bytes) {
    // The signature, then the header chunk: length, "IHDR", width, height.
    if (bytes.size() < 24 || !startsWith(bytes, kPngSignature)) return std::nullopt;
    if (bytes[12] != 'I' || bytes[13] != 'H' || bytes[14] != 'D' || bytes[15] != 'R') return std::nullopt;
    return single({readBe32(bytes, 16), readBe32(bytes, 20)});
}

std::optional<PictureHeader> jpegHeader(Bytes bytes) {
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8) return std::nullopt;
    size_t at = 2;
    for (;;) {
        const std::optional<size_t> marker = nextMarker(bytes, at);
        if (!marker) return std::nullopt;
        at = *marker + 1;
        const JpegMarker kind = kindOf(bytes[*marker]);
        if (kind == JpegMarker::Refused) return std::nullopt;
        if (kind == JpegMarker::NoLength) continue;
        if (bytes.size() - at < 2) return std::nullopt;
        const size_t length = readBe16(bytes, at);
        if (length < 2) return std::nullopt;
        if (kind == JpegMarker::Frame) {
            // Length, precision, height, width.
            if (length < 7 || bytes.size() - at < 7) return std::nullopt;
            const PixelSize size{readBe16(bytes, at + 5), readBe16(bytes, at + 3)};
            if (size.width == 0 || size.height == 0) return std::nullopt;
            return single(size);
        }
        at += length;
    }
}

// GIF: the screen, then blocks up to the trailer. Frames after the first
// count only as far as the bytes hold their descriptors; the first must be
// there, as it is the one drawn.
std::optional<PictureHeader> gifHeader(Bytes bytes) {
    if (bytes.size() < 13 || bytes[0] != 'G' || bytes[1] != 'I' || bytes[2] != 'F') return std::nullopt;
    const PixelSize screen{readLe16(bytes, 6), readLe16(bytes, 8)};
    const auto afterColourTable = [](uint8_t flags, size_t at) {
        return flags & 0x80 ? at + 3 * (size_t{2} << (flags & 7)) : at;
    };
    // Data sub-blocks: a length byte and that many bytes, up to a length of 0.
    const auto afterSubBlocks = [&bytes](size_t at) {
        while (at < bytes.size() && bytes[at] != 0) at += 1 + size_t{bytes[at]};
        return at + 1;
    };
    std::optional<PictureHeader> header;
    size_t at = afterColourTable(bytes[10], 13);
    while (at < bytes.size()) {
        if (bytes[at] == 0x21) {
            at = afterSubBlocks(at + 2);
            continue;
        }
        if (bytes[at] != 0x2C || bytes.size() - at < 10) break;
        const PixelSize frame{int64_t{readLe16(bytes, at + 1)} + readLe16(bytes, at + 5),
                              int64_t{readLe16(bytes, at + 3)} + readLe16(bytes, at + 7)};
        if (!header) {
            header = PictureHeader{largest(screen, frame), largest(screen, frame)};
        } else {
            header->extent = largest(header->extent, frame);
        }
        // The colour table, the code size byte, then the image data.
        at = afterSubBlocks(afterColourTable(bytes[at + 9], at + 10) + 1);
    }
    return header;
}

std::optional<PictureHeader> bitmapFileHeader(Bytes bytes) {
    if (bytes.size() < 14 || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
    // The 12-byte core header holds 16-bit sizes, every later one 32-bit sizes.
    const Bytes info = bytes.subspan(14);
    if (info.size() < 12) return std::nullopt;
    const uint32_t headerSize = readLe32(info, 0);
    if (headerSize == 12) return single({readLe16(info, 4), readLe16(info, 6)});
    if (headerSize < 40 || info.size() < 16) return std::nullopt;
    return single({std::abs(readLeSigned32(info, 4)), std::abs(readLeSigned32(info, 8))});
}

std::optional<std::vector<IconEntry>> readIconDirectory(Bytes bytes) {
    constexpr size_t kDirectoryBytes = 6;
    constexpr size_t kEntryBytes = 16;
    if (bytes.size() < kDirectoryBytes || readLe16(bytes, 0) != 0 || (readLe16(bytes, 2) != 1 && readLe16(bytes, 2) != 2)) {
        return std::nullopt;
    }
    const size_t count = readLe16(bytes, 4);
    if (count == 0 || bytes.size() < kDirectoryBytes + count * kEntryBytes) return std::nullopt;
    std::vector<IconEntry> directory;
    for (size_t i = 0; i < count; ++i) {
        const size_t at = kDirectoryBytes + i * kEntryBytes;
        IconEntry entry;
        entry.width = bytes[at] == 0 ? 256 : bytes[at];
        entry.height = bytes[at + 1] == 0 ? 256 : bytes[at + 1];
        entry.bitCount = readLe16(bytes, at + 6);
        entry.size = readLe32(bytes, at + 8);
        entry.offset = readLe32(bytes, at + 12);
        directory.push_back(entry);
    }
    return directory;
}

const IconEntry& drawnIconEntry(const std::vector<IconEntry>& directory) {
    const auto area = [](const IconEntry& e) { return int64_t{e.width} * e.height; };
    const IconEntry* best = &directory.front();
    for (const IconEntry& entry : directory) {
        if (area(entry) > area(*best) || (area(entry) == area(*best) && entry.bitCount > best->bitCount)) best = &entry;
    }
    return *best;
}

std::span<const uint8_t> iconImage(Bytes bytes, const IconEntry& entry) {
    if (entry.offset > bytes.size() || bytes.size() - entry.offset < entry.size) return {};
    return bytes.subspan(entry.offset, entry.size);
}

namespace {

// An icon image's size by its own header, as the decoders read it.
std::optional<PixelSize> iconImageSize(Bytes image) {
    if (startsWith(image, kPngSignature)) {
        const auto png = pngHeader(image);
        return png ? std::optional(png->size) : std::nullopt;
    }
    const auto layout = iconBitmapLayout(image);
    if (!layout) return std::nullopt;
    return PixelSize{layout->width, layout->rows()};
}

}  // namespace

std::optional<PictureHeader> iconHeader(Bytes bytes) {
    const auto directory = readIconDirectory(bytes);
    if (!directory) return std::nullopt;
    const auto drawn = iconImageSize(iconImage(bytes, drawnIconEntry(*directory)));
    if (!drawn) return std::nullopt;
    PictureHeader header{*drawn, *drawn};
    for (const IconEntry& entry : *directory) {
        header.extent = largest(header.extent, {entry.width, entry.height});
        if (const auto own = iconImageSize(iconImage(bytes, entry))) header.extent = largest(header.extent, *own);
    }
    return header;
}

namespace {

// A length in a metafile's units as pixels at dpi, rounded up.
int64_t unitsToPixels(int64_t units, int64_t unitsPerInch, int dpi) {
    if (unitsPerInch <= 0) return 0;
    const int64_t magnitude = std::abs(units);
    return (magnitude * std::max(dpi, 1) + unitsPerInch - 1) / unitsPerInch;
}

}  // namespace

std::optional<PictureHeader> placeableMetafileHeader(Bytes bytes, int dpi) {
    if (bytes.size() < 22 || readLe32(bytes, 0) != 0x9AC6CDD7u) return std::nullopt;
    const int64_t perInch = readLe16(bytes, 14);
    return single({unitsToPixels(readLeSigned16(bytes, 10) - readLeSigned16(bytes, 6), perInch, dpi),
                   unitsToPixels(readLeSigned16(bytes, 12) - readLeSigned16(bytes, 8), perInch, dpi)});
}

std::optional<PictureHeader> enhancedMetafileHeader(Bytes bytes, int dpi) {
    // The header record: type 1, its frame in 0.01 mm at 24, " EMF" at 40.
    if (bytes.size() < 44 || readLe32(bytes, 0) != 1 || readLe32(bytes, 40) != 0x464D4520u) return std::nullopt;
    constexpr int64_t kHundredthsOfMmPerInch = 2540;
    return single({unitsToPixels(readLeSigned32(bytes, 32) - readLeSigned32(bytes, 24), kHundredthsOfMmPerInch, dpi),
                   unitsToPixels(readLeSigned32(bytes, 36) - readLeSigned32(bytes, 28), kHundredthsOfMmPerInch, dpi)});
}

std::optional<PictureHeader> readPictureHeader(Bytes bytes, int metafileDpi) {
    using Reader = std::optional<PictureHeader> (*)(Bytes);
    for (const Reader reader : {pngHeader, jpegHeader, gifHeader, bitmapFileHeader, iconHeader}) {
        if (auto header = reader(bytes)) return header;
    }
    if (auto header = placeableMetafileHeader(bytes, metafileDpi)) return header;
    return enhancedMetafileHeader(bytes, metafileDpi);
}

std::optional<PixelSize> declaredPixelSize(Bytes bytes, int metafileDpi) {
    const auto header = readPictureHeader(bytes, metafileDpi);
    return header ? std::optional(header->extent) : std::nullopt;
}

}  // namespace mk::platform
