// Label images from anywhere: a load either fails with a load error code or
// gives a document whose objects can all be read back, and which the render
// call draws at 203 dpi (composing its variables) or refuses with its own
// code. Labels larger than a sheet of paper are not drawn: their surface
// alone is the memory the run may take.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "mklabel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > INT_MAX) return 0;
    LabelDoc* doc = MkLabelDoc_LoadFromMemory(data, static_cast<int>(size));
    if (doc == nullptr) {
        const int code = MkGetLastErrorCode();
        if (code > -100 || code < -108) std::abort();
        return 0;
    }
    char text[256];
    const int count = MkLabelDoc_GetObjectCount(doc);
    for (int i = 0; i < count; ++i) {
        if (MkObject_GetName(doc, i, text, sizeof text) < 0) std::abort();
        if (MkObject_GetData(doc, i, text, sizeof text) < 0) std::abort();
        for (int v = 0; v < MkObject_GetVarCount(doc, i); ++v) {
            int id = 0;
            int type = 0;
            int enable = 0;
            if (MkObject_GetVarInfo(doc, i, v, text, 64, text + 64, 64, &id, &type, &enable) != 0) std::abort();
        }
    }
    constexpr float kLargestDrawnSideMm = 300.0f;
    if (MkLabel_GetWidth(doc) <= kLargestDrawnSideMm && MkLabel_GetHeight(doc) <= kLargestDrawnSideMm) {
        void* pixels = nullptr;
        int width = 0;
        int height = 0;
        int stride = 0;
        const int rendered = MkLabelDoc_Render(doc, nullptr, 0, &pixels, &width, &height, &stride);
        if (rendered != MK_OK && rendered != MK_RENDER_FAILED) std::abort();
        MkFree(pixels);
    }
    MkLabelDoc_Destroy(doc);
    return 0;
}
