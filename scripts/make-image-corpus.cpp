// Writes the image fuzzer's seed corpus: small pictures of our own in every
// format and variant the image drawing reads, made by the tests' writers.
//
// From the repository root:
//   c++ -std=c++20 -I src -I tests scripts/make-image-corpus.cpp tests/support/test_images.cpp
//       -lpng -ljpeg -lgif -o /tmp/make-image-corpus
//   /tmp/make-image-corpus tests/fuzz/corpus/image_fuzz
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "support/test_images.h"

using namespace mk::test;

namespace {

TestImage sample(bool transparent) {
    TestImage image = quadrantImage(8, 6);
    image.argb[3] = kOpaque | 0xFFFF00;
    image.argb[20] = kOpaque | 0x808080;
    if (transparent) image.argb[2 * 8 + 3] = image.argb[2 * 8 + 4] = image.argb[3 * 8 + 3] = 0;
    return image;
}

BmpOptions bmp(int bitCount, BmpCompression compression = BmpCompression::None, bool topDown = false,
               uint32_t headerSize = 40) {
    BmpOptions options;
    options.bitCount = bitCount;
    options.compression = compression;
    options.topDown = topDown;
    options.headerSize = headerSize;
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    TestImage opaque = sample(false), clear = sample(true);
    TestImage twoColours = solidImage(8, 6, 0xFFFFFF);
    for (int i = 0; i < 48; i += 3) twoColours.argb[i] = kOpaque;
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"bmp1.bmp", encodeBmp(twoColours, bmp(1))},
        {"bmp4.bmp", encodeBmp(opaque, bmp(4))},
        {"bmp8.bmp", encodeBmp(opaque, bmp(8))},
        {"bmp16.bmp", encodeBmp(opaque, bmp(16))},
        {"bmp24.bmp", encodeBmp(opaque, bmp(24))},
        {"bmp32.bmp", encodeBmp(opaque, bmp(32))},
        {"bmp16-masks.bmp", encodeBmp(opaque, bmp(16, BmpCompression::BitFields))},
        {"bmp32-masks-v4.bmp", encodeBmp(opaque, bmp(32, BmpCompression::BitFields, false, 108))},
        {"bmp24-top-down-v5.bmp", encodeBmp(opaque, bmp(24, BmpCompression::None, true, 124))},
        {"bmp8-rle.bmp", encodeBmp(opaque, bmp(8, BmpCompression::Rle8))},
        {"bmp4-rle.bmp", encodeBmp(opaque, bmp(4, BmpCompression::Rle4))},
        {"rgba.png", encodePng(clear)},
        {"palette.png", encodePng(clear, {PngKind::Palette, false})},
        {"gray.png", encodePng(opaque, {PngKind::Gray, false})},
        {"interlaced-16.png", encodePng(clear, {PngKind::Rgba16, true})},
        {"baseline.jpg", encodeJpeg(opaque)},
        {"gray.jpg", encodeJpeg(opaque, {.grayscale = true})},
        {"progressive.jpg", encodeJpeg(opaque, {.progressive = true})},
        {"plain.gif", encodeGif(opaque)},
        {"transparent-interlaced.gif", encodeGif(clear, {.interlaced = true})},
        {"frame-on-screen.gif", encodeGif(clear, {.screenWidth = 12, .screenHeight = 9, .left = 2, .top = 1})},
        {"png-inside.ico", encodeIcon(clear, IconImage::Png)},
        {"bmp32-alpha.ico", encodeIcon(clear, IconImage::Bmp32Alpha)},
        {"bmp24-mask.ico", encodeIcon(clear, IconImage::Bmp24Mask)},
        {"bmp8-mask.ico", encodeIcon(clear, IconImage::Bmp8Mask)},
    };
    for (const auto& [name, bytes] : files) {
        std::string path = std::string(argv[1]) + "/" + name;
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            if (out) std::fclose(out);
            return 1;
        }
        std::fclose(out);
    }
    return 0;
}
