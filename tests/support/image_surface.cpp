#include "support/image_surface.h"

#include <algorithm>
#include <cstdlib>

#include "render/image_object.h"

namespace mk::test {

LabelObject imageObject(const std::vector<uint8_t>& bytes) {
    LabelObject object;
    object.ObjectName = "image1";
    object.Xposition = 0.0f;
    object.Yposition = 0.0f;
    object.imagedata.assign(bytes.begin(), bytes.end());
    return object;
}

std::unique_ptr<platform::DeviceContext> untouchedSurface(int width, int height) {
    auto dc = platform::DeviceContext::create(width, height);
    // 0x00BBGGRR: magenta reads the same either way round.
    dc->fillRect(0, 0, width, height, kUntouched);
    return dc;
}

uint32_t rgbAt(const platform::DeviceContext& dc, int x, int y) {
    const uint8_t* p = dc.pixels() + static_cast<size_t>(y) * dc.stride() + static_cast<size_t>(x) * 4;
    return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

TestImage surfaceImage(const platform::DeviceContext& dc) {
    TestImage image{dc.width(), dc.height(), {}};
    for (int y = 0; y < dc.height(); ++y) {
        for (int x = 0; x < dc.width(); ++x) {
            uint32_t rgb = rgbAt(dc, x, y);
            image.argb.push_back(rgb == kUntouched ? 0 : kOpaque | rgb);
        }
    }
    return image;
}

TestImage drawAtOrigin(const std::vector<uint8_t>& bytes, int width, int height) {
    auto dc = untouchedSurface(width, height);
    mk::CallPictures pictures;
    drawImageObject(*dc, imageObject(bytes), 203, pictures);
    return surfaceImage(*dc);
}

std::optional<Box> drawnBox(const platform::DeviceContext& dc) {
    std::optional<Box> box;
    for (int y = 0; y < dc.height(); ++y) {
        for (int x = 0; x < dc.width(); ++x) {
            if (rgbAt(dc, x, y) == kUntouched) continue;
            if (!box) box = Box{x, y, x + 1, y + 1};
            box->left = std::min(box->left, x);
            box->top = std::min(box->top, y);
            box->right = std::max(box->right, x + 1);
            box->bottom = std::max(box->bottom, y + 1);
        }
    }
    return box;
}

int largestDifference(const TestImage& a, const TestImage& b) {
    if (a.width != b.width || a.height != b.height) return 256;
    int largest = 0;
    for (size_t i = 0; i < a.argb.size(); ++i) {
        if ((a.argb[i] >> 24) == 0 && (b.argb[i] >> 24) == 0) continue;  // both transparent
        for (int shift : {0, 8, 16, 24}) {
            int first = static_cast<int>((a.argb[i] >> shift) & 0xFF);
            int second = static_cast<int>((b.argb[i] >> shift) & 0xFF);
            largest = std::max(largest, std::abs(first - second));
        }
    }
    return largest;
}

}  // namespace mk::test
