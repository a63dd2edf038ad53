#include "render/zint_symbology.h"

#include <zint.h>

#include "render/barcode_adapter.h"

namespace mk {

namespace {

// The digits of an EAN-8 with its check digit.
constexpr size_t kEan8DigitsWithCheck = 8;

// The symbol's own digits: an add-on follows a '+'.
std::string_view mainPart(std::string_view data) { return data.substr(0, data.find('+')); }

}  // namespace

ZintTarget zintTargetFor(int sym, std::string_view data) {
    if (sym != symbology::Ean8) return {sym, nullptr};
    const size_t length = mainPart(data).size();
    // With its check digit: the check-digit variant verifies it and stays an EAN-8.
    if (length == kEan8DigitsWithCheck) return {BARCODE_EANX_CHK, nullptr};
    if (length > kEan8DigitsWithCheck) return {sym, "Input too long for EAN-8 (7 digits, or 8 with the check digit)"};
    return {BARCODE_EANX, nullptr};
}

int leadingColumnsToDrop(int sym, const unsigned char* firstRow, int width) {
    if (sym != symbology::Ean8) return 0;
    for (int x = 0; x < width; ++x)
        if (firstRow[3 * x] == 0) return x;
    return 0;
}

}  // namespace mk
