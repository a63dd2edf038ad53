#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace mk::platform {

// Owners of GDI handles: every path out of a drawing call releases them.
struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using GdiObject = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, GdiObjectDeleter>;

struct DcDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
using UniqueDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

// A 32-bit DIB section of width x height pixels (blue, green, red, unused),
// rows top-down, with its memory in bits; null (and bits null) on failure.
GdiObject createTopDownDib(HDC dc, int width, int height, void** bits);

// Selects an object into a device context for one scope, then puts back
// what was selected before (an object must not be deleted while selected).
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace mk::platform
