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

// Everything the decoding step touches lives here, outside the function that
// calls setjmp, so a longjmp out of libpng leaves nothing indeterminate.
struct PngJob {
    png_structp png = nullptr;
    png_infop info = nullptr;
    MemoryReader reader;
    const SamplingPlan* plan = nullptr;
    std::optional<RowSampler> sampler;
    // One source row, or for an interlaced file every row that is drawn,
    // as the passes fill each in place.
    std::vector<std::vector<uint8_t, MappedAllocator<uint8_t>>> rows;

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

void put(RowSampler& sampler, int y, uint8_t* row) {
    for (int x = 0; x < sampler.width(); ++x) row[x * 4 + 3] = binaryAlpha(row[x * 4 + 3]);
    sampler.put(y, row);
}

bool decodeInto(PngJob& job) {
    if (setjmp(png_jmpbuf(job.png))) return false;
    png_set_read_fn(job.png, &job.reader, readFromMemory);
    png_set_user_limits(job.png, kMaxPicturePixels, kMaxPicturePixels);
    png_set_chunk_cache_max(job.png, kMaxAncillaryChunks);
    png_set_chunk_malloc_max(job.png, kMaxChunkBytes);
    png_set_keep_unknown_chunks(job.png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(job.png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks, kIgnoredChunkCount);
    png_read_info(job.png, job.info);

    const uint64_t width = png_get_image_width(job.png, job.info);
    const uint64_t height = png_get_image_height(job.png, job.info);
    job.sampler = RowSampler::start({static_cast<int64_t>(width), static_cast<int64_t>(height)}, *job.plan);
    if (!job.sampler) return false;

    // Whatever the colour type and depth, read 8-bit blue, green, red, alpha.
    png_set_expand(job.png);
    png_set_strip_16(job.png);
    png_set_gray_to_rgb(job.png);
    png_set_bgr(job.png);
    png_set_filler(job.png, 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(job.png);
    png_read_update_info(job.png, job.info);
    if (png_get_rowbytes(job.png, job.info) != width * 4) return false;

    RowSampler& sampler = *job.sampler;
    const int rows = sampler.height();
    if (passes == 1) {
        auto& row = job.rows.emplace_back(width * 4);
        for (int y = 0; y < rows; ++y) {
            png_read_row(job.png, row.data(), nullptr);
            if (sampler.wanted(y)) put(sampler, y, row.data());
        }
    } else {
        // Every pass adds pixels to the rows of the ones before: the rows
        // drawn are kept, the others share one.
        std::vector<int> drawn;
        for (int y = 0; y < rows; ++y) {
            if (sampler.wanted(y)) drawn.push_back(y);
        }
        for (size_t i = 0; i <= drawn.size(); ++i) job.rows.emplace_back(width * 4);
        auto rowFor = [&](int y) {
            const auto it = std::ranges::lower_bound(drawn, y);
            return job.rows[it != drawn.end() && *it == y ? it - drawn.begin() : drawn.size()].data();
        };
        for (int pass = 0; pass < passes; ++pass) {
            for (int y = 0; y < rows; ++y) png_read_row(job.png, rowFor(y), nullptr);
        }
        for (size_t i = 0; i < drawn.size(); ++i) put(sampler, drawn[i], job.rows[i].data());
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
