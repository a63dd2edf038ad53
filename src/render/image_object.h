#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <unordered_map>

#include "model/label_object.h"
#include "platform/device_context.h"
#include "platform/picture.h"

namespace mk {

// The pictures of one render or print call. Identical image bytes are
// decoded once per call, whether or not the picture cache can keep the
// picture, and the distinct pictures one call draws hold at most
// kMaxPicturesPixelsPerCall pixels together, each counted by the size its
// header declares before anything is decoded; a picture beyond that is not
// drawn. What it holds lives until the call ends.
class CallPictures {
public:
    CallPictures() = default;
    CallPictures(const CallPictures&) = delete;
    CallPictures& operator=(const CallPictures&) = delete;

    // The picture of the bytes, or a picture without pixels when they cannot
    // be drawn. The bytes must outlive this record.
    std::shared_ptr<const platform::Picture> pictureOf(std::span<const uint8_t> bytes);

private:
    struct Key {
        std::span<const uint8_t> bytes;
        int context = 0;
    };
    struct KeyHash {
        size_t operator()(const Key& key) const;
    };
    struct KeyEqual {
        bool operator()(const Key& a, const Key& b) const;
    };
    std::unordered_map<Key, std::shared_ptr<const platform::Picture>, KeyHash, KeyEqual> pictures_;
    int64_t pixels_ = 0;
};

// One picture's worth: a call may draw one picture of the largest size, or
// several smaller ones.
inline constexpr int64_t kMaxPicturesPixelsPerCall = platform::kMaxPicturePixels;

// Draws a image object on the label surface at the render resolution.
// Reports nothing: an object that cannot be drawn is skipped.
void drawImageObject(platform::DeviceContext& dc, const LabelObject& object, int dpi, CallPictures& pictures);
// The same as a call of its own.
void drawImageObject(platform::DeviceContext& dc, const LabelObject& object, int dpi);

}  // namespace mk
