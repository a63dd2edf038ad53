#include "model/last_error.h"

#include "mklabel.h"

namespace mk {
namespace {

struct LastError {
    int code = 0;
    std::string message;
};

LastError& threadLastError() {
    thread_local LastError lastError;
    return lastError;
}

}  // namespace

void setLastError(int code, const std::string& message) {
    LastError& lastError = threadLastError();
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
