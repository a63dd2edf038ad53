#pragma once

namespace mk::platform {

// The C library's strtod and strtol as they behave in the "C" locale, whatever
// locale the host program has set: label files always write '.' as the decimal
// separator. The text must be NUL-terminated.
double strtodC(const char* text);
long strtolC(const char* text, int base);

}  // namespace mk::platform
