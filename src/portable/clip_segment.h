#pragma once

#include <vector>

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

// ---- Outlines cut to the surface ------------------------------------------
// A drawing library dashes and strokes a path over its whole length before it
// clips: an ellipse kilometres across with a dot pattern is millions of
// dashes, none of them on the label. So a shape that reaches far beyond the
// surface is cut first: only the pieces of its outline that come near the
// surface are stroked, each starting at its own distance along the outline so
// that the dashes fall where they would on the whole outline.

struct PathPoint {
    double x, y;
};

// A straight piece (from p[0] to p[3]) or a cubic curve (p[0] to p[3] with
// the control points p[1], p[2]).
struct OutlinePiece {
    bool curve = false;
    PathPoint p[4]{};
};

// The closed outline of the box (l, t, r, b) with corners rounded by quarter
// ellipses of radii rx, ry (clamped to half the box; both at half the box
// make an ellipse), starting at the top edge's left end and running
// clockwise: the path a drawing library is given for the whole shape.
std::vector<OutlinePiece> roundedBoxOutline(double l, double t, double r, double b, double rx, double ry);

// A stretch of an outline that comes into the window: its pieces, whole or cut
// short, and how far along the outline it starts.
struct VisibleRun {
    double startLength = 0;
    std::vector<OutlinePiece> pieces;
};

// The stretches of the closed outline whose pieces come into the window, in
// outline order. A stretch through the outline's start is two, as the
// dashes of a closed outline start again there. Pieces are cut (curves at parameter steps) until what is left of
// them lies within the window or within a sixteenth of a dot of it, so the
// result stays in the window's coordinate range. The work grows with the
// number of times the outline crosses the window's edge and with the
// logarithm of its size, not with its length.
std::vector<VisibleRun> visibleRuns(const std::vector<OutlinePiece>& outline, const ClipWindow& window);

// The part of the region the closed outline bounds that lies in the window,
// as one polygon (curves flattened to a tenth of a dot) for a fill by the
// non-zero rule. Empty when none of it does.
std::vector<PathPoint> visibleRegion(const std::vector<OutlinePiece>& outline, const ClipWindow& window);

// The length of the piece.
double pieceLength(const OutlinePiece& piece);

// The part of the outline from one distance along it to another, for a
// drawing library that cannot start a dash pattern part-way: a stretch drawn
// from a whole number of periods along the outline keeps its dashes in place.
std::vector<OutlinePiece> outlineStretch(const std::vector<OutlinePiece>& outline, double from, double to);

// Whether the box (l, t, r, b) lies within the window.
inline bool boxWithin(double l, double t, double r, double b, const ClipWindow& window) {
    return l >= window.left && t >= window.top && r <= window.right && b <= window.bottom;
}

}  // namespace mk::platform
