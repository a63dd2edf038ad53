#include "portable/clip_segment.h"

#include <algorithm>

namespace mk::platform {

// Liang-Barsky: the parameter range [lo, hi] of the segment that lies on the
// inner side of all four window edges.
bool clipSegment(double& x1, double& y1, double& x2, double& y2, const ClipWindow& window, double* startFraction) {
    const double dx = x2 - x1;
    const double dy = y2 - y1;
    double lo = 0.0;
    double hi = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x1 - window.left, window.right - x1, y1 - window.top, window.bottom - y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0) {
            lo = std::max(lo, r);
        } else {
            hi = std::min(hi, r);
        }
    }
    if (lo > hi) return false;
    const double sx = x1;
    const double sy = y1;
    x1 = sx + lo * dx;
    y1 = sy + lo * dy;
    x2 = sx + hi * dx;
    y2 = sy + hi * dy;
    if (startFraction != nullptr) *startFraction = lo;
    return true;
}

}  // namespace mk::platform
