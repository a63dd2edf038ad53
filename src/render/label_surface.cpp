#include "render/label_surface.h"

#include "render/barcode_object.h"
#include "render/image_object.h"
#include "render/shape_object.h"
#include "render/text_object.h"
#include "render/units.h"

namespace mk {

void drawObject(platform::DeviceContext& dc, const LabelObject& object, int dpi, CallPictures& pictures,
                DrawBudget& budget) {
    switch (objectKindOf(object.ObjectName)) {
        case ObjectKind::Barcode:
            drawBarcodeObject(dc, object, dpi, budget);
            break;
        case ObjectKind::Text:
            drawTextObject(dc, object, dpi, budget);
            break;
        case ObjectKind::Rectangle:
            drawShapeObject(dc, object, dpi, budget);
            break;
        case ObjectKind::Line:
            drawLineObject(dc, object, dpi, budget);
            break;
        case ObjectKind::Image:
            drawImageObject(dc, object, dpi, pictures);
            break;
        case ObjectKind::Rfid:
        case ObjectKind::None:
            break;
    }
}

namespace {

uint64_t drawnTextBytes(const LabelDoc& doc) {
    uint64_t bytes = 0;
    for (const LabelObject& object : doc.objects) {
        if (object.enable && objectKindOf(object.ObjectName) == ObjectKind::Text) bytes += object.objectdata.size();
    }
    return bytes;
}

}  // namespace

std::unique_ptr<platform::DeviceContext> drawLabel(const LabelDoc& doc, int dpi) {
    if (drawnTextBytes(doc) > kMaxLabelTextBytes) return nullptr;
    if (drawnBarcodeBytes(doc) > kMaxLabelBarcodeBytes) return nullptr;
    const int width = mmToDots(doc.labelwidth, dpi);
    if (width < 1) return nullptr;
    const int height = mmToDots(doc.labelheight, dpi);
    if (height < 1) return nullptr;
    auto dc = platform::DeviceContext::create(width, height);
    if (dc == nullptr) return nullptr;  // larger than the largest surface, or out of memory
    // A new surface is white already: the label's background.
    CallPictures pictures(doc.objects);
    DrawBudget budget;
    for (const LabelObject& object : doc.objects) {
        if (object.enable) drawObject(*dc, object, dpi, pictures, budget);
        // A label is drawn whole or not at all.
        if (budget.exceeded() || pictures.failed()) return nullptr;
    }
    return dc;
}

bool renderLabelForHost(const LabelDoc& doc, int dpi, void** outPixels, int* outWidth, int* outHeight,
                        int* outStride) {
    if (outPixels == nullptr || outWidth == nullptr || outHeight == nullptr || outStride == nullptr) return false;
    const auto dc = drawLabel(doc, dpi);
    if (dc == nullptr) return false;
    const int width = dc->width();
    const int height = dc->height();
    const int stride = dc->stride();
    *outPixels = dc->handPixelsToHost();
    if (*outPixels == nullptr) return false;
    *outWidth = width;
    *outHeight = height;
    *outStride = stride;
    return true;
}

}  // namespace mk
