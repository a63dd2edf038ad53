#include "render/image_object.h"

namespace mk {

// Placeholder until image drawing lands: draws nothing.
void drawImageObject(platform::DeviceContext&, const LabelObject&, int) {}

}  // namespace mk
