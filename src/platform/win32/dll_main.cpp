// The DLL's entry point: what the library keeps per thread is given back when
// a thread ends, and what the runtime keeps for good when a host unloads the
// DLL (static objects are destroyed by the runtime itself after this).
#include <windows.h>

#include "platform/win32/dll_events.h"

namespace __gnu_cxx {
// The C++ runtime's reserve for throwing exceptions when memory is short,
// which it allocates at start-up and never frees otherwise.
void __freeres() noexcept;
}  // namespace __gnu_cxx

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void* reserved) {
    if (reason == DLL_THREAD_DETACH) mk::platform::releaseThreadLastError();
    // Only when unloaded by FreeLibrary: at process exit (reserved set) the
    // memory goes with the process.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) __gnu_cxx::__freeres();
    return TRUE;
}
