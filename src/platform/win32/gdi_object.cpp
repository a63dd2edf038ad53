#include "platform/win32/gdi_object.h"

namespace mk::platform {

GdiObject createTopDownDib(HDC dc, int width, int height, void** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // negative: rows top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    *bits = nullptr;
    GdiObject bitmap(CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0));
    if (*bits == nullptr) bitmap.reset();
    return bitmap;
}

}  // namespace mk::platform
