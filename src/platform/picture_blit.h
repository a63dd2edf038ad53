#pragma once

#include "platform/device_context.h"
#include "platform/picture.h"

namespace mk::platform {

// Draws the whole picture stretched onto the destination rectangle (x, y,
// destWidth, destHeight), nearest neighbour, with the device context's
// geometry for stretching and mirroring (a negative size mirrors along that
// axis). Opaque pixels replace the surface's; transparent ones leave it as it
// was. Clipped to the surface.
void drawPicture(DeviceContext& dc, const Picture& picture, int x, int y, int destWidth, int destHeight);

}  // namespace mk::platform
