#pragma once

#include <cstdint>
#include <string>

namespace mk {

// atof: leading white space, the longest numeric prefix (hexadecimal, infinity
// and not-a-number forms included), 0.0 when nothing converts; the double is
// then rounded to the nearest 32-bit float.
float textToFloat(const std::string& text);

// strtol in the given base, saturating at the limits of a 32-bit signed value
// (long is wider than 32 bits here).
int32_t textToInt32(const std::string& text, int base);

}  // namespace mk
