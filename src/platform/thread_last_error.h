#pragma once
// Where the calling thread's last error is kept. The record is made at the
// thread's first use and given back when the thread ends or the library is
// unloaded, so that a host that loads and unloads the library again and
// again keeps nothing of it.

#include <string>

namespace mk::platform {

struct ThreadLastError {
    int code = 0;
    std::string message;
};

ThreadLastError& threadLastError();

}  // namespace mk::platform
