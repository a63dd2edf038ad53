#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/label_object.h"
#include "platform/device_context.h"
#include "platform/picture.h"

namespace mk {

// A picture as one image object draws it on one surface: only the source
// pixels its drawing shows, so that it costs its drawn area, whatever the
// picture's own size.
struct PlacedPicture {
    // The columns on the surface, of each source row the drawing shows.
    platform::Picture pixels;
    // Where the first column and the first line go on the surface.
    int left = 0;
    int top = 0;
    // For each surface row from top down, the row of pixels drawn there.
    std::vector<int32_t> lines;
};

// The source pixels one call may decode, all its pictures together, each
// counted by the size its headers declare before anything is decoded.
inline constexpr int64_t kMaxDecodedPixelsPerCall = 400'000'000;
// What a call keeps of drawn pictures for objects still to come: the
// decoding of a picture serves the label's other drawings of it only while
// they fit, and a large drawn picture is not kept after its object.
inline constexpr size_t kKeptDrawnPictureBytes = size_t{64} << 20;

// The pictures of one render or print call. Objects of the label that hold
// the same bytes share one decoding, at whatever sizes and places they are
// drawn, and each picture's decoding is counted against
// kMaxDecodedPixelsPerCall whether or not the picture cache holds what it
// gives. A picture beyond that, or one memory ran out for, is left out, and
// the call must then fail (failed). What it holds lives until the call ends.
class CallPictures {
public:
    CallPictures() = default;
    // The objects the call draws; they and their bytes must outlive this record.
    explicit CallPictures(std::span<const LabelObject> objects) : objects_(objects) {}
    CallPictures(const CallPictures&) = delete;
    CallPictures& operator=(const CallPictures&) = delete;

    // The object's picture as drawn at dpi on a surface of the given size;
    // without pixels when it cannot be drawn or nothing of it shows.
    std::shared_ptr<const PlacedPicture> pictureFor(const LabelObject& object, int dpi, int surfaceWidth,
                                                    int surfaceHeight);
    // Whether a picture was left out: the call's decoding would have gone
    // beyond kMaxDecodedPixelsPerCall, or memory ran out.
    bool failed() const { return failed_; }
    void fail() { failed_ = true; }

    // What decides a drawing besides the bytes and the picture's size: the
    // destination rule, the position and the surface.
    using Geometry = std::array<int64_t, 8>;

private:
    struct Key {
        std::span<const uint8_t> bytes;
        int context = 0;
        Geometry geometry{};
    };
    struct KeyHash {
        size_t operator()(const Key& key) const;
    };
    struct KeyEqual {
        bool operator()(const Key& a, const Key& b) const;
    };
    void decodeTogether(std::span<const uint8_t> bytes, int context, const std::vector<Geometry>& geometries);
    bool charge(int64_t pixels);

    std::span<const LabelObject> objects_;
    // The image objects to draw by their bytes, made when first needed.
    struct BytesHash {
        size_t operator()(std::string_view bytes) const;
    };
    std::unordered_map<std::string_view, std::vector<const LabelObject*>, BytesHash> byBytes_;
    bool indexed_ = false;
    std::unordered_map<Key, std::shared_ptr<const PlacedPicture>, KeyHash, KeyEqual> placed_;
    size_t keptBytes_ = 0;
    int64_t pixels_ = 0;
    bool failed_ = false;
};

// Draws an image object on the label surface at the render resolution.
// Reports nothing: an object that cannot be drawn is skipped, and a picture
// beyond the call's budget is noted in pictures.
void drawImageObject(platform::DeviceContext& dc, const LabelObject& object, int dpi, CallPictures& pictures);

}  // namespace mk
