#pragma once

// A static object whose destructor never runs. A host may call the library
// from its own exit handlers (MkFree of a buffer it still held), which run
// after the library's static objects are destroyed when the library was
// loaded later than the handlers were registered. Objects those calls reach
// live in one of these; whatever must go back when the library is unloaded
// is given back by a destructor of its own that leaves the object usable.

#include <new>
#include <utility>

namespace mk::platform {

template <typename T>
union NeverDestroyed {
    template <typename... Args>
    constexpr explicit NeverDestroyed(Args&&... args) : value(std::forward<Args>(args)...) {}
    ~NeverDestroyed() {}
    NeverDestroyed(const NeverDestroyed&) = delete;
    NeverDestroyed& operator=(const NeverDestroyed&) = delete;

    T value;
};

}  // namespace mk::platform
