#pragma once

#include <string>

namespace mk {

// The text of a printer status code as getStatusCode returns it; codes
// without a text of their own (4, the failures, ...) read
// "Printer error: <code>".
std::string statusText(int code);

}  // namespace mk
