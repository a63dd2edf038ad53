#include "platform/thread_last_error.h"

namespace mk::platform {

ThreadLastError& threadLastError() {
    thread_local ThreadLastError lastError;
    return lastError;
}

}  // namespace mk::platform
