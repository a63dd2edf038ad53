#include "render/text_object.h"

namespace mk {

// Placeholder until text drawing lands: draws nothing.
void drawTextObject(platform::DeviceContext&, const LabelObject&, int) {}

}  // namespace mk
