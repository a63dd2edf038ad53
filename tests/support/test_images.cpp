#include "support/test_images.h"

#include <gif_lib.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <stdexcept>

#include <jpeglib.h>

namespace mk::test {
namespace {

uint8_t redOf(uint32_t argb) { return static_cast<uint8_t>(argb >> 16); }
uint8_t greenOf(uint32_t argb) { return static_cast<uint8_t>(argb >> 8); }
uint8_t blueOf(uint32_t argb) { return static_cast<uint8_t>(argb); }
uint8_t alphaOf(uint32_t argb) { return static_cast<uint8_t>(argb >> 24); }
uint8_t grayOf(uint32_t argb) { return static_cast<uint8_t>((redOf(argb) * 299 + greenOf(argb) * 587 + blueOf(argb) * 114) / 1000); }

class ByteWriter {
public:
    void u8(uint8_t value) { bytes.push_back(value); }
    void le16(uint32_t value) {
        u8(static_cast<uint8_t>(value));
        u8(static_cast<uint8_t>(value >> 8));
    }
    void le32(uint32_t value) {
        le16(value & 0xFFFF);
        le16(value >> 16);
    }
    void append(const std::vector<uint8_t>& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }
    void zeros(size_t count) { bytes.insert(bytes.end(), count, 0); }
    void patch32(size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
    std::vector<uint8_t> bytes;
};

int indexIn(const std::vector<uint32_t>& palette, uint32_t argb) {
    auto found = std::find(palette.begin(), palette.end(), argb & 0xFFFFFF);
    return static_cast<int>(found - palette.begin());
}

// One stored row of uncompressed pixels, padded to 32 bits.
std::vector<uint8_t> packRow(const TestImage& image, int y, const BmpOptions& options,
                             const std::vector<uint32_t>& palette) {
    ByteWriter row;
    const bool masks = options.compression == BmpCompression::BitFields;
    if (options.bitCount <= 8) {
        int perByte = 8 / options.bitCount;
        for (int x = 0; x < image.width; x += perByte) {
            uint8_t byte = 0;
            for (int i = 0; i < perByte; ++i) {
                int index = x + i < image.width ? indexIn(palette, image.at(x + i, y)) : 0;
                byte |= static_cast<uint8_t>(index << (8 - options.bitCount * (i + 1)));
            }
            row.u8(byte);
        }
    } else {
        for (int x = 0; x < image.width; ++x) {
            uint32_t p = image.at(x, y);
            uint32_t r = redOf(p), g = greenOf(p), b = blueOf(p);
            if (options.bitCount == 16) {
                row.le16(masks ? (r >> 3) << 11 | (g >> 2) << 5 | b >> 3 : (r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
            } else if (options.bitCount == 24) {
                row.u8(b), row.u8(g), row.u8(r);
            } else {
                row.le32(masks ? r << 24 | g << 16 | b << 8 : r << 16 | g << 8 | b);
            }
        }
    }
    while (row.bytes.size() % 4) row.u8(0);
    return row.bytes;
}

// Run-length rows: a run of two or more equal indices is one encoded pair;
// three or more differing ones go out literally, padded to 16 bits.
std::vector<uint8_t> runLengthRow(const std::vector<int>& indices, bool rle4) {
    ByteWriter out;
    size_t at = 0;
    auto runAt = [&](size_t from) {
        size_t end = from;
        while (end < indices.size() && indices[end] == indices[from] && end - from < 254) ++end;
        return end - from;
    };
    while (at < indices.size()) {
        size_t run = runAt(at);
        if (run >= 2) {
            out.u8(static_cast<uint8_t>(run));
            out.u8(static_cast<uint8_t>(rle4 ? indices[at] << 4 | indices[at] : indices[at]));
            at += run;
            continue;
        }
        size_t end = at;
        while (end < indices.size() && runAt(end) < 2 && end - at < 254) ++end;
        size_t count = end - at;
        if (count < 3) {
            out.u8(1);
            out.u8(static_cast<uint8_t>(rle4 ? indices[at] << 4 : indices[at]));
            ++at;
            continue;
        }
        out.u8(0);
        out.u8(static_cast<uint8_t>(count));
        std::vector<uint8_t> literal;
        for (size_t i = 0; i < count; ++i) {
            if (!rle4) {
                literal.push_back(static_cast<uint8_t>(indices[at + i]));
            } else if (i % 2 == 0) {
                literal.push_back(static_cast<uint8_t>(indices[at + i] << 4));
            } else {
                literal.back() |= static_cast<uint8_t>(indices[at + i]);
            }
        }
        if (literal.size() % 2) literal.push_back(0);
        out.append(literal);
        at = end;
    }
    return out.bytes;
}

std::vector<uint8_t> pixelData(const TestImage& image, const BmpOptions& options,
                               const std::vector<uint32_t>& palette) {
    ByteWriter bits;
    const bool rle = options.compression == BmpCompression::Rle8 || options.compression == BmpCompression::Rle4;
    for (int stored = 0; stored < image.height; ++stored) {
        int y = options.topDown ? stored : image.height - 1 - stored;
        if (!rle) {
            bits.append(packRow(image, y, options, palette));
            continue;
        }
        std::vector<int> indices;
        for (int x = 0; x < image.width; ++x) indices.push_back(indexIn(palette, image.at(x, y)));
        bits.append(runLengthRow(indices, options.compression == BmpCompression::Rle4));
        bits.u8(0), bits.u8(0);  // end of line
    }
    if (rle) bits.u8(0), bits.u8(1);  // end of bitmap
    return bits.bytes;
}

uint32_t compressionCode(BmpCompression compression) {
    switch (compression) {
        case BmpCompression::None: return 0;
        case BmpCompression::Rle8: return 1;
        case BmpCompression::Rle4: return 2;
        case BmpCompression::BitFields: return 3;
    }
    return 0;
}

// A bare info header, its masks and colour table, and the pixel data: what a
// bitmap file holds after its 14-byte file header, and what an icon holds
// (with rowsDeclared counting the mask rows too).
std::vector<uint8_t> deviceIndependentBitmap(const TestImage& image, const BmpOptions& options, int rowsDeclared,
                                             std::vector<uint8_t>* pixelsOut = nullptr) {
    std::vector<uint32_t> palette = options.bitCount <= 8 ? paletteOf(image) : std::vector<uint32_t>{};
    if (options.bitCount <= 8 && palette.size() > (1u << options.bitCount)) {
        throw std::invalid_argument("too many colours for the depth");
    }
    size_t tableEntries = palette.size() + options.extraPaletteEntries;
    if (options.declareFullPalette) tableEntries = 1u << options.bitCount;
    std::vector<uint8_t> bits = pixelData(image, options, palette);

    ByteWriter out;
    const bool masks = options.compression == BmpCompression::BitFields;
    out.le32(options.headerSize);
    out.le32(static_cast<uint32_t>(image.width));
    out.le32(static_cast<uint32_t>(options.topDown ? -rowsDeclared : rowsDeclared));
    out.le16(1);
    out.le16(static_cast<uint32_t>(options.bitCount));
    out.le32(compressionCode(options.compression));
    out.le32(static_cast<uint32_t>(bits.size()));
    out.le32(2835), out.le32(2835);  // 72 dpi
    out.le32(options.declareFullPalette ? 0 : static_cast<uint32_t>(tableEntries));
    out.le32(0);
    if (masks) {
        if (options.bitCount == 16) out.le32(0xF800), out.le32(0x07E0), out.le32(0x001F);
        else out.le32(0xFF000000u), out.le32(0x00FF0000u), out.le32(0x0000FF00u);
    }
    if (out.bytes.size() < options.headerSize) out.zeros(options.headerSize - out.bytes.size());
    for (size_t i = 0; i < tableEntries; ++i) {
        uint32_t colour = i < palette.size() ? palette[i] : 0x123456;
        out.u8(blueOf(colour)), out.u8(greenOf(colour)), out.u8(redOf(colour)), out.u8(0);
    }
    if (pixelsOut) *pixelsOut = bits;
    out.append(bits);
    return out.bytes;
}

// ---- PNG ----

struct PngWriteJob {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::vector<uint8_t> out;
    ~PngWriteJob() { png_destroy_write_struct(&png, &info); }
};

void appendPng(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

// The keyed kinds' transparent colours, none of them a colour of the images.
constexpr unsigned kGrayKey = 1;  // the level 85
constexpr png_color kRgbKey{1, 2, 3};
constexpr png_color_16 kRgb16Key{0, 0x1234, 0x5678, 0x9ABC, 0};

std::vector<uint8_t> pngRow(const TestImage& image, int y, PngKind kind, const std::vector<uint32_t>& palette) {
    std::vector<uint8_t> row;
    for (int x = 0; x < image.width; ++x) {
        uint32_t p = image.at(x, y);
        switch (kind) {
            case PngKind::Rgba: row.insert(row.end(), {redOf(p), greenOf(p), blueOf(p), alphaOf(p)}); break;
            case PngKind::Rgb: row.insert(row.end(), {redOf(p), greenOf(p), blueOf(p)}); break;
            case PngKind::Gray: row.push_back(grayOf(p)); break;
            case PngKind::GrayAlpha: row.insert(row.end(), {grayOf(p), alphaOf(p)}); break;
            case PngKind::Palette: row.push_back(static_cast<uint8_t>(std::find(palette.begin(), palette.end(), p) - palette.begin())); break;
            case PngKind::Rgba16:
                for (uint8_t v : {redOf(p), greenOf(p), blueOf(p), alphaOf(p)}) row.insert(row.end(), {v, v});
                break;
            case PngKind::GrayTwoBitKeyed: {
                const unsigned level = alphaOf(p) == 0 ? kGrayKey : grayOf(p) / 85u;
                if (x % 4 == 0) row.push_back(0);
                row.back() = static_cast<uint8_t>(row.back() | level << (6 - 2 * (x % 4)));
                break;
            }
            case PngKind::RgbKeyed:
                if (alphaOf(p) == 0) row.insert(row.end(), {kRgbKey.red, kRgbKey.green, kRgbKey.blue});
                else row.insert(row.end(), {redOf(p), greenOf(p), blueOf(p)});
                break;
            case PngKind::Rgb16Keyed:
                if (alphaOf(p) == 0) {
                    for (uint16_t v : {kRgb16Key.red, kRgb16Key.green, kRgb16Key.blue}) {
                        row.insert(row.end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
                    }
                } else {
                    for (uint8_t v : {redOf(p), greenOf(p), blueOf(p)}) row.insert(row.end(), {v, v});
                }
                break;
        }
    }
    return row;
}

}  // namespace

TestImage quadrantImage(int width, int height) {
    TestImage image{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            bool right = x >= width / 2, bottom = y >= height / 2;
            uint32_t rgb = bottom ? (right ? 0x000000 : 0x0000FF) : (right ? 0x00FF00 : 0xFF0000);
            image.argb.push_back(kOpaque | rgb);
        }
    }
    return image;
}

TestImage solidImage(int width, int height, uint32_t rgb) {
    return TestImage{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, kOpaque | rgb)};
}

std::vector<uint32_t> paletteOf(const TestImage& image) {
    std::vector<uint32_t> palette;
    for (uint32_t p : image.argb) {
        if (std::find(palette.begin(), palette.end(), p & 0xFFFFFF) == palette.end()) palette.push_back(p & 0xFFFFFF);
    }
    return palette;
}

std::vector<uint8_t> encodeBmp(const TestImage& image, const BmpOptions& options) {
    std::vector<uint8_t> bits;
    std::vector<uint8_t> dib = deviceIndependentBitmap(image, options, image.height, &bits);
    ByteWriter file;
    file.u8('B'), file.u8('M');
    file.le32(static_cast<uint32_t>(14 + dib.size()));
    file.le32(0);
    file.le32(static_cast<uint32_t>(14 + dib.size() - bits.size()));
    file.append(dib);
    return file.bytes;
}

std::vector<uint8_t> encodePng(const TestImage& image, const PngOptions& options) {
    static constexpr int kColourType[] = {PNG_COLOR_TYPE_RGBA,    PNG_COLOR_TYPE_RGB,  PNG_COLOR_TYPE_GRAY,
                                          PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_PALETTE, PNG_COLOR_TYPE_RGBA,
                                          PNG_COLOR_TYPE_GRAY,    PNG_COLOR_TYPE_RGB,  PNG_COLOR_TYPE_RGB};
    const int depth = options.kind == PngKind::Rgba16 || options.kind == PngKind::Rgb16Keyed ? 16
                      : options.kind == PngKind::GrayTwoBitKeyed                             ? 2
                                                                                             : 8;
    PngWriteJob job;
    job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    job.info = png_create_info_struct(job.png);
    if (setjmp(png_jmpbuf(job.png))) throw std::runtime_error("PNG writer failed");
    png_set_write_fn(job.png, &job.out, appendPng, nullptr);
    png_set_IHDR(job.png, job.info, image.width, image.height, depth,
                 kColourType[static_cast<int>(options.kind)],
                 options.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<uint32_t> palette;  // full ARGB entries: alpha goes to tRNS
    if (options.kind == PngKind::Palette) {
        for (uint32_t p : image.argb) {
            if (std::find(palette.begin(), palette.end(), p) == palette.end()) palette.push_back(p);
        }
        std::vector<png_color> colours;
        std::vector<png_byte> alphas;
        for (uint32_t p : palette) {
            colours.push_back(png_color{redOf(p), greenOf(p), blueOf(p)});
            alphas.push_back(alphaOf(p));
        }
        png_set_PLTE(job.png, job.info, colours.data(), static_cast<int>(colours.size()));
        png_set_tRNS(job.png, job.info, alphas.data(), static_cast<int>(alphas.size()), nullptr);
    }
    png_color_16 key{};
    if (options.kind == PngKind::GrayTwoBitKeyed) key.gray = kGrayKey;
    if (options.kind == PngKind::RgbKeyed) key.red = kRgbKey.red, key.green = kRgbKey.green, key.blue = kRgbKey.blue;
    if (options.kind == PngKind::Rgb16Keyed) key = kRgb16Key;
    if (options.kind == PngKind::GrayTwoBitKeyed || options.kind == PngKind::RgbKeyed ||
        options.kind == PngKind::Rgb16Keyed) {
        png_set_tRNS(job.png, job.info, nullptr, 0, &key);
    }
    std::vector<std::vector<uint8_t>> rows;
    std::vector<png_bytep> pointers;
    for (int y = 0; y < image.height; ++y) rows.push_back(pngRow(image, y, options.kind, palette));
    for (auto& row : rows) pointers.push_back(row.data());
    png_set_rows(job.png, job.info, pointers.data());
    png_write_png(job.png, job.info, PNG_TRANSFORM_IDENTITY, nullptr);
    return job.out;
}

std::vector<uint8_t> encodeJpeg(const TestImage& image, const JpegOptions& options) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    info.input_components = options.grayscale ? 1 : 3;
    info.in_color_space = options.grayscale ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    // Full-resolution colour: halved chroma would smear the edges between colours.
    for (int c = 0; c < info.num_components; ++c) info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    if (options.progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    for (int y = 0; y < image.height; ++y) {
        std::vector<uint8_t> row;
        for (int x = 0; x < image.width; ++x) {
            uint32_t p = image.at(x, y);
            if (options.grayscale) row.push_back(grayOf(p));
            else row.insert(row.end(), {redOf(p), greenOf(p), blueOf(p)});
        }
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> out(buffer, buffer + size);
    free(buffer);
    return out;
}

namespace {
int appendGif(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}
}  // namespace

std::vector<uint8_t> encodeGif(const TestImage& image, const GifOptions& options) {
    std::vector<uint32_t> palette;
    bool anyTransparent = false;
    for (uint32_t p : image.argb) {
        if (alphaOf(p) == 0) anyTransparent = true;
        else if (std::find(palette.begin(), palette.end(), p & 0xFFFFFF) == palette.end()) palette.push_back(p & 0xFFFFFF);
    }
    int transparentIndex = anyTransparent ? static_cast<int>(palette.size()) : -1;
    int bits = 1;
    while ((1u << bits) < palette.size() + (anyTransparent ? 1 : 0)) ++bits;
    ColorMapObject* map = GifMakeMapObject(1 << bits, nullptr);
    for (size_t i = 0; i < palette.size(); ++i) {
        map->Colors[i] = GifColorType{redOf(palette[i]), greenOf(palette[i]), blueOf(palette[i])};
    }
    std::vector<uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendGif, &error);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, options.screenWidth ? options.screenWidth : image.width,
                      options.screenHeight ? options.screenHeight : image.height, 8, 0, map);
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, transparentIndex};
    GifByteType extension[4];
    size_t length = EGifGCBToExtension(&control, extension);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension);
    EGifPutImageDesc(gif, options.left, options.top, image.width, image.height, options.interlaced, nullptr);
    std::vector<int> order;
    if (options.interlaced) {
        for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}}) {
            for (int y = start; y < image.height; y += step) order.push_back(y);
        }
    } else {
        for (int y = 0; y < image.height; ++y) order.push_back(y);
    }
    for (int y : order) {
        std::vector<GifPixelType> line;
        for (int x = 0; x < image.width; ++x) {
            uint32_t p = image.at(x, y);
            line.push_back(static_cast<GifPixelType>(alphaOf(p) == 0 ? transparentIndex : indexIn(palette, p)));
        }
        EGifPutLine(gif, line.data(), image.width);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

std::vector<uint8_t> encodeIcon(const TestImage& image, IconImage form) {
    auto bitmapWithMask = [](const TestImage& picture, int bitCount) {
        BmpOptions options;
        options.bitCount = bitCount;
        std::vector<uint8_t> dib = deviceIndependentBitmap(picture, options, picture.height * 2);
        size_t stride = (static_cast<size_t>(picture.width) + 31) / 32 * 4;
        for (int stored = 0; stored < picture.height; ++stored) {
            std::vector<uint8_t> row(stride, 0);
            int y = picture.height - 1 - stored;
            for (int x = 0; x < picture.width; ++x) {
                if (alphaOf(picture.at(x, y)) == 0) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
            dib.insert(dib.end(), row.begin(), row.end());
        }
        return dib;
    };
    std::vector<uint8_t> large;
    switch (form) {
        case IconImage::Png: large = encodePng(image); break;
        case IconImage::Bmp24Mask: large = bitmapWithMask(image, 24); break;
        case IconImage::Bmp8Mask: large = bitmapWithMask(image, 8); break;
        case IconImage::Bmp32Alpha: {
            // 32-bit colour carries its alpha; write the colour rows by hand.
            BmpOptions options;
            options.bitCount = 32;
            large = deviceIndependentBitmap(image, options, image.height * 2);
            for (int stored = 0; stored < image.height; ++stored) {
                for (int x = 0; x < image.width; ++x) {
                    large[40 + (static_cast<size_t>(stored) * image.width + x) * 4 + 3] =
                        alphaOf(image.at(x, image.height - 1 - stored));
                }
            }
            size_t maskStride = (static_cast<size_t>(image.width) + 31) / 32 * 4;
            large.insert(large.end(), maskStride * image.height, 0);
            break;
        }
    }
    std::vector<uint8_t> small = bitmapWithMask(solidImage(1, 1, 0xFFFFFF), 24);

    ByteWriter file;
    file.le16(0), file.le16(1), file.le16(2);
    size_t offset = 6 + 2 * 16;
    auto entry = [&](int width, int height, int bitCount, const std::vector<uint8_t>& data) {
        file.u8(static_cast<uint8_t>(width >= 256 ? 0 : width));
        file.u8(static_cast<uint8_t>(height >= 256 ? 0 : height));
        file.u8(0), file.u8(0);
        file.le16(1), file.le16(static_cast<uint32_t>(bitCount));
        file.le32(static_cast<uint32_t>(data.size()));
        file.le32(static_cast<uint32_t>(offset));
        offset += data.size();
    };
    entry(1, 1, 24, small);
    entry(image.width, image.height, form == IconImage::Bmp8Mask ? 8 : form == IconImage::Bmp24Mask ? 24 : 32, large);
    file.append(small);
    file.append(large);
    return file.bytes;
}

std::vector<uint8_t> withLaterGifFrame(std::vector<uint8_t> gif, int left, int top, int width, int height) {
    gif.pop_back();  // the trailer
    ByteWriter frame;
    frame.u8(0x2C);
    frame.le16(static_cast<uint32_t>(left)), frame.le16(static_cast<uint32_t>(top));
    frame.le16(static_cast<uint32_t>(width)), frame.le16(static_cast<uint32_t>(height));
    frame.u8(0);     // no colour table, not interlaced
    frame.u8(2);     // code size
    frame.u8(0);     // no data
    frame.u8(0x3B);  // trailer
    gif.insert(gif.end(), frame.bytes.begin(), frame.bytes.end());
    return gif;
}

}  // namespace mk::test
