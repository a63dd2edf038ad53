#pragma once

#include <string_view>

namespace mk {

// Inputs that make the zint release we link against (2.11) read or write
// outside its own memory, for a kind's zintFault: they are refused before
// zint sees them. The result names the fault for the error line, or is null
// when the input is safe to encode.
const char* pdf417ZintFault(std::string_view data);

}  // namespace mk
