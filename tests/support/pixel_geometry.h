#pragma once

#include <algorithm>
#include <climits>
#include <ostream>
#include <set>
#include <utility>

namespace mk::test {

// Pixel checks compare sets of points and their bounding boxes, not images.
using Point = std::pair<int, int>;

struct Box {
    int left, top, right, bottom;  // inclusive
    bool operator==(const Box&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Box& box) {
    return out << "(" << box.left << ", " << box.top << ") - (" << box.right << ", " << box.bottom << ")";
}

inline Box bounds(const std::set<Point>& points) {
    Box box{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (auto [x, y] : points) {
        box.left = std::min(box.left, x);
        box.top = std::min(box.top, y);
        box.right = std::max(box.right, x);
        box.bottom = std::max(box.bottom, y);
    }
    return box;
}

}  // namespace mk::test
