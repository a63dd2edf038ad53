#include "render/text_plan.h"

#include "platform/int_convert.h"
#include "render/text_object.h"

namespace mk {

int64_t blockOffset(int alignCode, int64_t size) {
    if (alignCode == 1) return -(size / 2);
    if (alignCode == 2) return -size;
    return 0;
}

int64_t lineOffset(int alignCode, int64_t blockSize, int64_t size) {
    if (alignCode == 1) return (blockSize - size) / 2;
    if (alignCode == 2) return blockSize - size;
    return 0;
}

float roundedZoom(float zoom) { return static_cast<float>(platform::roundToInt(zoom * 10000.0f)) / 10000.0f; }

int logicalX(int64_t deviceX, float zoom) { return platform::roundToInt(static_cast<float>(deviceX) / zoom); }

void drawTextPlan(platform::DeviceContext& dc, const TextPlan& plan) {
    if (plan.reverseBox) {
        const FilledBox& box = *plan.reverseBox;
        dc.fillRect(box.left, box.top, box.right, box.bottom, box.color);
    }
    platform::GraphicsMode keptMode{};
    platform::WorldTransform keptTransform;
    if (plan.scaled) {
        keptMode = dc.setGraphicsMode(platform::GraphicsMode::Advanced);
        keptTransform = dc.worldTransform();
        // A zero scale is a singular transform, which the platform refuses:
        // the transform in force stays.
        if (plan.scaleX != 0.0f) dc.setWorldTransform(platform::WorldTransform{plan.scaleX, 0, 0, 1, 0, 0});
    }
    for (const PlacedText& piece : plan.pieces) drawTextRun(dc, piece.text, piece.x, piece.y, plan.textColor);
    if (plan.scaled) {
        dc.setWorldTransform(keptTransform);
        dc.setGraphicsMode(keptMode);
    }
}

}  // namespace mk
