#include "platform/linux/jpeg_decoder.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

namespace mk::platform {
namespace {

// A progressive file may carry any number of scans, each a full pass over
// the coefficients: a few hundred bytes of scans that change nothing cost
// seconds on a large picture. Scans are counted by the pixels they pass
// over: a 100-megapixel picture may have 15 (the usual progressive files
// have 6 to 10), a small one up to kMaxScans.
constexpr int kMaxScans = 256;
constexpr int64_t kMaxScanPixels = 1'500'000'000;
// What libjpeg may hold at once: a progressive file keeps every coefficient
// of the picture (2 bytes each, per component) until its last scan.
constexpr long kMaxMemoryBytes = 320L << 20;

struct ErrorExit {
    jpeg_error_mgr manager;  // first, so the library's pointer to it is one to this
    std::jmp_buf jump;
};

// Everything the decoding step touches lives here, outside the function that
// calls setjmp, so a longjmp out of libjpeg leaves nothing indeterminate.
struct JpegJob {
    jpeg_decompress_struct info{};
    ErrorExit error{};
    jpeg_progress_mgr progress{};
    bool created = false;
    const SamplingPlan* plan = nullptr;
    std::optional<RowSampler> sampler;
    std::vector<uint8_t, MappedAllocator<uint8_t>> row;

    ~JpegJob() {
        if (created) jpeg_destroy_decompress(&info);
    }
};

[[noreturn]] void jumpOut(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorExit*>(info->err)->jump, 1); }
// Warnings go to stderr by default. Most are recoverable damage and the
// picture still draws; a file that ends early does not, like any other
// truncated image.
void ignoreMessage(j_common_ptr) {}
void stopAtEndOfData(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) jumpOut(info);
}

void limitScans(j_common_ptr common) {
    auto* info = reinterpret_cast<j_decompress_ptr>(common);
    const int64_t pixels = int64_t{info->image_width} * info->image_height;
    if (info->input_scan_number > kMaxScans || info->input_scan_number * pixels > kMaxScanPixels) jumpOut(common);
}

bool decodeInto(JpegJob& job, std::span<const uint8_t> bytes) {
    if (setjmp(job.error.jump)) return false;
    jpeg_create_decompress(&job.info);
    job.created = true;
    job.info.mem->max_memory_to_use = kMaxMemoryBytes;
    job.info.progress = &job.progress;
    jpeg_mem_src(&job.info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&job.info, TRUE) != JPEG_HEADER_OK) return false;
    if (job.info.jpeg_color_space != JCS_GRAYSCALE && job.info.jpeg_color_space != JCS_YCbCr &&
        job.info.jpeg_color_space != JCS_RGB) {
        return false;
    }
    job.sampler = RowSampler::start({job.info.image_width, job.info.image_height}, *job.plan);
    if (!job.sampler) return false;

    job.info.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&job.info);
    RowSampler& sampler = *job.sampler;
    if (static_cast<int>(job.info.output_width) != sampler.width() ||
        static_cast<int>(job.info.output_height) != sampler.height()) {
        return false;
    }
    job.row.resize(size_t{job.info.output_width} * 4);
    while (job.info.output_scanline < job.info.output_height) {
        const int y = static_cast<int>(job.info.output_scanline);
        JSAMPROW row = job.row.data();
        if (jpeg_read_scanlines(&job.info, &row, 1) != 1) return false;
        if (sampler.wanted(y)) sampler.put(y, row);
    }
    jpeg_finish_decompress(&job.info);
    return true;
}

}  // namespace

std::optional<std::vector<Picture>> decodeJpeg(std::span<const uint8_t> bytes, const SamplingPlan& plan) {
    if (!looksLikeJpeg(bytes)) return std::nullopt;
    JpegJob job;
    job.plan = &plan;
    job.info.err = jpeg_std_error(&job.error.manager);
    job.error.manager.error_exit = jumpOut;
    job.error.manager.output_message = ignoreMessage;
    job.error.manager.emit_message = stopAtEndOfData;
    job.progress.progress_monitor = limitScans;
    if (!decodeInto(job, bytes)) return std::nullopt;
    return job.sampler->finish();
}

}  // namespace mk::platform
