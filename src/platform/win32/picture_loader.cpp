// Pictures other than bitmap files through OLE: OleLoadPicture reads the
// bytes, the picture renders itself at its size in pixels.
#include "platform/picture_loader.h"

#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "portable/picture_header.h"
#include "platform/win32/gdi_object.h"

namespace mk::platform {
namespace {

struct ComReleaser {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <typename T>
using ComPtr = std::unique_ptr<T, ComReleaser>;

// The picture object decodes through COM components: the calling thread
// needs COM, and gives it back only if this call was the one to start it.
class ComScope {
public:
    ComScope() : started_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope() {
        if (started_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool started_;
};

ComPtr<IPicture> openPicture(std::span<const uint8_t> bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (block == nullptr) return nullptr;
    void* memory = GlobalLock(block);
    if (memory == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    std::memcpy(memory, bytes.data(), bytes.size());
    GlobalUnlock(block);
    IStream* rawStream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &rawStream)) || rawStream == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    ComPtr<IStream> stream(rawStream);  // frees the block when released
    void* picture = nullptr;
    if (FAILED(OleLoadPicture(stream.get(), 0, FALSE, IID_IPicture, &picture)) || picture == nullptr) return nullptr;
    return ComPtr<IPicture>(static_cast<IPicture*>(picture));
}

// The screen's horizontal resolution as the calling thread sees it: a thread
// that is not DPI aware is shown 96 whatever the screen has.
int screenResolution() {
    HDC screen = GetDC(nullptr);
    const int resolution = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    return resolution;
}

// A bitmap picture's size in pixels; any other picture's size in 0.01 mm at
// the screen's horizontal resolution, which serves for both axes.
bool pictureSize(IPicture& picture, long& width, long& height) {
    OLE_HANDLE handle = 0;
    if (SUCCEEDED(picture.get_Handle(&handle)) && handle != 0) {
        BITMAP bitmap{};
        if (GetObjectW(reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(handle)), sizeof bitmap, &bitmap) != 0 &&
            bitmap.bmWidth >= 1 && bitmap.bmHeight >= 1) {
            width = bitmap.bmWidth;
            height = bitmap.bmHeight;
            return true;
        }
    }
    OLE_XSIZE_HIMETRIC himetricWidth = 0;
    OLE_YSIZE_HIMETRIC himetricHeight = 0;
    if (FAILED(picture.get_Width(&himetricWidth)) || FAILED(picture.get_Height(&himetricHeight))) return false;
    const int resolution = screenResolution();
    width = MulDiv(himetricWidth, resolution, 2540);
    height = MulDiv(himetricHeight, resolution, 2540);
    return true;
}

// The picture rendered upright onto a surface of width x height pixels
// filled with the background colour first; use(bits) then reads the pixels,
// 0x00RRGGBB in the top byte's place, before the surface is released.
template <typename Use>
bool renderOn(IPicture& picture, int width, int height, uint32_t background, Use use) {
    UniqueDc dc(CreateCompatibleDC(nullptr));
    if (!dc) return false;
    void* memory = nullptr;
    GdiObject bitmap = createTopDownDib(dc.get(), width, height, &memory);
    if (!bitmap || memory == nullptr) return false;
    auto* bits = static_cast<uint32_t*>(memory);
    const size_t count = static_cast<size_t>(width) * height;
    std::fill(bits, bits + count, background);
    SelectedObject selected(dc.get(), bitmap.get());
    OLE_XSIZE_HIMETRIC w = 0;
    OLE_YSIZE_HIMETRIC h = 0;
    picture.get_Width(&w);
    picture.get_Height(&h);
    RECT bounds{0, 0, width, height};
    if (FAILED(picture.Render(dc.get(), 0, 0, width, height, 0, h, w, -h, &bounds))) return false;
    GdiFlush();
    use(static_cast<const uint32_t*>(bits));
    return true;
}

// The header is read first: the system's loader decodes a picture whole
// before its size can be asked, so a picture too large to draw would take
// its memory and time first.
bool declaredWithinLimit(std::span<const uint8_t> bytes) {
    const std::optional<PixelSize> size = declaredPixelSize(bytes, screenResolution());
    return size && size->width >= 1 && size->height >= 1 && size->width <= kMaxPicturePixels &&
           size->height <= kMaxPicturePixels && size->area() <= kMaxPicturePixels;
}

}  // namespace

int pictureLoaderContext() noexcept { return screenResolution(); }

std::optional<Picture> loadPicture(std::span<const uint8_t> bytes) noexcept {
    try {
        if (bytes.empty() || !declaredWithinLimit(bytes)) return std::nullopt;
        ComScope com;
        ComPtr<IPicture> picture = openPicture(bytes);
        if (!picture) return std::nullopt;
        long width = 0;
        long height = 0;
        if (!pictureSize(*picture, width, height)) return std::nullopt;
        std::optional<Picture> result = makePicture(width, height);
        if (!result) return std::nullopt;
        // Rendered on black and on white: a pixel that comes out the same on
        // both is the picture's, one that differs is where it lets the
        // surface show (an icon's mask). One surface at a time, read into
        // the picture, which holds the black rendering until the white one
        // is compared with it.
        // A surface pixel 0x00RRGGBB lies in memory as blue, green, red, as
        // the picture's do.
        const size_t count = static_cast<size_t>(result->width) * result->height;
        uint8_t* pixels = result->pixels.data();
        const bool drawn =
            renderOn(*picture, result->width, result->height, 0x000000u,
                     [&](const uint32_t* onBlack) { std::memcpy(pixels, onBlack, count * 4); }) &&
            renderOn(*picture, result->width, result->height, 0xFFFFFFu, [&](const uint32_t* onWhite) {
                for (size_t i = 0; i < count; ++i) {
                    uint8_t* pixel = pixels + i * 4;
                    const uint32_t white = onWhite[i];
                    const bool same = pixel[0] == static_cast<uint8_t>(white) &&
                                      pixel[1] == static_cast<uint8_t>(white >> 8) &&
                                      pixel[2] == static_cast<uint8_t>(white >> 16);
                    pixel[3] = same ? 255 : 0;
                }
            });
        if (!drawn) return std::nullopt;
        return result;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace mk::platform
