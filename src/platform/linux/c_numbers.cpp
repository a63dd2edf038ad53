#include "platform/c_numbers.h"

#include <clocale>
#include <cstdlib>
#include <locale.h>

namespace mk::platform {
namespace {

// Made once and kept for the life of the process; newlocale fails only when
// memory is short, and then the thread's own locale is the best there is.
locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t{});
    return locale;
}

}  // namespace

double strtodC(const char* text) {
    locale_t locale = cLocale();
    return locale != locale_t{} ? strtod_l(text, nullptr, locale) : std::strtod(text, nullptr);
}

long strtolC(const char* text, int base) {
    locale_t locale = cLocale();
    return locale != locale_t{} ? strtol_l(text, nullptr, base, locale) : std::strtol(text, nullptr, base);
}

}  // namespace mk::platform
