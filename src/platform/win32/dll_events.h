#pragma once
// What the DLL does when a thread ends while it is loaded.

namespace mk::platform {

// Frees the calling thread's last-error record, if it has one.
void releaseThreadLastError();

}  // namespace mk::platform
