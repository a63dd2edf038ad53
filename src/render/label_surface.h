#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "model/label_doc.h"
#include "portable/host_blocks.h"
#include "platform/device_context.h"
#include "render/barcode_object.h"
#include "render/image_object.h"

namespace mk {

// A rendered label: 32 bits per pixel (blue, green, red, unused), rows
// top-down, stride exactly 4 x width, one block that the host releases with
// MkFree.
struct PixelBuffer {
    struct Free {
        void operator()(void* block) const { platform::releaseHostPixels(block); }
    };
    std::unique_ptr<uint8_t, Free> pixels;
    int width = 0;
    int height = 0;
    int stride = 0;
};

// Draws the document's enabled objects, in list order, on a white surface of
// the label's size at dpi. Null when the label is narrower or lower than one
// dot, larger than the largest surface (platform::kLargestSurfaceBytes), its
// enabled text objects hold more than kMaxLabelTextBytes of text together,
// its barcode objects more than kMaxLabelBarcodeBytes of data, its shapes
// and symbols together cost more than kDrawCostPerCall (render/
// draw_budget.h), its pictures go beyond what one call may decode
// (kMaxDecodedPixelsPerCall), or its surface cannot be made. The print path
// reads the pixels where they lie.
std::unique_ptr<platform::DeviceContext> drawLabel(const LabelDoc& doc, int dpi);

// What the render calls hand the host: the label drawn as drawLabel does,
// straight into the block the host receives (released with MkFree, or
// PixelBuffer's deleter), so that its pixels are written once. False when
// drawLabel gives no surface, or memory runs out; the outputs are then left
// as they were except *outPixels, which is null when only handing the pixels
// over failed.
bool renderLabelForHost(const LabelDoc& doc, int dpi, void** outPixels, int* outWidth, int* outHeight,
                        int* outStride);

// Draws one object by the beginning of its name; other names draw nothing.
// pictures and budget are those of the call the object is drawn in.
void drawObject(platform::DeviceContext& dc, const LabelObject& object, int dpi, CallPictures& pictures,
                DrawBudget& budget);

}  // namespace mk
