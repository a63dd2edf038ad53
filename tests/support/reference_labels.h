#pragma once

// Labels the print tests, the benchmarks and the demo's checks print. Each
// has a text object composed from the variable "lot" (id 1), "Lot 0001" as
// designed, and is designed at 203 dpi.

#include "model/label_doc.h"

namespace mk::test {

// 30 × 15 mm (240 × 120 dots at 203 dpi, 354 × 177 at 300 dpi), objects in
// this order: text1 (the lot), rectangle1 (filled, 2..12 × 7..13 mm), line1,
// image1 (24 × 24 BMP), barcode1 (Code 128, module width 2 dots).
LabelDoc smallPrintedLabel();

// 104 × 75 mm: a text box, free text (the lot), Code 128, QR Code, EAN-13, a
// line, a rectangle and a 200 × 200 picture.
LabelDoc mainRoadLabel();

}  // namespace mk::test
