#pragma once

#include "model/label_doc.h"
#include "model/label_object.h"
#include "platform/device_context.h"
#include "render/barcode_adapter.h"
#include "render/draw_budget.h"

namespace mk {

// The most data bytes the drawn barcode objects of one label hold together,
// measured before anything is drawn. Far above what any label shows (the
// largest symbol holds 8 KiB), far below what would take a second to parse.
inline constexpr uint64_t kMaxLabelBarcodeBytes = uint64_t{256} << 10;

// The data bytes of the label's barcode objects that would be drawn.
uint64_t drawnBarcodeBytes(const LabelDoc& doc);

// Draws a barcode object on the label surface at the render resolution,
// charging its symbol's cost (BarcodeBitmap::cost) to the call's budget, made
// anew or taken from the cache alike; once the budget is exceeded,
// nothing more is drawn and the call must fail. Otherwise reports nothing:
// an object that cannot be drawn is skipped.
void drawBarcodeObject(platform::DeviceContext& dc, const LabelObject& object, int dpi, DrawBudget& budget);

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
