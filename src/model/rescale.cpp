#include "model/rescale.h"

#include "mklabel.h"

#include <cmath>
#include <limits>

namespace mk {

namespace {

// Truncation toward zero into an int. A value beyond the int range (or NaN)
// saturates instead of being undefined.
int truncateToInt(float value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483648.0f) return std::numeric_limits<int>::max();
    if (value <= -2147483904.0f) return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

// Module widths are whole dots: the barcode is drawn from whole modules.
float rescaleModuleWidth(float ratio, float moduleWidth) {
    const float scaled = ratio * moduleWidth;
    const float rounded = scaled + 0.5f;
    return static_cast<float>(truncateToInt(rounded));
}

// Image scales keep hundredths. The steps stay separate 32-bit operations in
// this order; stored labels depend on the exact rounding they give.
float rescaleImageScale(float ratio, float value) {
    const float scaled = ratio * value;
    const float hundredths = scaled * 100.0f;
    const float rounded = hundredths + 0.5f;
    return static_cast<float>(truncateToInt(rounded)) / 100.0f;
}

}  // namespace

void adjustDpiScale(LabelDoc& doc, int fromDpi, int toDpi) {
    if (fromDpi == 0 || fromDpi == toDpi) return;
    const float ratio = static_cast<float>(toDpi) / static_cast<float>(fromDpi);
    for (LabelObject& object : doc.objects) {
        if (nameStartsWith(object.ObjectName, "barcode")) {
            object.barcodescale = rescaleModuleWidth(ratio, object.barcodescale);
        } else if (nameStartsWith(object.ObjectName, "image")) {
            object.scale = rescaleImageScale(ratio, object.scale);
            object.hscale = rescaleImageScale(ratio, object.hscale);
            object.vscale = rescaleImageScale(ratio, object.vscale);
        }
    }
    doc.scaledDpi = toDpi;
}

void rescaleForPrinter(LabelDoc& doc, int targetDpi) {
    const int currentDpi = doc.scaledDpi != 0 ? doc.scaledDpi : doc.printerDPI;
    if (currentDpi != targetDpi) adjustDpiScale(doc, currentDpi, targetDpi);
}

}  // namespace mk

extern "C" {

MK_API void MkLabelDoc_AdjustDpiScale(LabelDoc* doc, int fromDpi, int toDpi) {
    if (doc != nullptr) mk::adjustDpiScale(*doc, fromDpi, toDpi);
}

}  // extern "C"
