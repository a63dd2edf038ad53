#include "support/picture_files.h"

#include <algorithm>

namespace mk::test {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kSourceCopy = 0x00CC0020;  // the raster operation that copies the source
constexpr uint16_t kRgbColours = 0;           // a colour table of RGB values

void put16(Bytes& bytes, unsigned value) {
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}
void put32(Bytes& bytes, uint32_t value) {
    put16(bytes, value & 0xffff);
    put16(bytes, value >> 16);
}
void set32(Bytes& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// LZW codes, least significant bit first, in sub-blocks of at most 255 bytes.
class CodeWriter {
public:
    void put(unsigned code, unsigned width) {
        bits_ |= uint64_t{code} << count_;
        count_ += width;
        while (count_ >= 8) flushByte();
    }
    Bytes finish() {
        if (count_ > 0) flushByte();
        Bytes blocks;
        for (size_t at = 0; at < data_.size(); at += 255) {
            const size_t size = std::min<size_t>(255, data_.size() - at);
            blocks.push_back(static_cast<uint8_t>(size));
            blocks.insert(blocks.end(), data_.begin() + at, data_.begin() + at + size);
        }
        blocks.push_back(0);
        return blocks;
    }

private:
    void flushByte() {
        data_.push_back(static_cast<uint8_t>(bits_));
        bits_ >>= 8;
        count_ = count_ >= 8 ? count_ - 8 : 0;
    }
    uint64_t bits_ = 0;
    unsigned count_ = 0;
    Bytes data_;
};

// Image data of `pixels` pixels of colour 0 at code size 2: each code stands
// for a run one pixel longer than the last, so 100 megapixels take 70 KB.
Bytes gifRunOfZeros(int64_t pixels) {
    constexpr unsigned kClear = 4;
    constexpr unsigned kEnd = 5;
    CodeWriter codes;
    unsigned width = 3;
    unsigned last = kEnd;  // the latest code defined
    int64_t longest = 1;   // the longest run a code stands for
    codes.put(kClear, width);
    while (pixels > 0) {
        const int64_t run = std::min(longest, pixels);
        codes.put(run == 1 ? 0 : kClear + static_cast<unsigned>(run), width);
        pixels -= run;
        if (pixels == 0) break;
        ++longest;  // the run and the pixel after it
        if (++last >= (1u << width)) ++width;
        if (last == 4095) {
            codes.put(kClear, width);
            width = 3;
            last = kEnd;
            longest = 1;
        }
    }
    codes.put(kEnd, width);
    Bytes data{2};
    const Bytes blocks = codes.finish();
    data.insert(data.end(), blocks.begin(), blocks.end());
    return data;
}

// A bitmap description of width x height at 8 bits per pixel, compressed so
// that it ends at once: a loader that plays it still makes the whole bitmap.
Bytes emptyRleBitmap(int width, int height) {
    Bytes bytes;
    put32(bytes, 40);
    put32(bytes, static_cast<uint32_t>(width));
    put32(bytes, static_cast<uint32_t>(height));
    put16(bytes, 1);
    put16(bytes, 8);
    put32(bytes, 1);  // run lengths of 8 bits
    put32(bytes, 2);  // the bits' bytes
    for (const uint32_t value : {0u, 0u, 1u, 0u}) put32(bytes, value);  // one colour in the table
    put32(bytes, 0x000000);
    bytes.insert(bytes.end(), {0, 1});  // end of bitmap
    return bytes;
}

}  // namespace

Bytes gif(const std::vector<GifFrame>& frames) {
    Bytes bytes{'G', 'I', 'F', '8', '9', 'a'};
    put16(bytes, 8);
    put16(bytes, 8);
    bytes.insert(bytes.end(), {0x80, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff});
    for (const GifFrame& frame : frames) {
        bytes.push_back(0x2C);
        for (const int value : {frame.left, frame.top, frame.width, frame.height}) put16(bytes, value);
        bytes.push_back(0);
        const Bytes data = gifRunOfZeros(int64_t{frame.width} * frame.height);
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
    bytes.push_back(0x3B);
    return bytes;
}

Bytes wmfWithBitmap(int width, int height) {
    Bytes bytes;
    put32(bytes, 0x9AC6CDD7u);
    put16(bytes, 0);
    for (const unsigned value : {0u, 0u, 1440u, 1440u, 1440u}) put16(bytes, value);  // frame, units per inch
    put32(bytes, 0);
    uint16_t checksum = 0;
    for (size_t at = 0; at < 20; at += 2) checksum ^= static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
    put16(bytes, checksum);

    const Bytes bitmap = emptyRleBitmap(width, height);
    Bytes stretch;
    put32(stretch, 0);
    put16(stretch, 0x0F43);
    put32(stretch, kSourceCopy);
    put16(stretch, kRgbColours);
    for (const int value : {height, width, 0, 0, 1440, 1440, 0, 0}) put16(stretch, static_cast<unsigned>(value));
    stretch.insert(stretch.end(), bitmap.begin(), bitmap.end());
    set32(stretch, 0, static_cast<uint32_t>(stretch.size() / 2));
    const Bytes end{3, 0, 0, 0, 0, 0};

    const size_t words = (18 + stretch.size() + end.size()) / 2;
    for (const unsigned value : {1u, 9u, 0x300u}) put16(bytes, value);
    put32(bytes, static_cast<uint32_t>(words));
    put16(bytes, 0);
    put32(bytes, static_cast<uint32_t>(stretch.size() / 2));
    put16(bytes, 0);
    bytes.insert(bytes.end(), stretch.begin(), stretch.end());
    bytes.insert(bytes.end(), end.begin(), end.end());
    return bytes;
}

Bytes emfWithBitmap(int width, int height) {
    Bytes header;
    put32(header, 1);
    put32(header, 88);
    for (const int value : {0, 0, 96, 96, 0, 0, 2540, 2540}) put32(header, static_cast<uint32_t>(value));
    put32(header, 0x464D4520u);
    put32(header, 0x10000);
    put32(header, 0);  // the file's bytes, set below
    put32(header, 3);  // records
    put16(header, 1);
    put16(header, 0);
    for (int i = 0; i < 3; ++i) put32(header, 0);
    for (const int value : {1024, 768, 320, 240}) put32(header, static_cast<uint32_t>(value));

    const Bytes bitmap = emptyRleBitmap(width, height);
    Bytes stretch;
    put32(stretch, 81);
    put32(stretch, 0);
    for (const int value : {0, 0, 95, 95, 0, 0, 0, 0, width, height}) put32(stretch, static_cast<uint32_t>(value));
    put32(stretch, 80);  // the description's offset and bytes
    put32(stretch, 44);
    put32(stretch, 80 + 44);  // the bits'
    put32(stretch, 2);
    put32(stretch, kRgbColours);
    put32(stretch, kSourceCopy);
    put32(stretch, 96);
    put32(stretch, 96);
    stretch.insert(stretch.end(), bitmap.begin(), bitmap.end());
    stretch.resize((stretch.size() + 3) / 4 * 4);
    set32(stretch, 4, static_cast<uint32_t>(stretch.size()));

    Bytes bytes = header;
    bytes.insert(bytes.end(), stretch.begin(), stretch.end());
    for (const uint32_t value : {14u, 20u, 0u, 16u, 20u}) put32(bytes, value);
    set32(bytes, 48, static_cast<uint32_t>(bytes.size()));
    return bytes;
}

}  // namespace mk::test
