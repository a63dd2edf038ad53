#include "portable/picture_contents.h"

#include <algorithm>
#include <cstdlib>

#include "platform/picture.h"

namespace mk::platform {
namespace {

using Bytes = std::span<const uint8_t>;

// Sums stay far from overflow however many records a file holds: a single
// bitmap beyond the rule already refuses the file.
constexpr int64_t kCap = int64_t{1} << 60;

void addPixels(int64_t& total, int64_t width, int64_t height) {
    const int64_t area = std::min(std::abs(width), kMaxPicturePixels + 1) * std::min(std::abs(height), kMaxPicturePixels + 1);
    total = std::min(total + std::min(area, kCap), kCap);
}

bool holds(Bytes bytes, size_t at, size_t count) { return at <= bytes.size() && count <= bytes.size() - at; }

// A GIF colour table follows a flags byte that says so: 2^(n+1) entries of
// 3 bytes.
size_t afterColourTable(uint8_t flags, size_t at) { return flags & 0x80 ? at + 3 * (size_t{2} << (flags & 7)) : at; }

// Data sub-blocks: a length byte and that many bytes, up to a length of 0.
size_t afterSubBlocks(Bytes bytes, size_t at) {
    while (at < bytes.size() && bytes[at] != 0) at += 1 + size_t{bytes[at]};
    return at + 1;
}

// A bitmap info header at `at`: the 12-byte core header holds 16-bit sizes,
// every later one 32-bit sizes, the height negative for top-down rows.
bool addInfoHeader(Bytes bytes, size_t at, int64_t& total) {
    if (!holds(bytes, at, 12)) return false;
    const uint32_t size = readLe32(bytes, at);
    if (size == 12) {
        addPixels(total, readLe16(bytes, at + 4), readLe16(bytes, at + 6));
        return true;
    }
    if (size < 16 || !holds(bytes, at, 16)) return false;
    addPixels(total, static_cast<int32_t>(readLe32(bytes, at + 4)), static_cast<int32_t>(readLe32(bytes, at + 8)));
    return true;
}

// The old device-dependent bitmap of a WMF record: type, width, height.
bool addBitmap16(Bytes bytes, size_t at, int64_t& total) {
    if (!holds(bytes, at, 6)) return false;
    addPixels(total, static_cast<int16_t>(readLe16(bytes, at + 2)), static_cast<int16_t>(readLe16(bytes, at + 4)));
    return true;
}

enum class Form { Dib, Bitmap16 };

// WMF records that carry a bitmap: where it starts in the record, and the
// record's size in 16-bit words when it carries none (0: always carries one).
struct WmfBitmapRecord {
    uint16_t function;
    size_t at;
    uint32_t wordsWithout;
    Form form;
};

constexpr WmfBitmapRecord kWmfBitmapRecords[] = {
    {0x0922, 22, 12, Form::Bitmap16},  // BitBlt
    {0x0B23, 26, 14, Form::Bitmap16},  // StretchBlt
    {0x01F9, 6, 0, Form::Bitmap16},    // CreatePatternBrush
    {0x0940, 22, 12, Form::Dib},       // DIBBitBlt
    {0x0B41, 26, 14, Form::Dib},       // DIBStretchBlt
    {0x0F43, 28, 0, Form::Dib},        // StretchDIB
    {0x0D33, 24, 0, Form::Dib},        // SetDIBitsToDevice
    {0x0142, 10, 0, Form::Dib},        // DIBCreatePatternBrush
};

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7u;
constexpr size_t kPlaceableHeaderBytes = 22;
constexpr size_t kWmfHeaderBytes = 18;

std::optional<int64_t> wmfBitmapPixels(Bytes file) {
    const Bytes bytes = file.subspan(kPlaceableHeaderBytes);
    // The header: type 1 (memory) or 2 (disk), its own size of 9 words.
    if (!holds(bytes, 0, kWmfHeaderBytes) || (readLe16(bytes, 0) != 1 && readLe16(bytes, 0) != 2) ||
        readLe16(bytes, 2) != kWmfHeaderBytes / 2) {
        return 0;
    }
    int64_t total = 0;
    size_t at = kWmfHeaderBytes;
    // Each record: its size in 16-bit words (at least 3), its function. The
    // playback stops at a smaller size or at the end record, function 0.
    while (holds(bytes, at, 6)) {
        const uint32_t words = readLe32(bytes, at);
        const uint16_t function = readLe16(bytes, at + 4);
        if (words < 3 || function == 0) break;
        const size_t recordBytes = std::min<uint64_t>(uint64_t{words} * 2, bytes.size() - at);
        const Bytes record = bytes.subspan(at, recordBytes);
        for (const WmfBitmapRecord& kind : kWmfBitmapRecords) {
            if (kind.function != function || words == kind.wordsWithout) continue;
            // A brush made from a device-dependent bitmap (style 3) holds one.
            const bool bitmap16 = kind.form == Form::Bitmap16 || (function == 0x0142 && holds(record, 6, 2) && readLe16(record, 6) == 3);
            if (!(bitmap16 ? addBitmap16(record, kind.at, total) : addInfoHeader(record, kind.at, total))) {
                return std::nullopt;
            }
        }
        at += recordBytes;
    }
    return total;
}

// EMF records that carry bitmaps: where the offsets to their bitmaps'
// descriptions lie (0: no mask bitmap). Each offset counts from the record's
// start; an offset of 0 means the record carries no bitmap there.
struct EmfBitmapRecord {
    uint32_t type;
    size_t offsetAt;
    size_t maskOffsetAt;
};

constexpr EmfBitmapRecord kEmfBitmapRecords[] = {
    {76, 84, 0},     // BitBlt
    {77, 84, 0},     // StretchBlt
    {78, 84, 112},   // MaskBlt
    {79, 96, 124},   // PlgBlt
    {80, 48, 0},     // SetDIBitsToDevice
    {81, 48, 0},     // StretchDIBits
    {93, 16, 0},     // CreateMonoBrush
    {94, 16, 0},     // CreateDIBPatternBrushPt
    {95, 12, 0},     // ExtCreatePen, whose brush may be a pattern
    {114, 84, 0},    // AlphaBlend
    {116, 84, 0},    // TransparentBlt
};

constexpr uint32_t kEmfHeader = 1;
constexpr uint32_t kEmfEnd = 14;
constexpr uint32_t kEmfSignature = 0x464D4520u;  // " EMF"

std::optional<int64_t> emfBitmapPixels(Bytes bytes) {
    if (!holds(bytes, 0, 44) || readLe32(bytes, 0) != kEmfHeader || readLe32(bytes, 40) != kEmfSignature) return 0;
    int64_t total = 0;
    size_t at = 0;
    // Each record: its type and its size in bytes, a multiple of 4 of at
    // least 8; the playback stops at any other size or at the end record.
    while (holds(bytes, at, 8)) {
        const uint32_t type = readLe32(bytes, at);
        const uint32_t size = readLe32(bytes, at + 4);
        if (size < 8 || size % 4 != 0 || type == kEmfEnd) break;
        const Bytes record = bytes.subspan(at, std::min<uint64_t>(size, bytes.size() - at));
        for (const EmfBitmapRecord& kind : kEmfBitmapRecords) {
            if (kind.type != type) continue;
            for (const size_t offsetAt : {kind.offsetAt, kind.maskOffsetAt}) {
                if (offsetAt == 0) continue;
                if (!holds(record, offsetAt, 4)) return std::nullopt;
                const uint32_t offset = readLe32(record, offsetAt);
                if (offset != 0 && !addInfoHeader(record, offset, total)) return std::nullopt;
            }
        }
        at += record.size();
    }
    return total;
}

}  // namespace

int64_t gifFramePixels(std::span<const uint8_t> bytes) {
    if (!holds(bytes, 0, 13) || bytes[0] != 'G' || bytes[1] != 'I' || bytes[2] != 'F') return 0;
    int64_t total = 0;
    size_t at = afterColourTable(bytes[10], 13);
    while (at < bytes.size()) {
        const uint8_t block = bytes[at];
        if (block == 0x21) {  // an extension: its label, then sub-blocks
            at = afterSubBlocks(bytes, at + 2);
        } else if (block == 0x2C && holds(bytes, at, 10)) {  // an image: left, top, width, height, flags
            addPixels(total, int64_t{readLe16(bytes, at + 1)} + readLe16(bytes, at + 5),
                      int64_t{readLe16(bytes, at + 3)} + readLe16(bytes, at + 7));
            // The colour table, the code size byte, then the image's sub-blocks.
            at = afterSubBlocks(bytes, afterColourTable(bytes[at + 9], at + 10) + 1);
        } else {
            break;  // the trailer, or a block no decoder reads past
        }
    }
    return total;
}

std::optional<int64_t> metafileBitmapPixels(std::span<const uint8_t> bytes) {
    if (holds(bytes, 0, kPlaceableHeaderBytes) && readLe32(bytes, 0) == kPlaceableKey) return wmfBitmapPixels(bytes);
    return emfBitmapPixels(bytes);
}

}  // namespace mk::platform
