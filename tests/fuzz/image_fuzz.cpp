// Any bytes as an image object's file: every decoder (bitmap, PNG, JPEG, GIF,
// icon) and the stretching blit must stay inside their buffers and the
// surface, whatever the bytes declare.
#include <cstddef>
#include <cstdint>

#include "model/label_object.h"
#include "platform/device_context.h"
#include "render/image_object.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto dc = mk::platform::DeviceContext::create(64, 48);
    if (!dc) return 0;
    LabelObject object;
    object.ObjectName = "image";
    object.imagedata.assign(data, data + size);
    object.Xposition = -1.0f;  // partly off the surface, so clipping is exercised too
    object.Yposition = 1.0f;
    object.hscale = 1.5f;
    object.vscale = 0.7f;
    mk::CallPictures pictures;
    mk::drawImageObject(*dc, object, 203, pictures);
    return 0;
}
