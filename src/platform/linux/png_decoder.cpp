#include "platform/linux/png_decoder.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <memory>
#include <vector>

namespace mk::platform {
namespace {

// Ancillary chunks a picture is drawn without: libpng would otherwise keep
// each (inflated, for the compressed texts) until the decoding ends.
constexpr png_byte kIgnoredChunks[] = "bKGD\0cHRM\0cICP\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0mDCv\0cLLi\0oFFs\0pCAL\0"
                                      "pHYs\0sBIT\0sCAL\0sPLT\0sRGB\0tEXt\0tIME\0zTXt\0acTL\0fcTL\0fdAT";
constexpr int kIgnoredChunkCount = (sizeof kIgnoredChunks) / 5;
// What libpng may allocate for one chunk's data, and how many ancillary
// chunks it may read, whatever the file holds.
constexpr png_alloc_size_t kMaxChunkBytes = png_alloc_size_t{1} << 20;
constexpr png_uint_32 kMaxAncillaryChunks = 1000;

struct MemoryReader {
    std::span<const uint8_t> bytes;
    size_t at = 0;
};

// A file's rows as libpng gives them untransformed (packed samples,
// 16-bit ones big-endian) made into 4-byte pixels the way its expand,
// strip-16, grey-to-colour and filler transforms make them: only the rows a
// drawing shows are converted, while libpng's transforms would touch every
// row.
class RowConverter {
public:
    RowConverter(png_structp png, png_infop info)
        : width_(png_get_image_width(png, info)),
          depth_(png_get_bit_depth(png, info)),
          type_(png_get_color_type(png, info)) {
        png_colorp palette = nullptr;
        int entries = 0;
        if (png_get_PLTE(png, info, &palette, &entries) != 0 && palette != nullptr) {
            palette_.assign(palette, palette + std::clamp(entries, 0, 256));
        }
        png_bytep alphas = nullptr;
        int alphaCount = 0;
        png_color_16p colour = nullptr;
        if (png_get_tRNS(png, info, &alphas, &alphaCount, &colour) != 0) {
            if (type_ == PNG_COLOR_TYPE_PALETTE && alphas != nullptr) {
                alphas_.assign(alphas, alphas + std::clamp(alphaCount, 0, 256));
            } else if (colour != nullptr) {
                transparent_ = *colour;
                hasTransparent_ = true;
            }
        }
    }

    void convert(const uint8_t* raw, uint8_t* out) const {
        for (size_t x = 0; x < width_; ++x, out += 4) {
            switch (type_) {
                case PNG_COLOR_TYPE_GRAY: {
                    const unsigned value = sample(raw, x, 1, 0);
                    const uint8_t grey = eightBits(value);
                    put(out, grey, grey, grey,
                        hasTransparent_ && value == (transparent_.gray & mask()) ? 0 : 255);
                    break;
                }
                case PNG_COLOR_TYPE_GRAY_ALPHA: {
                    const uint8_t grey = eightBits(sample(raw, x, 2, 0));
                    put(out, grey, grey, grey, eightBits(sample(raw, x, 2, 1)));
                    break;
                }
                case PNG_COLOR_TYPE_PALETTE: {
                    const unsigned index = sample(raw, x, 1, 0);
                    const png_color colour = index < palette_.size() ? palette_[index] : png_color{0, 0, 0};
                    put(out, colour.red, colour.green, colour.blue, index < alphas_.size() ? alphas_[index] : 255);
                    break;
                }
                case PNG_COLOR_TYPE_RGB: {
                    const unsigned r = sample(raw, x, 3, 0), g = sample(raw, x, 3, 1), b = sample(raw, x, 3, 2);
                    const bool clear = hasTransparent_ && r == (transparent_.red & mask()) &&
                                       g == (transparent_.green & mask()) && b == (transparent_.blue & mask());
                    put(out, eightBits(r), eightBits(g), eightBits(b), clear ? 0 : 255);
                    break;
                }
                default:  // colour with alpha
                    put(out, eightBits(sample(raw, x, 4, 0)), eightBits(sample(raw, x, 4, 1)),
                        eightBits(sample(raw, x, 4, 2)), eightBits(sample(raw, x, 4, 3)));
                    break;
            }
        }
    }

private:
    // Channel c of pixel x, of channels per pixel, as stored.
    unsigned sample(const uint8_t* raw, size_t x, size_t channels, size_t c) const {
        if (depth_ == 8) return raw[x * channels + c];
        if (depth_ == 16) return unsigned{raw[(x * channels + c) * 2]} << 8 | raw[(x * channels + c) * 2 + 1];
        const size_t bit = x * depth_;
        return (raw[bit / 8] >> (8 - depth_ - bit % 8)) & mask();
    }
    unsigned mask() const { return depth_ == 16 ? 0xFFFFu : (1u << depth_) - 1; }
    // Fewer bits are scaled up, 16 bits keep their high byte.
    uint8_t eightBits(unsigned value) const {
        if (depth_ == 16) return static_cast<uint8_t>(value >> 8);
        return static_cast<uint8_t>(value * (255 / mask()));
    }
    static void put(uint8_t* out, uint8_t red, uint8_t green, uint8_t blue, unsigned alpha) {
        out[0] = blue;
        out[1] = green;
        out[2] = red;
        out[3] = binaryAlpha(alpha);
    }

    size_t width_;
    unsigned depth_;
    int type_;
    std::vector<png_color> palette_;
    std::vector<uint8_t> alphas_;
    png_color_16 transparent_{};
    bool hasTransparent_ = false;
};

// Everything the decoding step touches lives here, outside the function that
// calls setjmp, so a longjmp out of libpng leaves nothing indeterminate and
// nothing unfreed.
struct PngJob {
    png_structp png = nullptr;
    png_infop info = nullptr;
    MemoryReader reader;
    const SamplingPlan* plan = nullptr;
    std::optional<RowSampler> sampler;
    // One source row as stored, or for an interlaced file every row that
    // is drawn, as the passes fill each in place; and one row of pixels.
    std::vector<std::vector<uint8_t, MappedAllocator<uint8_t>>> rows;
    std::vector<uint8_t, MappedAllocator<uint8_t>> pixels;
    std::vector<int> drawnRows;
    std::optional<RowConverter> converter;

    ~PngJob() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

void readFromMemory(png_structp png, png_bytep out, png_size_t length) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (reader->bytes.size() - reader->at < length) png_error(png, "truncated");
    std::copy_n(reader->bytes.data() + reader->at, length, out);
    reader->at += length;
}

// libpng prints to stderr by default; a damaged label image is not worth a line.
void failQuietly(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void ignoreWarning(png_structp, png_const_charp) {}

bool decodeInto(PngJob& job) {
    if (setjmp(png_jmpbuf(job.png))) return false;
    png_set_read_fn(job.png, &job.reader, readFromMemory);
    png_set_user_limits(job.png, kMaxPictureWidth, kMaxPicturePixels);
    png_set_chunk_cache_max(job.png, kMaxAncillaryChunks);
    png_set_chunk_malloc_max(job.png, kMaxChunkBytes);
    png_set_keep_unknown_chunks(job.png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(job.png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks, kIgnoredChunkCount);
    png_read_info(job.png, job.info);

    const uint64_t width = png_get_image_width(job.png, job.info);
    const uint64_t height = png_get_image_height(job.png, job.info);
    job.sampler = RowSampler::start({static_cast<int64_t>(width), static_cast<int64_t>(height)}, *job.plan);
    if (!job.sampler) return false;
    const int passes = png_set_interlace_handling(job.png);
    png_read_update_info(job.png, job.info);
    const size_t rowBytes = png_get_rowbytes(job.png, job.info);
    job.converter.emplace(job.png, job.info);

    RowSampler& sampler = *job.sampler;
    const int rows = sampler.height();
    job.pixels.resize(width * 4);
    const auto put = [&](int y, const uint8_t* raw) {
        job.converter->convert(raw, job.pixels.data());
        sampler.put(y, job.pixels.data());
    };
    if (passes == 1) {
        auto& row = job.rows.emplace_back(rowBytes);
        for (int y = 0; y < rows; ++y) {
            png_read_row(job.png, row.data(), nullptr);
            if (sampler.wanted(y)) put(y, row.data());
        }
    } else {
        // Every pass adds pixels to the rows of the ones before: the rows
        // drawn are kept, the others share one.
        std::vector<int>& drawn = job.drawnRows;
        for (int y = 0; y < rows; ++y) {
            if (sampler.wanted(y)) drawn.push_back(y);
        }
        for (size_t i = 0; i <= drawn.size(); ++i) job.rows.emplace_back(rowBytes);
        auto rowFor = [&](int y) {
            const auto it = std::ranges::lower_bound(drawn, y);
            return job.rows[it != drawn.end() && *it == y ? it - drawn.begin() : drawn.size()].data();
        };
        for (int pass = 0; pass < passes; ++pass) {
            for (int y = 0; y < rows; ++y) png_read_row(job.png, rowFor(y), nullptr);
        }
        for (size_t i = 0; i < drawn.size(); ++i) put(drawn[i], job.rows[i].data());
    }
    // Reads up to the end chunk, so a file cut short anywhere draws nothing.
    png_read_end(job.png, nullptr);
    return true;
}

}  // namespace

std::optional<std::vector<Picture>> decodePng(std::span<const uint8_t> bytes, const SamplingPlan& plan) {
    if (!looksLikePng(bytes)) return std::nullopt;
    PngJob job;
    job.reader.bytes = bytes;
    job.plan = &plan;
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, failQuietly, ignoreWarning);
    if (!job.png) return std::nullopt;
    job.info = png_create_info_struct(job.png);
    if (!job.info) return std::nullopt;
    if (!decodeInto(job)) return std::nullopt;
    return job.sampler->finish();
}

}  // namespace mk::platform
