#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "print/mono_rows.h"
#include "print/pcx_image.h"
#include "support/lsf_writer.h"
#include "support/print_job_reader.h"
#include "support/temp_dir.h"

namespace {

// A 32-bit label buffer (blue, green, red, unused), white unless painted.
struct Pixels {
    int width, height, stride;
    std::vector<uint8_t> bytes;
    Pixels(int w, int h, int padding = 0)
        : width(w), height(h), stride(4 * w + padding), bytes(static_cast<size_t>(stride) * h, 0xFF) {}
    void set(int x, int y, uint8_t blue, uint8_t green, uint8_t red) {
        uint8_t* p = &bytes[static_cast<size_t>(y) * stride + 4 * x];
        p[0] = blue, p[1] = green, p[2] = red;
    }
    bool bit(const mk::MonochromeBitmap& bitmap, int x, int y) const {
        return bitmap.bits[static_cast<size_t>(y) * bitmap.bytesPerLine + x / 8] & (0x80 >> (x % 8));
    }
};

std::string encodeRow(std::vector<uint8_t> row) {
    mk::platform::MappedString out;
    mk::pcxEncodeRow(row.data(), static_cast<int>(row.size()), out);
    return std::string(out);
}

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

TEST(PcxEncodeRow, RunsAndLiterals) {
    EXPECT_EQ(encodeRow(std::vector<uint8_t>(8, 0xFF)), bytes({0xC8, 0xFF}));
    EXPECT_EQ(encodeRow({0xC5}), bytes({0xC1, 0xC5}));
    EXPECT_EQ(encodeRow({0xC0}), bytes({0xC1, 0xC0}));
    EXPECT_EQ(encodeRow({0xBF}), bytes({0xBF}));
    EXPECT_EQ(encodeRow({0x12}), bytes({0x12}));
    EXPECT_EQ(encodeRow(std::vector<uint8_t>(100, 0x00)), bytes({0xFF, 0x00, 0xE5, 0x00}));
    EXPECT_EQ(encodeRow({0x01, 0x02, 0x02}), bytes({0x01, 0xC2, 0x02}));
    EXPECT_EQ(encodeRow({}), "");
}

TEST(ToMonochrome, BytesPerLineAreWholeWords) {
    for (auto [width, expected] : {std::pair{1, 4}, {32, 4}, {33, 8}, {64, 8}, {65, 12}}) {
        Pixels pixels(width, 2);
        EXPECT_EQ(mk::toMonochrome(pixels.bytes.data(), width, 2, pixels.stride).bytesPerLine, expected) << width;
    }
}

TEST(ToMonochrome, ImageWithoutPixelsGivesAnEmptyBitmap) {
    Pixels pixels(4, 4);
    for (auto [width, height] : {std::pair{0, 4}, {4, 0}, {0, 0}, {-5, 4}, {4, -5}}) {
        const mk::MonochromeBitmap bitmap = mk::toMonochrome(pixels.bytes.data(), width, height, pixels.stride);
        EXPECT_EQ(bitmap.bytesPerLine, 0) << width << " x " << height;
        EXPECT_TRUE(bitmap.bits.empty()) << width << " x " << height;
    }
}

TEST(ToMonochrome, OneBlackDotOnWhiteIsTheOnlyDarkBit) {
    Pixels pixels(40, 30, 8);  // a stride wider than the row must be honoured
    pixels.set(13, 17, 0, 0, 0);
    const mk::MonochromeBitmap bitmap = mk::toMonochrome(pixels.bytes.data(), 40, 30, pixels.stride);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) EXPECT_EQ(pixels.bit(bitmap, x, y), !(x == 13 && y == 17)) << x << "," << y;
        // Padding bits after the last pixel stay 0.
        EXPECT_EQ(bitmap.bits[static_cast<size_t>(y) * 8 + 5] & 0xFF, 0);
    }
}

TEST(ToMonochrome, ThresholdFollowsTheMeanAndIgnoresTheFourthByte) {
    // Half mid grey (luminance 128), half white: mean ~191, threshold 172.
    Pixels pixels(8, 1);
    for (int x = 0; x < 4; ++x) pixels.set(x, 0, 128, 128, 128);
    for (int x = 0; x < 8; ++x) pixels.bytes[4 * x + 3] = static_cast<uint8_t>(x * 31);
    const mk::MonochromeBitmap bitmap = mk::toMonochrome(pixels.bytes.data(), 8, 1, pixels.stride);
    EXPECT_EQ(bitmap.bits[0], 0x0F);

    // A label of one colour, black included, is all light.
    Pixels black(8, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 8; ++x) black.set(x, y, 0, 0, 0);
    EXPECT_EQ(mk::toMonochrome(black.bytes.data(), 8, 2, black.stride).bits[0], 0xFF);
}

TEST(ToMonochrome, LuminanceWeightsRedGreenBlue) {
    // Pure red 76, green 149, blue 29 against a white mean near 255 × 0.9.
    Pixels pixels(3, 100);
    pixels.set(0, 0, 0, 0, 255);
    pixels.set(1, 0, 0, 255, 0);
    pixels.set(2, 0, 255, 0, 0);
    const mk::MonochromeBitmap bitmap = mk::toMonochrome(pixels.bytes.data(), 3, 100, pixels.stride);
    EXPECT_EQ(bitmap.bits[0], 0x00);
    EXPECT_EQ(bitmap.bits[4], 0xE0);
}

// Widths around every word and vector size, random colours, rows padded:
// each bit follows the per-pixel rule, and the graphic decodes to the same
// bits, with the processor's widest row code and with the plain one.
class ToMonochromeRows : public testing::TestWithParam<mk::RowCode> {
protected:
    void SetUp() override { mk::useRowCode(GetParam()); }
    void TearDown() override { mk::useRowCode(mk::RowCode::Widest); }
};
INSTANTIATE_TEST_SUITE_P(Code, ToMonochromeRows, testing::Values(mk::RowCode::Widest, mk::RowCode::Plain));

TEST_P(ToMonochromeRows, EveryPixelFollowsTheRuleAtAnyWidth) {
    std::mt19937 random(11);
    std::vector<int> widths;
    for (int w = 1; w <= 70; ++w) widths.push_back(w);
    widths.push_back(1023);
    for (int width : widths) {
        const int height = 3;
        Pixels pixels(width, height, 4 * (width % 3));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const unsigned r = random();
                if (r % 4 == 0) pixels.set(x, y, static_cast<uint8_t>(r >> 8), static_cast<uint8_t>(r >> 16),
                                           static_cast<uint8_t>(r >> 24));
            }
        uint64_t sum = 0;
        const auto level = [&](int x, int y) {
            const uint8_t* p = &pixels.bytes[static_cast<size_t>(y) * pixels.stride + 4 * x];
            return (38 * p[2] + 75 * p[1] + 15 * p[0]) >> 7;
        };
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) sum += level(x, y);
        const int threshold = static_cast<int>(0.9 * (static_cast<double>(sum) / (width * height)));

        const mk::MonochromeBitmap bitmap = mk::toMonochrome(pixels.bytes.data(), width, height, pixels.stride);
        ASSERT_EQ(bitmap.bits.size(), static_cast<size_t>(bitmap.bytesPerLine) * height) << width;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < bitmap.bytesPerLine * 8; ++x) {
                const bool light = x < width && level(x, y) >= threshold;
                ASSERT_EQ(pixels.bit(bitmap, x, y), light) << "width " << width << " at " << x << "," << y;
            }
        }
        const std::optional<mk::test::PcxPicture> decoded =
            mk::test::decodePcx(mk::buildPcxImage(pixels.bytes.data(), width, height, pixels.stride));
        ASSERT_TRUE(decoded.has_value()) << width;
        EXPECT_EQ(decoded->bits, bitmap.bits) << width;
    }
}

TEST(BuildPcxImage, HeaderOfA100By50Label) {
    Pixels pixels(100, 50);
    const std::string pcx(mk::buildPcxImage(pixels.bytes.data(), 100, 50, pixels.stride));
    ASSERT_GE(pcx.size(), 128u);
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(pcx[i]); };
    EXPECT_EQ(byte(0), 0x0A);
    EXPECT_EQ(byte(1), 0x00);
    EXPECT_EQ(byte(2), 0x01);
    EXPECT_EQ(byte(3), 0x01);
    for (size_t i = 4; i < 8; ++i) EXPECT_EQ(byte(i), 0);
    EXPECT_EQ(byte(8), 99);
    EXPECT_EQ(byte(9), 0);
    EXPECT_EQ(byte(10), 49);
    EXPECT_EQ(byte(11), 0);
    EXPECT_EQ(byte(12), 0xC8);
    EXPECT_EQ(byte(13), 0);
    EXPECT_EQ(byte(14), 0xC8);
    EXPECT_EQ(byte(15), 0);
    for (size_t i = 16; i < 19; ++i) EXPECT_EQ(byte(i), 0x00);
    for (size_t i = 19; i < 22; ++i) EXPECT_EQ(byte(i), 0xFF);
    for (size_t i = 22; i < 66; ++i) EXPECT_EQ(byte(i), 0) << i;
    EXPECT_EQ(byte(66), 0x10);
    EXPECT_EQ(byte(67), 0x00);
    for (size_t i = 68; i < 128; ++i) EXPECT_EQ(byte(i), 0) << i;
    // All white: 12 light bytes, 4 light pixels then padding, 3 padding bytes.
    EXPECT_EQ(pcx.substr(128), [] {
        std::string rows;
        for (int r = 0; r < 50; ++r) rows += bytes({0xCC, 0xFF, 0xC1, 0xF0, 0xC3, 0x00});
        return rows;
    }());
}

// Reads a binary PPM (P6) as written by netpbm.
bool readPpm(const std::string& data, int& width, int& height, std::string& rgb) {
    int maxval = 0, consumed = 0;
    if (std::sscanf(data.c_str(), "P6 %d %d %d%n", &width, &height, &maxval, &consumed) != 3) return false;
    rgb = data.substr(static_cast<size_t>(consumed) + 1);
    return maxval == 255 && rgb.size() == static_cast<size_t>(width) * height * 3;
}

TEST(BuildPcxImage, AnIndependentReaderSeesTheSameBits) {
    if (std::system("command -v pcxtoppm >/dev/null 2>&1") != 0) GTEST_SKIP() << "netpbm is not installed";
    const int width = 77, height = 23;
    Pixels pixels(width, height);
    std::mt19937 random(7);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (random() % 3 == 0 || (y == 5 && x > 10)) pixels.set(x, y, 0, 0, 0);
    const mk::MonochromeBitmap bitmap = mk::toMonochrome(pixels.bytes.data(), width, height, pixels.stride);
    auto pcx = mk::buildPcxImage(pixels.bytes.data(), width, height, pixels.stride);

    // The printer's reader takes a plane count of 0; common readers insist on 1.
    pcx[65] = 1;
    const mk::test::TempDir dir;  // removed on every path, a failed assertion's included
    ASSERT_TRUE(mk::test::writeFile(dir / "label.pcx", pcx));
    const std::string command = "pcxtoppm " + (dir / "label.pcx").string() + " > " + (dir / "label.ppm").string();
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream ppmFile(dir / "label.ppm", std::ios::binary);
    const std::string ppm((std::istreambuf_iterator<char>(ppmFile)), std::istreambuf_iterator<char>());

    int ppmWidth = 0, ppmHeight = 0;
    std::string rgb;
    ASSERT_TRUE(readPpm(ppm, ppmWidth, ppmHeight, rgb));
    ASSERT_EQ(ppmWidth, width);
    ASSERT_EQ(ppmHeight, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t value = static_cast<uint8_t>(rgb[(static_cast<size_t>(y) * width + x) * 3]);
            EXPECT_EQ(value == 0xFF, pixels.bit(bitmap, x, y)) << x << "," << y;
        }
    }
}

}  // namespace
