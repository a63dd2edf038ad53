#include "platform/c_numbers.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <locale.h>
#include <stdlib.h>

namespace mk::platform {
namespace {

// Made when the library is loaded and freed when it is unloaded; creating it
// fails only when memory is short, and then the thread's own locale is the
// best there is.
class CLocale {
public:
    CLocale() : locale_(_create_locale(LC_ALL, "C")) {}
    ~CLocale() {
        if (locale_ != nullptr) _free_locale(locale_);
    }
    CLocale(const CLocale&) = delete;
    CLocale& operator=(const CLocale&) = delete;
    _locale_t get() const { return locale_; }

private:
    _locale_t locale_;
};

const CLocale cLocale;

bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Whether a number the conversion found out of range is too large (rather
// than too small) for a double: its first significant digit's place plus its
// exponent decides.
bool overflows(const char* first, const char* last, bool hex) {
    long long place = 0;  // digits before the point, less leading zeros
    bool seenPoint = false;
    bool significant = false;
    const char* at = first;
    const char marker = hex ? 'p' : 'e';
    for (; at < last && (*at | 0x20) != marker; ++at) {
        if (*at == '.') {
            seenPoint = true;
        } else if (!significant && *at == '0') {
            if (seenPoint) --place;
        } else {
            significant = true;
            if (!seenPoint) ++place;
        }
    }
    long long exponent = 0;
    if (at < last) {
        ++at;
        const bool negative = at < last && *at == '-';
        if (at < last && (*at == '-' || *at == '+')) ++at;
        while (at < last && exponent < 100000) exponent = exponent * 10 + (*at++ - '0');
        if (negative) exponent = -exponent;
    }
    return place + exponent > 0;
}

}  // namespace

// The system's C runtime reads neither hexadecimal nor infinity and NaN
// texts, so numbers are read by the standard library's locale-independent
// conversion, with strtod's syntax round it: leading white space, a sign, a
// "0x" prefix, and infinity or zero when the value is out of range.
double strtodC(const char* text) {
    const char* at = text;
    while (isCSpace(*at)) ++at;
    const bool negative = *at == '-';
    if (*at == '-' || *at == '+') ++at;
    const char* end = at + std::strlen(at);
    const bool hex = at[0] == '0' && (at[1] | 0x20) == 'x';
    double value = 0.0;
    std::from_chars_result result{};
    if (hex) {
        result = std::from_chars(at + 2, end, value, std::chars_format::hex);
        if (result.ec == std::errc::invalid_argument) result = std::from_chars(at, at + 1, value);  // just "0"
    } else {
        result = std::from_chars(at, end, value);
    }
    if (result.ec == std::errc::result_out_of_range) {
        value = overflows(hex ? at + 2 : at, result.ptr, hex) ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (result.ec != std::errc{}) {
        value = 0.0;
    }
    return negative ? -value : value;
}

long strtolC(const char* text, int base) {
    _locale_t locale = cLocale.get();
    return locale != nullptr ? _strtol_l(text, nullptr, base, locale) : strtol(text, nullptr, base);
}

}  // namespace mk::platform
