#include "platform/linux/png_decoder.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <memory>
#include <vector>

namespace mk::platform {
namespace {

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
    std::optional<Picture> picture;
    std::vector<png_bytep> rows;

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
    png_set_user_limits(job.png, kMaxPicturePixels, kMaxPicturePixels);
    png_read_info(job.png, job.info);

    uint64_t width = png_get_image_width(job.png, job.info);
    uint64_t height = png_get_image_height(job.png, job.info);
    job.picture = makePicture(static_cast<int64_t>(width), static_cast<int64_t>(height));
    if (!job.picture) return false;

    // Whatever the colour type and depth, read 8-bit blue, green, red, alpha.
    png_set_expand(job.png);
    png_set_strip_16(job.png);
    png_set_gray_to_rgb(job.png);
    png_set_bgr(job.png);
    png_set_filler(job.png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(job.png);
    png_read_update_info(job.png, job.info);
    if (png_get_rowbytes(job.png, job.info) != width * 4) return false;

    job.rows.resize(job.picture->height);
    for (int y = 0; y < job.picture->height; ++y) job.rows[y] = job.picture->pixel(0, y);
    png_read_image(job.png, job.rows.data());
    // Reads up to the end chunk, so a file cut short anywhere draws nothing.
    png_read_end(job.png, nullptr);
    return true;
}

}  // namespace

std::optional<Picture> decodePng(std::span<const uint8_t> bytes) {
    if (!looksLikePng(bytes)) return std::nullopt;
    PngJob job;
    job.reader.bytes = bytes;
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, failQuietly, ignoreWarning);
    if (!job.png) return std::nullopt;
    job.info = png_create_info_struct(job.png);
    if (!job.info) return std::nullopt;
    if (!decodeInto(job)) return std::nullopt;
    for (size_t at = 3; at < job.picture->pixels.size(); at += 4) {
        job.picture->pixels[at] = binaryAlpha(job.picture->pixels[at]);
    }
    return std::move(job.picture);
}

}  // namespace mk::platform
