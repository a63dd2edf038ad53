#include "print/pcx_image.h"

#include <algorithm>
#include <cstring>

#include "print/mono_rows.h"

namespace mk {
namespace {

constexpr size_t kPcxHeaderSize = 128;
constexpr int kMaxRun = 0x3F;
constexpr uint8_t kRunFlag = 0xC0;  // bytes at or above it must be written as runs

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
    const auto threshold = static_cast<uint32_t>(lightThreshold(pixels, width, height, stride));
    for (int y = 0; y < height; ++y) {
        thresholdRow(pixels + static_cast<size_t>(y) * static_cast<size_t>(stride), static_cast<size_t>(width),
                     threshold, bitmap.bits.data() + static_cast<size_t>(y) * line, line);
    }
    return bitmap;
}

void pcxEncodeRow(const uint8_t* row, int byteCount, platform::MappedString& out) {
    // At most two bytes per byte: write through a pointer, then trim.
    const size_t start = out.size();
    out.resize(start + 2 * static_cast<size_t>(std::max(byteCount, 0)));
    char* next = out.data() + start;
    int position = 0;
    while (position < byteCount) {
        const uint8_t value = row[position];
        const int limit = std::min(kMaxRun, byteCount - position);
        int run = 1;
        // Labels are mostly long runs of white: compare eight bytes at once.
        const uint64_t eight = 0x0101010101010101ull * value;
        for (uint64_t word; run + 8 <= limit; run += 8) {
            std::memcpy(&word, row + position + run, 8);
            if (word != eight) break;
        }
        while (run < limit && row[position + run] == value) ++run;
        if (run > 1 || value >= kRunFlag) *next++ = static_cast<char>(kRunFlag | run);
        *next++ = static_cast<char>(value);
        position += run;
    }
    out.resize(static_cast<size_t>(next - out.data()));
}

platform::MappedString buildPcxImage(const uint8_t* pixels, int width, int height, int stride) {
    const int bytesPerLine = width < 1 || height < 1 ? 0 : bytesPerLineFor(width);
    const std::string header = pcxHeader(width, height, bytesPerLine);
    platform::MappedString pcx(header.begin(), header.end());
    if (bytesPerLine == 0) return pcx;
    // Room for a label of short runs; mostly far less is used.
    pcx.reserve(pcx.size() + static_cast<size_t>(bytesPerLine) * static_cast<size_t>(height));
    const auto threshold = static_cast<uint32_t>(lightThreshold(pixels, width, height, stride));
    std::vector<uint8_t> bits(static_cast<size_t>(bytesPerLine));
    for (int y = 0; y < height; ++y) {
        thresholdRow(pixels + static_cast<size_t>(y) * static_cast<size_t>(stride), static_cast<size_t>(width),
                     threshold, bits.data(), bits.size());
        pcxEncodeRow(bits.data(), bytesPerLine, pcx);
    }
    return pcx;
}

}  // namespace mk
