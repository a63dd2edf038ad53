#pragma once

#include <exception>
#include <utility>

namespace mk {

// Runs the body of an exported function so that no exception crosses the C
// boundary: running out of memory (the only exception the library's own code
// can meet) turns into the export's failure value.
template <typename Result, typename Body>
Result guarded(Result failure, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return failure;
    }
}

template <typename Body>
void guardedVoid(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
    } catch (...) {
    }
}

}  // namespace mk
