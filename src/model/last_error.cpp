#include "model/last_error.h"

#include "mklabel.h"
#include "platform/thread_last_error.h"

namespace mk {

using platform::threadLastError;

void setLastError(int code, const std::string& message) {
    platform::ThreadLastError& lastError = threadLastError();
    lastError.code = code;
    lastError.message = message;
}

int getLastErrorCode() { return threadLastError().code; }

const char* getLastErrorMessage() { return threadLastError().message.c_str(); }

}  // namespace mk

extern "C" {

MK_API int MkGetLastErrorCode(void) { return mk::getLastErrorCode(); }
MK_API const char* MkGetLastErrorMessage(void) { return mk::getLastErrorMessage(); }
MK_API const char* MkLabelDoc_GetLastError(void) { return mk::getLastErrorMessage(); }

}
