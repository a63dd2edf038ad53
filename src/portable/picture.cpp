#include "platform/picture.h"

namespace mk::platform {

std::optional<Picture> makePicture(int64_t width, int64_t height) {
    if (width < 1 || height < 1 || width > kMaxPicturePixels || height > kMaxPicturePixels ||
        width * height > kMaxPicturePixels) {
        return std::nullopt;
    }
    Picture picture;
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    picture.pixels.assign(static_cast<size_t>(width * height) * 4, 0);
    return picture;
}

}  // namespace mk::platform
