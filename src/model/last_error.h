#pragma once

#include <string>

namespace mk {

// The calling thread's last error. Set only by loading and printer
// communication; never reset.
void setLastError(int code, const std::string& message);
int getLastErrorCode();
const char* getLastErrorMessage();

}  // namespace mk
