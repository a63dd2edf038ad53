#include "print/pcx_image.h"

#include <algorithm>


namespace mk {
namespace {

constexpr size_t kPcxHeaderSize = 128;
constexpr int kMaxRun = 0x3F;
constexpr uint8_t kRunFlag = 0xC0;  // bytes at or above it must be written as runs

int luminance(const uint8_t* pixel) {
    const int blue = pixel[0], green = pixel[1], red = pixel[2];
    return (38 * red + 75 * green + 15 * blue) >> 7;
}

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
    bitmap.bytesPerLine = ((width + 31) / 32) * 4;
    const size_t w = static_cast<size_t>(width);

    // First pass: the luminance of every pixel, kept so the second pass need
    // not compute it again, and its sum.
    std::vector<uint8_t> levels(w * static_cast<size_t>(height));
    uint64_t sum = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
        uint8_t* level = levels.data() + static_cast<size_t>(y) * w;
        for (size_t x = 0; x < w; ++x) {
            level[x] = static_cast<uint8_t>(luminance(row + 4 * x));
            sum += level[x];
        }
    }
    const double mean = static_cast<double>(sum) / (static_cast<double>(width) * static_cast<double>(height));
    const int threshold = static_cast<int>(0.9 * mean);

    // Second pass: eight pixels to a byte, leftmost in the high bit.
    bitmap.bits.assign(static_cast<size_t>(bitmap.bytesPerLine) * static_cast<size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        const uint8_t* level = levels.data() + static_cast<size_t>(y) * w;
        uint8_t* out = bitmap.bits.data() + static_cast<size_t>(y) * static_cast<size_t>(bitmap.bytesPerLine);
        for (size_t x = 0; x < w; x += 8) {
            const size_t count = std::min<size_t>(8, w - x);
            uint8_t byte = 0;
            for (size_t bit = 0; bit < count; ++bit) {
                if (level[x + bit] >= threshold) byte |= static_cast<uint8_t>(0x80u >> bit);
            }
            out[x / 8] = byte;
        }
    }
    return bitmap;
}

void pcxEncodeRow(const uint8_t* row, int byteCount, std::string& out) {
    int position = 0;
    while (position < byteCount) {
        const uint8_t value = row[position];
        int run = 1;
        while (run < kMaxRun && position + run < byteCount && row[position + run] == value) ++run;
        if (run > 1 || value >= kRunFlag) out += static_cast<char>(kRunFlag | run);
        out += static_cast<char>(value);
        position += run;
    }
}

std::string buildPcxImage(const uint8_t* pixels, int width, int height, int stride) {
    const MonochromeBitmap bitmap = toMonochrome(pixels, width, height, stride);
    std::string pcx = pcxHeader(width, height, bitmap.bytesPerLine);
    for (int y = 0; y < height; ++y) {
        pcxEncodeRow(bitmap.bits.data() + static_cast<size_t>(y) * static_cast<size_t>(bitmap.bytesPerLine),
                     bitmap.bytesPerLine, pcx);
    }
    return pcx;
}

}  // namespace mk
