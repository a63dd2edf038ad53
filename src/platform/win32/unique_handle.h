#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace mk::platform {

// Owns a kernel handle (a file, an event) and closes it when it goes.
struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

}  // namespace mk::platform
