#include "platform/picture_blit.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace mk::platform {
namespace {

// One axis of the stretch: which source pixel each visible destination pixel
// shows, or nothing when none is visible.
struct AxisMap {
    int64_t first = 0;  // first visible destination pixel
    std::vector<int> source;
};

AxisMap mapAxis(int origin, int destSize, int sourceSize, int surfaceSize) {
    AxisMap map;
    const bool mirror = destSize < 0;
    const int64_t size = std::abs(int64_t{destSize});
    // A mirrored rectangle extends back from the origin, origin included.
    const int64_t start = mirror ? int64_t{origin} - size + 1 : origin;
    const int64_t from = std::max<int64_t>(start, 0);
    const int64_t to = std::min<int64_t>(start + size, surfaceSize);
    map.first = from;
    for (int64_t d = from; d < to; ++d) {
        int64_t i = mirror ? size - 1 - (d - start) : d - start;
        // The source pixel under the destination pixel's centre.
        map.source.push_back(static_cast<int>((2 * i + 1) * sourceSize / (2 * size)));
    }
    return map;
}

}  // namespace

void drawPicture(DeviceContext& dc, const Picture& picture, int x, int y, int destWidth, int destHeight) {
    if (destWidth == 0 || destHeight == 0 || picture.width < 1 || picture.height < 1) return;
    AxisMap columns = mapAxis(x, destWidth, picture.width, dc.width());
    AxisMap rows = mapAxis(y, destHeight, picture.height, dc.height());
    if (columns.source.empty() || rows.source.empty()) return;
    uint8_t* surface = dc.mutablePixels();
    for (size_t r = 0; r < rows.source.size(); ++r) {
        uint8_t* line = surface + (rows.first + static_cast<int64_t>(r)) * dc.stride();
        for (size_t c = 0; c < columns.source.size(); ++c) {
            const uint8_t* from = picture.pixel(columns.source[c], rows.source[r]);
            if (from[3] == 0) continue;
            uint8_t* to = line + (columns.first + static_cast<int64_t>(c)) * 4;
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
        }
    }
}

}  // namespace mk::platform
