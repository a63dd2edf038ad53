#include "print/pcx_image.h"


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
    bitmap.bytesPerLine = ((width + 31) / 32) * 4;

    uint64_t sum = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
        for (int x = 0; x < width; ++x) sum += static_cast<uint64_t>(luminance(row + 4 * static_cast<size_t>(x)));
    }
    const double mean = static_cast<double>(sum) / (static_cast<double>(width) * static_cast<double>(height));
    const int threshold = static_cast<int>(0.9 * mean);

    bitmap.bits.assign(static_cast<size_t>(bitmap.bytesPerLine) * static_cast<size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
        uint8_t* out = bitmap.bits.data() + static_cast<size_t>(y) * static_cast<size_t>(bitmap.bytesPerLine);
        for (int x = 0; x < width; ++x) {
            if (luminance(row + 4 * static_cast<size_t>(x)) >= threshold) out[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
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
