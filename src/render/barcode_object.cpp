#include "render/barcode_object.h"

namespace mk {

// Placeholder until barcode drawing lands: draws nothing.
void drawBarcodeObject(platform::DeviceContext&, const LabelObject&, int) {}

}  // namespace mk
