#include "platform/picture_loader.h"

#include <new>

#include "platform/linux/gif_decoder.h"
#include "platform/linux/icon_reader.h"
#include "platform/linux/jpeg_decoder.h"
#include "platform/linux/png_decoder.h"

namespace mk::platform {
namespace {

struct PictureFormat {
    bool (*looksLike)(std::span<const uint8_t>);
    std::optional<std::vector<Picture>> (*decode)(std::span<const uint8_t>, const SamplingPlan&);
};

// Formats are told apart by their signatures, whatever a file name might say.
constexpr PictureFormat kFormats[] = {
    {looksLikePng, decodePng},
    {looksLikeJpeg, decodeJpeg},
    {looksLikeGif, decodeGif},
    {looksLikeIcon, decodeIcon},
};

}  // namespace

std::optional<std::vector<Picture>> loadPicture(std::span<const uint8_t> bytes, const SamplingPlan& plan) noexcept {
    try {
        for (const PictureFormat& format : kFormats) {
            if (format.looksLike(bytes)) return format.decode(bytes, plan);
        }
    } catch (const std::bad_alloc&) {
    }
    return std::nullopt;
}

std::optional<Picture> loadPicture(std::span<const uint8_t> bytes) noexcept {
    try {
        auto pictures = loadPicture(bytes, [](PixelSize size) {
            return std::optional(std::vector<PictureSampling>{wholePicture(size)});
        });
        if (!pictures || pictures->size() != 1) return std::nullopt;
        return std::move(pictures->front());
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

// Pictures are decoded at their own pixel size, the same on every thread.
int pictureLoaderContext() noexcept { return 0; }

}  // namespace mk::platform
