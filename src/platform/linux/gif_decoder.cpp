#include "platform/linux/gif_decoder.h"

#include <gif_lib.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace mk::platform {
namespace {

struct MemoryReader {
    std::span<const uint8_t> bytes;
    size_t at = 0;
};

int readFromMemory(GifFileType* gif, GifByteType* out, int length) {
    auto* reader = static_cast<MemoryReader*>(gif->UserData);
    size_t count = std::min(static_cast<size_t>(std::max(length, 0)), reader->bytes.size() - reader->at);
    std::copy_n(reader->bytes.data() + reader->at, count, out);
    reader->at += count;
    return static_cast<int>(count);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifFile = std::unique_ptr<GifFileType, GifCloser>;

// Skips extension records up to the first image descriptor, keeping the
// transparent colour index a graphic control extension gives it (-1: none).
bool seekFirstFrame(GifFileType* gif, int& transparentIndex) {
    transparentIndex = -1;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) return false;
        if (type == IMAGE_DESC_RECORD_TYPE) return DGifGetImageDesc(gif) != GIF_ERROR;
        if (type != EXTENSION_RECORD_TYPE) return false;
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
        GraphicsControlBlock control;
        if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr &&
            DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
            transparentIndex = control.TransparentColor;
        }
        while (block != nullptr) {
            if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
        }
    }
}

// Rows of an interlaced frame arrive in four passes.
std::vector<int> frameRowOrder(int height, bool interlaced) {
    std::vector<int> order;
    order.reserve(height);
    if (!interlaced) {
        for (int y = 0; y < height; ++y) order.push_back(y);
        return order;
    }
    static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        for (int y = kStart[pass]; y < height; y += kStep[pass]) order.push_back(y);
    }
    return order;
}

}  // namespace

std::optional<std::vector<Picture>> decodeGif(std::span<const uint8_t> bytes, const SamplingPlan& plan) {
    if (!looksLikeGif(bytes)) return std::nullopt;
    MemoryReader reader{bytes};
    int error = 0;
    GifFile gif(DGifOpen(&reader, readFromMemory, &error));
    if (!gif) return std::nullopt;
    int transparentIndex = -1;
    if (!seekFirstFrame(gif.get(), transparentIndex)) return std::nullopt;

    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* colours = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (colours == nullptr || frame.Width < 1 || frame.Height < 1 || frame.Left < 0 || frame.Top < 0) {
        return std::nullopt;
    }
    // The screen, widened to hold the frame; outside the frame it is transparent.
    auto sampler = RowSampler::start({std::max<int64_t>(gif->SWidth, int64_t{frame.Left} + frame.Width),
                                      std::max<int64_t>(gif->SHeight, int64_t{frame.Top} + frame.Height)},
                                     plan);
    if (!sampler) return std::nullopt;

    std::vector<GifPixelType> line(frame.Width);
    std::vector<uint8_t, MappedAllocator<uint8_t>> row(static_cast<size_t>(sampler->width()) * 4);
    for (int y : frameRowOrder(frame.Height, frame.Interlace)) {
        if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) return std::nullopt;
        if (!sampler->wanted(frame.Top + y)) continue;
        for (int x = 0; x < frame.Width; ++x) {
            const int index = line[x];
            uint8_t* out = row.data() + (static_cast<size_t>(frame.Left) + x) * 4;
            if (index == transparentIndex) {
                std::fill_n(out, 4, uint8_t{0});
                continue;
            }
            GifColorType colour = index < colours->ColorCount ? colours->Colors[index] : GifColorType{0, 0, 0};
            out[0] = colour.Blue;
            out[1] = colour.Green;
            out[2] = colour.Red;
            out[3] = 255;
        }
        sampler->put(frame.Top + y, row.data());
    }
    return sampler->finish();
}

}  // namespace mk::platform
