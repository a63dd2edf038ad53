#pragma once

#include "model/label_doc.h"

namespace mk {

// Converts barcode module widths and image scales from one resolution to
// another and records the new one in scaledDpi (MkLabelDoc_AdjustDpiScale).
void adjustDpiScale(LabelDoc& doc, int fromDpi, int toDpi);

// What the document-level render and print calls do first: rescale from the
// resolution the objects now correspond to (scaledDpi, else printerDPI) to
// the target when the two differ.
void rescaleForPrinter(LabelDoc& doc, int targetDpi);

}  // namespace mk
