#include "portable/clip_segment.h"

#include <algorithm>
#include <cmath>

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

namespace mk::platform {

namespace {

// Pieces no larger than this across are taken as they are where they
// straddle the window's edge.
constexpr double kSmallestPiece = 1.0 / 16;
// Splits in half stop here whatever the piece: 2^-48 of an outline of even
// 2^31 dots is far below a dot.
constexpr int kDeepestSplit = 48;
// How far a flattened curve may stray from the curve, in dots.
constexpr double kFlatness = 0.1;

struct Box {
    double left, top, right, bottom;
};

Box boundsOf(const OutlinePiece& piece) {
    // A straight piece repeats its ends as its control points.
    Box box{piece.p[0].x, piece.p[0].y, piece.p[0].x, piece.p[0].y};
    for (int i = 1; i < 4; ++i) {
        box.left = std::min(box.left, piece.p[i].x);
        box.top = std::min(box.top, piece.p[i].y);
        box.right = std::max(box.right, piece.p[i].x);
        box.bottom = std::max(box.bottom, piece.p[i].y);
    }
    return box;
}

bool outside(const Box& box, const ClipWindow& w) {
    return box.right < w.left || box.left > w.right || box.bottom < w.top || box.top > w.bottom;
}

bool inside(const Box& box, const ClipWindow& w) { return boxWithin(box.left, box.top, box.right, box.bottom, w); }

bool small(const Box& box) { return box.right - box.left <= kSmallestPiece && box.bottom - box.top <= kSmallestPiece; }

PathPoint mid(PathPoint a, PathPoint b) { return PathPoint{(a.x + b.x) / 2, (a.y + b.y) / 2}; }

// de Casteljau at t = 1/2.
void splitCurve(const OutlinePiece& c, OutlinePiece& first, OutlinePiece& second) {
    const PathPoint ab = mid(c.p[0], c.p[1]);
    const PathPoint bc = mid(c.p[1], c.p[2]);
    const PathPoint cd = mid(c.p[2], c.p[3]);
    const PathPoint abc = mid(ab, bc);
    const PathPoint bcd = mid(bc, cd);
    const PathPoint middle = mid(abc, bcd);
    first = OutlinePiece{true, {c.p[0], ab, abc, middle}};
    second = OutlinePiece{true, {middle, bcd, cd, c.p[3]}};
}

OutlinePiece line(PathPoint a, PathPoint b) { return OutlinePiece{false, {a, a, b, b}}; }

PathPoint lerp(PathPoint a, PathPoint b, double t) { return PathPoint{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}; }

// The part of the piece from parameter 0 up to t (before) or from t to 1.
OutlinePiece partOf(const OutlinePiece& c, double t, bool before) {
    if (!c.curve) return before ? line(c.p[0], lerp(c.p[0], c.p[3], t)) : line(lerp(c.p[0], c.p[3], t), c.p[3]);
    const PathPoint ab = lerp(c.p[0], c.p[1], t);
    const PathPoint bc = lerp(c.p[1], c.p[2], t);
    const PathPoint cd = lerp(c.p[2], c.p[3], t);
    const PathPoint abc = lerp(ab, bc, t);
    const PathPoint bcd = lerp(bc, cd, t);
    const PathPoint at = lerp(abc, bcd, t);
    return before ? OutlinePiece{true, {c.p[0], ab, abc, at}} : OutlinePiece{true, {at, bcd, cd, c.p[3]}};
}

double speed(const OutlinePiece& c, double t) {
    const double u = 1 - t;
    const double a = u * u;
    const double b = 2 * t * u;
    const double d = t * t;
    const double dx = a * (c.p[1].x - c.p[0].x) + b * (c.p[2].x - c.p[1].x) + d * (c.p[3].x - c.p[2].x);
    const double dy = a * (c.p[1].y - c.p[0].y) + b * (c.p[2].y - c.p[1].y) + d * (c.p[3].y - c.p[2].y);
    return 3 * std::hypot(dx, dy);
}

// Gauss-Legendre, 8 points, over [a, b].
double quadrature(const OutlinePiece& c, double a, double b) {
    static constexpr double kNodes[4] = {0.1834346424956498, 0.5255324099163290, 0.7966664774136267,
                                         0.9602898564975363};
    static constexpr double kWeights[4] = {0.3626837833783620, 0.3137066458778873, 0.2223810344533745,
                                           0.1012285362903763};
    const double half = (b - a) / 2;
    const double centre = (a + b) / 2;
    double sum = 0;
    for (int i = 0; i < 4; ++i)
        sum += kWeights[i] * (speed(c, centre - half * kNodes[i]) + speed(c, centre + half * kNodes[i]));
    return sum * half;
}

double curveLength(const OutlinePiece& c, double a, double b, double whole, int depth) {
    const double m = (a + b) / 2;
    const double left = quadrature(c, a, m);
    const double right = quadrature(c, m, b);
    if (depth >= 24 || std::abs(left + right - whole) <= 1e-9 * std::max(whole, 1.0))
        return left + right;
    return curveLength(c, a, m, left, depth + 1) + curveLength(c, m, b, right, depth + 1);
}

// Walks the outline's pieces, cut where they straddle the window, telling
// the visitor of each what is outside (a whole piece or part of one) and
// what is inside.
template <typename Outside, typename Inside>
void walkPiece(const OutlinePiece& piece, const ClipWindow& window, int depth, Outside&& out, Inside&& in) {
    const Box box = boundsOf(piece);
    if (outside(box, window)) {
        out(piece);
        return;
    }
    if (inside(box, window) || small(box) || depth >= kDeepestSplit) {
        in(piece);
        return;
    }
    if (!piece.curve) {
        double x1 = piece.p[0].x, y1 = piece.p[0].y, x2 = piece.p[3].x, y2 = piece.p[3].y;
        if (!clipSegment(x1, y1, x2, y2, window)) {
            out(piece);
            return;
        }
        const PathPoint from{x1, y1};
        const PathPoint to{x2, y2};
        if (from.x != piece.p[0].x || from.y != piece.p[0].y) out(line(piece.p[0], from));
        in(line(from, to));
        if (to.x != piece.p[3].x || to.y != piece.p[3].y) out(line(to, piece.p[3]));
        return;
    }
    OutlinePiece first, second;
    splitCurve(piece, first, second);
    walkPiece(first, window, depth + 1, out, in);
    walkPiece(second, window, depth + 1, out, in);
}

// Appends the curve's end points, flattened so that no point of the curve
// lies further than kFlatness from the polyline.
void flatten(const OutlinePiece& c, std::vector<PathPoint>& points, int depth) {
    if (!c.curve) {
        points.push_back(c.p[3]);
        return;
    }
    const double dx = c.p[3].x - c.p[0].x;
    const double dy = c.p[3].y - c.p[0].y;
    const double chord = std::hypot(dx, dy);
    const auto distance = [&](PathPoint q) {
        if (chord == 0) return std::hypot(q.x - c.p[0].x, q.y - c.p[0].y);
        return std::abs((q.x - c.p[0].x) * dy - (q.y - c.p[0].y) * dx) / chord;
    };
    // A cubic lies within 3/4 of its control points' distance from the chord.
    if (depth >= kDeepestSplit || 0.75 * std::max(distance(c.p[1]), distance(c.p[2])) <= kFlatness) {
        points.push_back(c.p[3]);
        return;
    }
    OutlinePiece first, second;
    splitCurve(c, first, second);
    flatten(first, points, depth + 1);
    flatten(second, points, depth + 1);
}

// Sutherland-Hodgman against one edge: keep is true for points on the inner
// side, cross gives the point where a segment meets the edge.
template <typename Keep, typename Cross>
std::vector<PathPoint> clipPolygon(const std::vector<PathPoint>& points, Keep&& keep, Cross&& cross) {
    std::vector<PathPoint> out;
    if (points.empty()) return out;
    out.reserve(points.size() + 4);
    PathPoint previous = points.back();
    bool previousKept = keep(previous);
    for (const PathPoint& p : points) {
        const bool kept = keep(p);
        if (kept != previousKept) out.push_back(cross(previous, p));
        if (kept) out.push_back(p);
        previous = p;
        previousKept = kept;
    }
    return out;
}

}  // namespace

double pieceLength(const OutlinePiece& piece) {
    if (!piece.curve) return std::hypot(piece.p[3].x - piece.p[0].x, piece.p[3].y - piece.p[0].y);
    return curveLength(piece, 0, 1, quadrature(piece, 0, 1), 0);
}

std::vector<OutlinePiece> outlineStretch(const std::vector<OutlinePiece>& outline, double from, double to) {
    std::vector<OutlinePiece> stretch;
    double start = 0;
    for (const OutlinePiece& piece : outline) {
        const double length = pieceLength(piece);
        const double end = start + length;
        if (end > from && start < to && length > 0) {
            // The parameter at a distance along the piece, found by halving.
            const auto parameterAt = [&](double distance) {
                if (distance <= 0) return 0.0;
                if (distance >= length) return 1.0;
                if (!piece.curve) return distance / length;
                double lo = 0, hi = 1;
                for (int i = 0; i < 60 && hi - lo > 1e-15; ++i) {
                    const double t = (lo + hi) / 2;
                    (pieceLength(partOf(piece, t, true)) < distance ? lo : hi) = t;
                }
                return (lo + hi) / 2;
            };
            const double t0 = parameterAt(from - start);
            const double t1 = parameterAt(to - start);
            OutlinePiece part = piece;
            if (t1 < 1) part = partOf(part, t1, true);
            if (t0 > 0) part = partOf(part, t1 > 0 ? t0 / t1 : 0, false);
            stretch.push_back(part);
        }
        start = end;
        if (start >= to) break;
    }
    return stretch;
}

std::vector<OutlinePiece> roundedBoxOutline(double l, double t, double r, double b, double rx, double ry) {
    rx = std::min(std::max(rx, 0.0), (r - l) / 2);
    ry = std::min(std::max(ry, 0.0), (b - t) / 2);
    if (rx <= 0 || ry <= 0) return {line({l, t}, {r, t}), line({r, t}, {r, b}), line({r, b}, {l, b}), line({l, b}, {l, t})};
    // Control-point distance of a cubic approximating a quarter circle.
    constexpr double k = 0.5522847498;
    const double kx = k * rx;
    const double ky = k * ry;
    const auto curve = [](PathPoint a, PathPoint c1, PathPoint c2, PathPoint d) {
        return OutlinePiece{true, {a, c1, c2, d}};
    };
    return {
        line({l + rx, t}, {r - rx, t}),
        curve({r - rx, t}, {r - rx + kx, t}, {r, t + ry - ky}, {r, t + ry}),
        line({r, t + ry}, {r, b - ry}),
        curve({r, b - ry}, {r, b - ry + ky}, {r - rx + kx, b}, {r - rx, b}),
        line({r - rx, b}, {l + rx, b}),
        curve({l + rx, b}, {l + rx - kx, b}, {l, b - ry + ky}, {l, b - ry}),
        line({l, b - ry}, {l, t + ry}),
        curve({l, t + ry}, {l, t + ry - ky}, {l + rx - kx, t}, {l + rx, t}),
    };
}

std::vector<VisibleRun> visibleRuns(const std::vector<OutlinePiece>& outline, const ClipWindow& window) {
    std::vector<VisibleRun> runs;
    double length = 0;
    bool open = false;
    const auto outsidePiece = [&](const OutlinePiece& piece) {
        length += pieceLength(piece);
        open = false;
    };
    const auto insidePiece = [&](const OutlinePiece& piece) {
        if (!open) {
            runs.push_back(VisibleRun{length, {}});
            open = true;
        }
        runs.back().pieces.push_back(piece);
        length += pieceLength(piece);
    };
    for (const OutlinePiece& piece : outline) walkPiece(piece, window, 0, outsidePiece, insidePiece);
    return runs;
}

std::vector<PathPoint> visibleRegion(const std::vector<OutlinePiece>& outline, const ClipWindow& window) {
    if (outline.empty()) return {};
    // A piece outside the window is replaced by its control points: the
    // region between a curve and its control polygon lies within the curve's
    // hull, which is outside, so the region within the window stays the same.
    std::vector<PathPoint> points;
    const auto outsidePiece = [&](const OutlinePiece& piece) {
        if (piece.curve) {
            points.push_back(piece.p[1]);
            points.push_back(piece.p[2]);
        }
        points.push_back(piece.p[3]);
    };
    const auto insidePiece = [&](const OutlinePiece& piece) { flatten(piece, points, 0); };
    for (const OutlinePiece& piece : outline) walkPiece(piece, window, 0, outsidePiece, insidePiece);
    const auto crossX = [](double x) {
        return [x](PathPoint a, PathPoint b) { return PathPoint{x, a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x)}; };
    };
    const auto crossY = [](double y) {
        return [y](PathPoint a, PathPoint b) { return PathPoint{a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y), y}; };
    };
    points = clipPolygon(points, [&](PathPoint p) { return p.x >= window.left; }, crossX(window.left));
    points = clipPolygon(points, [&](PathPoint p) { return p.x <= window.right; }, crossX(window.right));
    points = clipPolygon(points, [&](PathPoint p) { return p.y >= window.top; }, crossY(window.top));
    points = clipPolygon(points, [&](PathPoint p) { return p.y <= window.bottom; }, crossY(window.bottom));
    return points;
}

}  // namespace mk::platform
