#include "platform/c_numbers.h"

#include <locale.h>
#include <stdlib.h>

namespace mk::platform {
namespace {

// Made once and kept for the life of the process; creating it fails only
// when memory is short, and then the thread's own locale is the best there is.
_locale_t cLocale() {
    static const _locale_t locale = _create_locale(LC_ALL, "C");
    return locale;
}

}  // namespace

double strtodC(const char* text) {
    _locale_t locale = cLocale();
    return locale != nullptr ? _strtod_l(text, nullptr, locale) : strtod(text, nullptr);
}

long strtolC(const char* text, int base) {
    _locale_t locale = cLocale();
    return locale != nullptr ? _strtol_l(text, nullptr, base, locale) : strtol(text, nullptr, base);
}

}  // namespace mk::platform
