#pragma once

#include "model/label_object.h"
#include "platform/device_context.h"
#include "render/barcode_adapter.h"

namespace mk {

// Draws a barcode object on the label surface at the render resolution.
// Reports nothing: an object that cannot be drawn is skipped.
void drawBarcodeObject(platform::DeviceContext& dc, const LabelObject& object, int dpi);

// What the object asks the adapter for: its kind, data and symbol fields at
// the render resolution, without zint's own text; PDF417 rows and columns
// from the automatic fields when they are set (1 or more).
BarcodeRequest barcodeRequestFor(const LabelObject& object, int dpi);

// The human-readable text of a barcode whose symbol lies at (barX, barY) with
// the given size in dots: below or above it, EAN and UPC digits in their
// groups under the bars. Leaves the surface's text colour set to the object's
// and its background mode transparent.
void drawBarcodeText(platform::DeviceContext& dc, const LabelObject& object, int dpi, int barX, int barY,
                     int symbolWidth, int symbolHeight);

}  // namespace mk
