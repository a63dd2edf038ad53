#pragma once

// Drawing image objects onto a surface and reading the result back.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "model/label_object.h"
#include "platform/device_context.h"
#include "support/test_images.h"

namespace mk::test {

// A colour no test picture uses: where it is still on the surface, the
// image left the surface as it was.
inline constexpr uint32_t kUntouched = 0xFF00FF;

// An image object named "image1" at (0, 0) mm with the given bytes and scales 1.
LabelObject imageObject(const std::vector<uint8_t>& bytes);

// A surface of width x height dots filled with kUntouched.
std::unique_ptr<platform::DeviceContext> untouchedSurface(int width, int height);

// The surface's pixel at (x, y) as 0xRRGGBB.
uint32_t rgbAt(const platform::DeviceContext& dc, int x, int y);

// The surface as an image: kUntouched pixels become transparent (alpha 0),
// all others opaque.
TestImage surfaceImage(const platform::DeviceContext& dc);

// Draws the bytes at the origin at their natural size (203 dpi) on a
// width x height surface and reads it back.
TestImage drawAtOrigin(const std::vector<uint8_t>& bytes, int width, int height);

// The smallest box holding every pixel that is not kUntouched, right and
// bottom exclusive; nothing when the surface is untouched.
struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};
std::optional<Box> drawnBox(const platform::DeviceContext& dc);

// Largest difference of any channel between two images of the same size
// (two transparent pixels are equal whatever their colour bytes; transparent
// against opaque differs by 255 in alpha).
int largestDifference(const TestImage& a, const TestImage& b);

}  // namespace mk::test
