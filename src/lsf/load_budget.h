#pragma once

#include <cstddef>
#include <string>

namespace mk {

// The most memory the objects of one label file may hold once loaded: every
// object and variable record (its size, not the room its list has grown to),
// and the bytes of every text and image they carry. A real label holds a few
// dozen objects and perhaps a page-sized picture, far below it; a small file whose objects block inflates to
// millions of tiny elements (or to texts nested inside each other, each a
// copy of the rest) is refused instead of taking gigabytes.
inline constexpr std::size_t kMaxLoadedObjectsBytes = std::size_t{64} << 20;

// What a load has kept so far. Once a request does not fit what is left, the
// budget stays exceeded and the load must give up.
class LoadBudget {
public:
    explicit LoadBudget(std::size_t limit) : left_(limit) {}

    bool take(std::size_t bytes) {
        if (exceeded_ || bytes > left_) {
            exceeded_ = true;
            return false;
        }
        left_ -= bytes;
        return true;
    }

    // A text's own allocation; short texts live inside the record.
    bool takeText(const std::string& text) {
        static const std::size_t inRecord = std::string().capacity();
        return take(text.capacity() > inRecord ? text.capacity() : 0);
    }

    bool exceeded() const { return exceeded_; }
    // How many records of the size the rest of the budget could hold.
    std::size_t recordsLeft(std::size_t recordSize) const { return exceeded_ ? 0 : left_ / recordSize; }

private:
    std::size_t left_;
    bool exceeded_ = false;
};

}  // namespace mk
