#include "portable/bmp_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <vector>

namespace mk::platform {
namespace {

constexpr size_t kInfoHeaderBytes = 40;
// The masks sit right after the 40-byte header, in it for the longer versions.
constexpr size_t kMasksAt = 40;

bool depthAndCompressionDecodable(uint16_t bitCount, uint32_t compression, int32_t height) {
    switch (compression) {
        case kDibRgb:
            return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
                   bitCount == 32;
        case kDibRle8:
            return bitCount == 8 && height > 0;
        case kDibRle4:
            return bitCount == 4 && height > 0;
        case kDibBitFields:
        case kDibAlphaBitFields:
            return bitCount == 16 || bitCount == 32;
        default:
            return false;
    }
}

// Byte count of the masks that follow a header of this size.
uint64_t maskBytesAfterHeader(uint32_t headerSize, uint32_t compression) {
    uint64_t masksEnd = kMasksAt;
    if (compression == kDibBitFields) masksEnd += 12;
    if (compression == kDibAlphaBitFields) masksEnd += 16;
    return masksEnd > headerSize ? masksEnd - headerSize : 0;
}

struct Colour {
    uint8_t blue = 0, green = 0, red = 0;
};

void putOpaque(uint8_t* row, int64_t x, Colour colour) {
    uint8_t* out = row + x * 4;
    out[0] = colour.blue;
    out[1] = colour.green;
    out[2] = colour.red;
    out[3] = 255;
}

// Colour-table entries are blue, green, red and an unused byte. An index past
// the declared table is black.
class Palette {
public:
    Palette(const DibLayout& layout, std::span<const uint8_t> description) {
        uint64_t start = layout.headerSize + maskBytesAfterHeader(layout.headerSize, layout.compression);
        uint64_t usable =
            layout.bitCount <= 8 ? std::min<uint64_t>(layout.paletteEntries, uint64_t{1} << layout.bitCount) : 0;
        for (uint64_t i = 0; i < usable; ++i) {
            size_t at = static_cast<size_t>(start + i * 4);
            colours_.push_back(Colour{description[at], description[at + 1], description[at + 2]});
        }
    }
    Colour operator[](unsigned index) const { return index < colours_.size() ? colours_[index] : Colour{}; }

private:
    std::vector<Colour> colours_;
};

// One channel of a masked pixel, scaled to 8 bits whatever the mask's width.
class Channel {
public:
    explicit Channel(uint32_t mask) : mask_(mask), shift_(mask ? std::countr_zero(mask) : 0) {
        full_ = mask ? mask >> shift_ : 1;
    }
    uint8_t operator()(uint32_t pixel) const {
        uint64_t value = (pixel & mask_) >> shift_;
        return static_cast<uint8_t>((value * 255 + full_ / 2) / full_);
    }

private:
    uint32_t mask_;
    int shift_;
    uint64_t full_;
};

struct Masks {
    Channel red, green, blue;
};

Masks masksOf(const DibLayout& layout, std::span<const uint8_t> description) {
    if (layout.compression == kDibRgb) {
        if (layout.bitCount == 16) return {Channel(0x7C00), Channel(0x03E0), Channel(0x001F)};
        return {Channel(0xFF0000), Channel(0x00FF00), Channel(0x0000FF)};
    }
    return {Channel(readLe32(description, kMasksAt)), Channel(readLe32(description, kMasksAt + 4)),
            Channel(readLe32(description, kMasksAt + 8))};
}

void decodeRow(const DibLayout& layout, const Palette& palette, const Masks& masks, const uint8_t* row,
               uint8_t* out) {
    for (int x = 0; x < layout.width; ++x) {
        switch (layout.bitCount) {
            case 1:
                putOpaque(out, x, palette[(row[x / 8] >> (7 - x % 8)) & 1]);
                break;
            case 4:
                putOpaque(out, x, palette[x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F]);
                break;
            case 8:
                putOpaque(out, x, palette[row[x]]);
                break;
            case 24: {
                const uint8_t* p = row + static_cast<size_t>(x) * 3;
                putOpaque(out, x, Colour{p[0], p[1], p[2]});
                break;
            }
            default: {
                size_t bytes = layout.bitCount / 8;
                const uint8_t* p = row + static_cast<size_t>(x) * bytes;
                uint32_t value = bytes == 2 ? uint32_t{p[0]} | uint32_t{p[1]} << 8
                                            : uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                                                  uint32_t{p[3]} << 24;
                putOpaque(out, x, Colour{masks.blue(value), masks.green(value), masks.red(value)});
                break;
            }
        }
    }
}

std::optional<std::vector<Picture>> decodeUncompressed(const DibLayout& layout, std::span<const uint8_t> description,
                                                       std::span<const uint8_t> bits, const SamplingPlan& plan,
                                                       const DibRowHook& hook) {
    if (bits.size() < layout.pixelBytes) return std::nullopt;
    auto sampler = RowSampler::start({layout.width, layout.rows()}, plan);
    if (!sampler) return std::nullopt;
    Palette palette(layout, description);
    Masks masks = masksOf(layout, description);
    size_t stride = static_cast<size_t>(dibRowBytes(layout.width, layout.bitCount));
    std::vector<uint8_t> row(static_cast<size_t>(layout.width) * 4);
    for (int stored = 0; stored < layout.rows(); ++stored) {
        const int y = dibPictureRow(layout, stored);
        if (!sampler->wanted(y)) continue;
        decodeRow(layout, palette, masks, bits.data() + stored * stride, row.data());
        if (hook) hook(stored, row.data());
        sampler->put(y, row.data());
    }
    return sampler->finish();
}

// Run-length data: pairs (count, index) or escapes (0, 0) end of line,
// (0, 1) end of bitmap, (0, 2, dx, dy) move, (0, n) n literal indices padded
// to a 16-bit boundary. Rows run bottom-up. Pixels outside the bitmap are
// dropped; running out of data before the bitmap ends fails.
std::optional<std::vector<Picture>> decodeRunLength(const DibLayout& layout, std::span<const uint8_t> description,
                                                    std::span<const uint8_t> bits, const SamplingPlan& plan) {
    auto sampler = RowSampler::start({layout.width, layout.rows()}, plan);
    if (!sampler) return std::nullopt;
    Palette palette(layout, description);
    const bool rle8 = layout.compression == kDibRle8;
    const int64_t width = layout.width, height = layout.rows();
    int64_t x = 0, row = 0;  // row 0 is the bottom one
    // The row being written, handed over when the data leaves it.
    std::vector<uint8_t> line(static_cast<size_t>(width) * 4);
    bool written = false;
    auto flush = [&] {
        if (!written) return;
        const int y = static_cast<int>(height - 1 - row);
        if (sampler->wanted(y)) sampler->put(y, line.data());
        std::fill(line.begin(), line.end(), uint8_t{0});
        written = false;
    };
    // The i-th index of a run or literal whose bytes hold one (RLE8) or two (RLE4) indices.
    auto indexAt = [rle8](uint8_t byte, unsigned i) -> unsigned {
        if (rle8) return byte;
        return i % 2 == 0 ? byte >> 4 : byte & 0x0F;
    };
    auto put = [&](unsigned index) {
        putOpaque(line.data(), x, palette[index]);
        written = true;
        ++x;
    };
    size_t at = 0;
    while (row < height) {
        if (bits.size() - at < 2) return std::nullopt;
        unsigned count = bits[at], value = bits[at + 1];
        at += 2;
        if (count > 0) {
            for (unsigned i = 0; i < count && x < width; ++i) put(indexAt(static_cast<uint8_t>(value), i));
            continue;
        }
        if (value == 0) {
            flush();
            x = 0;
            ++row;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            if (bits.size() - at < 2) return std::nullopt;
            if (bits[at + 1] > 0) flush();
            x = std::min(x + bits[at], width);
            row += bits[at + 1];
            at += 2;
        } else {
            size_t bytes = rle8 ? value : (value + 1) / 2;
            size_t padded = bytes + bytes % 2;
            if (bits.size() - at < padded) return std::nullopt;
            for (unsigned i = 0; i < value && x < width; ++i) put(indexAt(bits[at + (rle8 ? i : i / 2)], i));
            at += padded;
        }
    }
    flush();
    return sampler->finish();
}

}  // namespace

std::optional<DibLayout> readDibLayout(std::span<const uint8_t> description) {
    if (description.size() < kInfoHeaderBytes) return std::nullopt;
    DibLayout layout;
    layout.headerSize = readLe32(description, 0);
    layout.width = static_cast<int32_t>(readLe32(description, 4));
    layout.height = static_cast<int32_t>(readLe32(description, 8));
    layout.bitCount = readLe16(description, 14);
    layout.compression = readLe32(description, 16);
    uint32_t imageSize = readLe32(description, 20);
    uint32_t coloursUsed = readLe32(description, 32);

    if (layout.headerSize < kInfoHeaderBytes) return std::nullopt;
    if (layout.width < 1 || layout.height == 0 || layout.height == INT32_MIN) return std::nullopt;
    if (int64_t{layout.width} * layout.rows() > kMaxPicturePixels) return std::nullopt;
    if (!depthAndCompressionDecodable(layout.bitCount, layout.compression, layout.height)) return std::nullopt;

    layout.paletteEntries = layout.bitCount <= 8 && coloursUsed == 0 ? 1u << layout.bitCount : coloursUsed;
    layout.tableBytes =
        maskBytesAfterHeader(layout.headerSize, layout.compression) + uint64_t{layout.paletteEntries} * 4;
    if (layout.compression == kDibRle8 || layout.compression == kDibRle4) {
        layout.pixelBytes = imageSize;
    } else {
        layout.pixelBytes = dibRowBytes(layout.width, layout.bitCount) * static_cast<uint64_t>(layout.rows());
    }
    return layout;
}

std::optional<DibLayout> iconBitmapLayout(std::span<const uint8_t> image) {
    auto layout = readDibLayout(image);
    if (!layout || (layout->compression != kDibRgb && layout->compression != kDibBitFields)) return std::nullopt;
    layout->height /= 2;
    if (layout->height == 0) return std::nullopt;
    layout->pixelBytes = dibRowBytes(layout->width, layout->bitCount) * static_cast<uint64_t>(layout->rows());
    return layout;
}

std::optional<std::vector<Picture>> decodeDib(const DibLayout& layout, std::span<const uint8_t> description,
                                              std::span<const uint8_t> bits, const SamplingPlan& plan,
                                              const DibRowHook& hook) {
    if (description.size() < layout.descriptionBytes()) return std::nullopt;
    if (layout.compression == kDibRle8 || layout.compression == kDibRle4) {
        return decodeRunLength(layout, description, bits.first(std::min<uint64_t>(bits.size(), layout.pixelBytes)),
                               plan);
    }
    return decodeUncompressed(layout, description, bits, plan, hook);
}

}  // namespace mk::platform
