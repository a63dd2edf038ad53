#include "platform/picture.h"

#include <algorithm>
#include <cstring>

namespace mk::platform {

std::optional<Picture> makePicture(int64_t width, int64_t height) {
    if (!withinPictureLimit({width, height})) return std::nullopt;
    Picture picture;
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    picture.pixels.assign(static_cast<size_t>(width * height) * 4, 0);
    return picture;
}

PictureSampling wholePicture(PixelSize size) {
    PictureSampling sampling;
    sampling.columns.resize(static_cast<size_t>(size.width));
    sampling.rows.resize(static_cast<size_t>(size.height));
    for (size_t x = 0; x < sampling.columns.size(); ++x) sampling.columns[x] = static_cast<int32_t>(x);
    for (size_t y = 0; y < sampling.rows.size(); ++y) sampling.rows[y] = static_cast<int32_t>(y);
    return sampling;
}

std::optional<RowSampler> RowSampler::start(PixelSize size, const SamplingPlan& plan) {
    if (!withinPictureLimit(size)) return std::nullopt;
    auto samplings = plan(size);
    if (!samplings) return std::nullopt;
    RowSampler sampler;
    sampler.size_ = size;
    for (PictureSampling& sampling : *samplings) {
        const auto outside = [](int64_t at, int64_t end) { return at < 0 || at >= end; };
        if (std::ranges::any_of(sampling.columns, [&](int32_t x) { return outside(x, size.width); }) ||
            std::ranges::any_of(sampling.rows, [&](int32_t y) { return outside(y, size.height); }) ||
            !std::ranges::is_sorted(sampling.rows)) {
            return std::nullopt;
        }
        Picture drawn;
        drawn.width = static_cast<int>(sampling.columns.size());
        drawn.height = static_cast<int>(sampling.rows.size());
        drawn.pixels.assign(sampling.columns.size() * sampling.rows.size() * 4, 0);
        sampler.drawn_.push_back(std::move(drawn));
        sampler.samplings_.push_back(std::move(sampling));
    }
    return sampler;
}

bool RowSampler::wanted(int y) const {
    return std::ranges::any_of(samplings_, [y](const PictureSampling& s) { return std::ranges::binary_search(s.rows, y); });
}

void RowSampler::put(int y, const uint8_t* row) {
    for (size_t i = 0; i < samplings_.size(); ++i) {
        const PictureSampling& sampling = samplings_[i];
        const auto first = std::lower_bound(sampling.rows.begin(), sampling.rows.end(), y);
        if (first == sampling.rows.end() || *first != y) continue;
        Picture& drawn = drawn_[i];
        uint8_t* out = drawn.pixel(0, static_cast<int>(first - sampling.rows.begin()));
        for (int32_t x : sampling.columns) {
            std::memcpy(out, row + static_cast<size_t>(x) * 4, 4);
            out += 4;
        }
    }
}

std::optional<std::vector<Picture>> samplePicture(const Picture& picture, const SamplingPlan& plan) {
    auto sampler = RowSampler::start({picture.width, picture.height}, plan);
    if (!sampler) return std::nullopt;
    for (int y = 0; y < picture.height; ++y) {
        if (sampler->wanted(y)) sampler->put(y, picture.pixel(0, y));
    }
    return sampler->finish();
}

}  // namespace mk::platform
