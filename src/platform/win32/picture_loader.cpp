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

#include "portable/picture_contents.h"
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

// A bitmap picture that lets nothing show through is its bitmap: its pixels
// are read straight into the picture's, as a 32-bit top-down copy of the
// same size would render them, with no surface between.
bool readOpaqueBitmap(IPicture& picture, Picture& result) {
    SHORT type = PICTYPE_UNINITIALIZED;
    DWORD attributes = 0;
    OLE_HANDLE handle = 0;
    if (FAILED(picture.get_Type(&type)) || type != PICTYPE_BITMAP || FAILED(picture.get_Attributes(&attributes)) ||
        (attributes & PICTURE_TRANSPARENT) != 0 || FAILED(picture.get_Handle(&handle)) || handle == 0) {
        return false;
    }
    UniqueDc dc(CreateCompatibleDC(nullptr));
    if (!dc) return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = result.width;
    info.bmiHeader.biHeight = -result.height;  // negative: rows top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const auto bitmap = reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(handle));
    if (GetDIBits(dc.get(), bitmap, 0, static_cast<UINT>(result.height), result.pixels.data(), &info,
                  DIB_RGB_COLORS) != result.height) {
        return false;
    }
    for (size_t at = 3; at < result.pixels.size(); at += 4) result.pixels[at] = 255;
    return true;
}

// Rows per band when a picture is rendered: an eighth of the picture, or 4
// megapixels where that is more, so that the surface beside the picture
// stays small while a metafile is played at most 16 times.
int bandRows(int width, int height) {
    constexpr int64_t kBandPixels = 4 << 20;
    const int64_t eighth = (int64_t{height} + 7) / 8;
    return static_cast<int>(std::min<int64_t>(height, std::max<int64_t>(eighth, kBandPixels / width)));
}

// The picture rendered upright at the picture's size, rows top to top +
// rows of it onto a surface of that band filled with the background colour
// first; use(bits) then reads the band's pixels, 0x00RRGGBB in the top
// byte's place, before the surface is released.
template <typename Use>
bool renderBand(IPicture& picture, const Picture& size, int top, int rows, uint32_t background, Use use) {
    UniqueDc dc(CreateCompatibleDC(nullptr));
    if (!dc) return false;
    void* memory = nullptr;
    GdiObject bitmap = createTopDownDib(dc.get(), size.width, rows, &memory);
    if (!bitmap || memory == nullptr) return false;
    auto* bits = static_cast<uint32_t*>(memory);
    std::fill(bits, bits + static_cast<size_t>(size.width) * rows, background);
    SelectedObject selected(dc.get(), bitmap.get());
    OLE_XSIZE_HIMETRIC w = 0;
    OLE_YSIZE_HIMETRIC h = 0;
    picture.get_Width(&w);
    picture.get_Height(&h);
    RECT bounds{0, -top, size.width, size.height - top};
    if (FAILED(picture.Render(dc.get(), 0, -top, size.width, size.height, 0, h, w, -h, &bounds))) return false;
    GdiFlush();
    use(static_cast<const uint32_t*>(bits));
    return true;
}

// Rendered band by band on black and on white: a pixel that comes out the
// same on both is the picture's, one that differs is where it lets the
// surface show (an icon's mask, a GIF's transparent colour, what a metafile
// leaves unpainted). A surface pixel 0x00RRGGBB lies in memory as blue,
// green, red, as the picture's do.
bool renderInBands(IPicture& picture, Picture& result) {
    const int step = bandRows(result.width, result.height);
    for (int top = 0; top < result.height; top += step) {
        const int rows = std::min(step, result.height - top);
        const size_t count = static_cast<size_t>(result.width) * rows;
        uint8_t* pixels = result.pixel(0, top);
        const bool drawn =
            renderBand(picture, result, top, rows, 0x000000u,
                       [&](const uint32_t* onBlack) { std::memcpy(pixels, onBlack, count * 4); }) &&
            renderBand(picture, result, top, rows, 0xFFFFFFu, [&](const uint32_t* onWhite) {
                for (size_t i = 0; i < count; ++i) {
                    uint8_t* pixel = pixels + i * 4;
                    const uint32_t white = onWhite[i];
                    const bool same = pixel[0] == static_cast<uint8_t>(white) &&
                                      pixel[1] == static_cast<uint8_t>(white >> 8) &&
                                      pixel[2] == static_cast<uint8_t>(white >> 16);
                    pixel[3] = same ? 255 : 0;
                }
            });
        if (!drawn) return false;
    }
    return true;
}

// The header is read first: the system's loader decodes a picture whole
// before its size can be asked, so a picture too large to draw would take
// its memory and time first. It decodes every frame of a GIF, not only the
// first, and makes every bitmap a metafile carries at that bitmap's own
// size, whatever the frame the metafile declares: those count too.
bool declaredWithinLimit(std::span<const uint8_t> bytes) {
    const std::optional<PixelSize> size = declaredPixelSize(bytes, screenResolution());
    if (!size || !withinPictureLimit(*size)) return false;
    const std::optional<int64_t> bitmaps = metafileBitmapPixels(bytes);
    return gifFramePixels(bytes) <= kMaxPicturePixels && bitmaps && *bitmaps <= kMaxPicturePixels;
}

}  // namespace

int pictureLoaderContext() noexcept { return screenResolution(); }

// At most two copies of the picture's pixels at once: the system's decoding
// and the picture, never a surface of the picture's size beside them.
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
        if (!readOpaqueBitmap(*picture, *result) && !renderInBands(*picture, *result)) return std::nullopt;
        return result;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace mk::platform
