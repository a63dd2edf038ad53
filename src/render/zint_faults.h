#pragma once

#include <string_view>

namespace mk {

// Inputs that make the zint release we link against (2.11) read or write
// outside its own memory. They are refused before zint sees them; the
// result names the fault for the error line, or is null when the input is
// safe to encode.
const char* knownZintFault(int symbology, std::string_view data);

}  // namespace mk
