#pragma once

// Reads symbols back with an independent decoder, so that the tests check
// scannability rather than our own idea of the bars.

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <cstdint>
#include <string>
#include <vector>

namespace mktest {

struct Decoded {
    bool valid = false;
    ZXing::BarcodeFormat format = ZXing::BarcodeFormat::None;
    std::string text;   // UTF-8 after the decoder's character-set handling
    std::string bytes;  // the raw content
};

// pixels: 32-bit blue, green, red, X rows; quiet is a white margin in pixels
// added around the image for symbols that carry no quiet zone of their own.
inline Decoded decodeBgrx(const uint8_t* pixels, int width, int height, int stride, int quiet = 0) {
    const int w = width + 2 * quiet;
    const int h = height + 2 * quiet;
    std::vector<uint8_t> padded(static_cast<size_t>(w) * h * 4, 255);
    for (int y = 0; y < height; ++y)
        std::copy_n(pixels + static_cast<size_t>(y) * stride, static_cast<size_t>(width) * 4,
                    padded.data() + (static_cast<size_t>(y + quiet) * w + quiet) * 4);
    ZXing::DecodeHints hints;
    hints.setTryHarder(true);
    hints.setTryRotate(false);
    hints.setTryDownscale(false);
    hints.setTryCode39ExtendedMode(true);
    const ZXing::Result result =
        ZXing::ReadBarcode(ZXing::ImageView(padded.data(), w, h, ZXing::ImageFormat::BGRX, w * 4), hints);
    Decoded decoded;
    decoded.valid = result.isValid();
    decoded.format = result.format();
    if (decoded.valid) {
        decoded.text = result.text();
        decoded.bytes.assign(result.bytes().begin(), result.bytes().end());
    }
    return decoded;
}

}  // namespace mktest
