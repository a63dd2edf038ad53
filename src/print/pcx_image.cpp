#include "print/pcx_image.h"

#include <algorithm>
#include <bit>
#include <cstring>


namespace mk {
namespace {

constexpr size_t kPcxHeaderSize = 128;
constexpr int kMaxRun = 0x3F;
constexpr uint8_t kRunFlag = 0xC0;  // bytes at or above it must be written as runs

static_assert(std::endian::native == std::endian::little, "pixels are read as little-endian words");

// The luminance of one pixel read as a word (blue in the low byte). Plain
// integer code over whole rows: the loops below are written so that the
// compiler turns them into vector code, with the exact same results.
inline uint32_t luminance(uint32_t pixel) {
    const uint32_t blue = pixel & 0xFF, green = (pixel >> 8) & 0xFF, red = (pixel >> 16) & 0xFF;
    return (38 * red + 75 * green + 15 * blue) >> 7;
}

// Rows are summed in pieces small enough for a 32-bit sum (255 × 2^16 fits).
constexpr size_t kSumPiece = size_t{1} << 16;

uint64_t rowLuminanceSum(const uint8_t* row, size_t width) {
    uint64_t sum = 0;
    for (size_t start = 0; start < width; start += kSumPiece) {
        const size_t end = std::min(width, start + kSumPiece);
        uint32_t piece = 0;
        for (size_t x = start; x < end; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, row + 4 * x, 4);
            piece += luminance(pixel);
        }
        sum += piece;
    }
    return sum;
}

// 0 or 1 per pixel: whether it is light.
void lightFlags(const uint8_t* row, size_t width, uint32_t threshold, uint8_t* flags) {
    for (size_t x = 0; x < width; ++x) {
        uint32_t pixel;
        std::memcpy(&pixel, row + 4 * x, 4);
        flags[x] = luminance(pixel) >= threshold ? 1 : 0;
    }
}

// Eight flags (0 or 1, the leftmost first in memory) to one byte with the
// leftmost in the high bit: the multiplication moves flag k to bit 63 - k
// without carries, since no two flags meet on one bit.
inline uint8_t packFlags(const uint8_t* flags) {
    uint64_t eight;
    std::memcpy(&eight, flags, 8);
    return static_cast<uint8_t>((eight * 0x8040201008040201ull) >> 56);
}

// The threshold for light pixels: 0.9 × the mean luminance, truncated.
int lightThreshold(const uint8_t* pixels, int width, int height, int stride) {
    uint64_t sum = 0;
    for (int y = 0; y < height; ++y) {
        sum += rowLuminanceSum(pixels + static_cast<size_t>(y) * static_cast<size_t>(stride),
                               static_cast<size_t>(width));
    }
    const double mean = static_cast<double>(sum) / (static_cast<double>(width) * static_cast<double>(height));
    return static_cast<int>(0.9 * mean);
}

// One row to bits: flags first (rounded up to whole bytes with zeros, so the
// padding bits come out 0), then packed eight at a time.
class RowThresholder {
public:
    RowThresholder(int width, int bytesPerLine, int threshold)
        : width_(static_cast<size_t>(width)),
          bytesPerLine_(static_cast<size_t>(bytesPerLine)),
          threshold_(static_cast<uint32_t>(threshold)),
          flags_(bytesPerLine_ * 8, 0) {}

    void operator()(const uint8_t* row, uint8_t* out) {
        lightFlags(row, width_, threshold_, flags_.data());
        for (size_t i = 0; i < bytesPerLine_; ++i) out[i] = packFlags(flags_.data() + 8 * i);
    }

private:
    size_t width_;
    size_t bytesPerLine_;
    uint32_t threshold_;
    std::vector<uint8_t> flags_;
};

int bytesPerLineFor(int width) { return ((width + 31) / 32) * 4; }

void putLittleEndian16(std::string& out, size_t offset, int value) {
    out[offset] = static_cast<char>(value & 0xFF);
    out[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
}

std::string pcxHeader(int width, int height, int bytesPerLine) {
    std::string header(kPcxHeaderSize, '\0');
    header[0] = 0x0A;  // manufacturer
    header[1] = 0x00;  // version 0: the printer expects it
    header[2] = 0x01;  // run-length coding
    header[3] = 0x01;  // 1 bit per pixel
    putLittleEndian16(header, 8, width - 1);
    putLittleEndian16(header, 10, height - 1);
    putLittleEndian16(header, 12, 200);  // resolution is fixed, whatever the printer's
    putLittleEndian16(header, 14, 200);
    // Palette: entry 0 black, entry 1 white.
    header[19] = header[20] = header[21] = static_cast<char>(0xFF);
    header[65] = 0x00;  // planes: 0, as the printer's reader expects
    putLittleEndian16(header, 66, bytesPerLine);
    return header;
}

}  // namespace

MonochromeBitmap toMonochrome(const uint8_t* pixels, int width, int height, int stride) {
    MonochromeBitmap bitmap;
    // No pixels, no mean brightness: the threshold would be 0 / 0.
    if (width < 1 || height < 1) return bitmap;
    bitmap.bytesPerLine = bytesPerLineFor(width);
    const size_t line = static_cast<size_t>(bitmap.bytesPerLine);
    bitmap.bits.resize(line * static_cast<size_t>(height));
    RowThresholder threshold(width, bitmap.bytesPerLine, lightThreshold(pixels, width, height, stride));
    for (int y = 0; y < height; ++y) {
        threshold(pixels + static_cast<size_t>(y) * static_cast<size_t>(stride), bitmap.bits.data() + static_cast<size_t>(y) * line);
    }
    return bitmap;
}

void pcxEncodeRow(const uint8_t* row, int byteCount, std::string& out) {
    // At most two bytes per byte: write through a pointer, then trim.
    const size_t start = out.size();
    out.resize(start + 2 * static_cast<size_t>(std::max(byteCount, 0)));
    char* next = out.data() + start;
    int position = 0;
    while (position < byteCount) {
        const uint8_t value = row[position];
        const int limit = std::min(kMaxRun, byteCount - position);
        int run = 1;
        while (run < limit && row[position + run] == value) ++run;
        if (run > 1 || value >= kRunFlag) *next++ = static_cast<char>(kRunFlag | run);
        *next++ = static_cast<char>(value);
        position += run;
    }
    out.resize(static_cast<size_t>(next - out.data()));
}

std::string buildPcxImage(const uint8_t* pixels, int width, int height, int stride) {
    if (width < 1 || height < 1) return pcxHeader(width, height, 0);
    const int bytesPerLine = bytesPerLineFor(width);
    std::string pcx = pcxHeader(width, height, bytesPerLine);
    // Room for a label of short runs; mostly far less is used.
    pcx.reserve(pcx.size() + static_cast<size_t>(bytesPerLine) * static_cast<size_t>(height));
    RowThresholder threshold(width, bytesPerLine, lightThreshold(pixels, width, height, stride));
    std::vector<uint8_t> bits(static_cast<size_t>(bytesPerLine));
    for (int y = 0; y < height; ++y) {
        threshold(pixels + static_cast<size_t>(y) * static_cast<size_t>(stride), bits.data());
        pcxEncodeRow(bits.data(), bytesPerLine, pcx);
    }
    return pcx;
}

}  // namespace mk
