#pragma once

namespace mk::platform {

struct ClipWindow {
    double left, top, right, bottom;
};

// Cuts the segment (x1, y1)-(x2, y2) to the window, so that drawing
// libraries with a narrower coordinate range than an int never see what lies
// far outside the surface. Returns false when nothing is left; startFraction
// (when given) is how far along the original the cut segment starts, which
// keeps a dash pattern in phase.
bool clipSegment(double& x1, double& y1, double& x2, double& y2, const ClipWindow& window,
                 double* startFraction = nullptr);

}  // namespace mk::platform
