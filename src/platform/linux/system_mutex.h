#pragma once
// Included by platform/mutex.h only.
#include <mutex>

namespace mk::platform {

using Mutex = std::mutex;

}  // namespace mk::platform
