#include "render/barcode_kinds.h"

#include <algorithm>

#include "render/barcode_adapter.h"
#include "render/zint_faults.h"

namespace mk {

namespace {

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

std::string_view trimBlanks(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// Codabar data must start with one of its start characters A to D.
std::string codabarStart(std::string data) {
    const char first = data.empty() ? '\0' : asciiUpper(data.front());
    if (first < 'A' || first > 'D') data.insert(data.begin(), 'A');
    return data;
}

// PostNet takes 5, 9 or 11 digits; shorter data is padded to the next of them.
std::string postNetDigits(std::string data) {
    const size_t n = data.size();
    if (n > 11) return data;
    const size_t target = n <= 5 ? 5 : (n <= 9 ? 9 : 11);
    data.insert(0, target - n, '0');
    return data;
}

// The label stores application identifiers in parentheses, zint's GS1 mode
// wants square brackets.
std::string gs1Brackets(std::string data) {
    std::string out;
    out.reserve(data.size());
    size_t i = 0;
    // Once no ')' follows, none follows any later '(' either: looking again
    // for each would take time that grows with the square of the data.
    bool closeAhead = true;
    while (i < data.size()) {
        const size_t close = closeAhead && data[i] == '(' ? data.find(')', i + 1) : std::string::npos;
        if (data[i] == '(' && close == std::string::npos) closeAhead = false;
        if (close == std::string::npos) {
            out += data[i++];
            continue;
        }
        out += '[';
        out.append(data, i + 1, close - i - 1);
        out += ']';
        i = close + 1;
    }
    return out;
}

namespace sym = symbology;

// The drawable kinds first, in the order drawing has always listed them (the
// fuzz corpus picks kinds by that index); then those only the adapter knows.
// Parts are tried by rank: Han Xin first, so that a name holding several of
// these words resolves the same way every time.
const BarcodeKind kKinds[] = {
    {.drawnAs = "Code 128 Auto", .names = {"Code 128", "Code 128 Auto"}, .symbology = sym::Code128},
    {.drawnAs = "Code 128 A", .names = {"Code 128 A", "Code 128A"}, .symbology = sym::Code128AB, .subsetA = 1},
    {.drawnAs = "Code 128 B", .names = {"Code 128 B", "Code 128B"}, .symbology = sym::Code128AB},
    {.drawnAs = "Code 128 C", .names = {"Code 128 C", "Code 128C"}, .symbology = sym::Code128},
    {.drawnAs = "EAN-13",
     .names = {"EAN-13", "EAN13", "JAN-13", "JAN13", "EAN 13", "UCC13"},
     .symbology = sym::Ean13,
     .eanUpc = &eanUpc::ean13},
    {.drawnAs = "QR Code(2D)", .nameParts = {"qr code"}, .partsRank = 3, .symbology = sym::QrCode},
    {.drawnAs = "PDF 417(2D)",
     .nameParts = {"pdf 417", "pdf417"},
     .partsRank = 6,
     .symbology = sym::Pdf417,
     .zintFault = pdf417ZintFault},
    {.drawnAs = "Code 39", .names = {"Code 39"}, .symbology = sym::Code39, .code39Text = true},
    {.drawnAs = "Code 39 Extended",
     .names = {"Code 39 Extended"},
     .symbology = sym::Code39Extended,
     .code39Text = true,
     .keepsCaseWith = "Extended"},
    {.drawnAs = "Code 93", .names = {"Code 93"}, .symbology = sym::Code93},
    {.drawnAs = "UPC-A", .names = {"UPC-A", "UCC12"}, .symbology = sym::UpcA, .eanUpc = &eanUpc::upcA},
    {.drawnAs = "UPC-E", .names = {"UPC-E"}, .symbology = sym::UpcE, .eanUpc = &eanUpc::upcE},
    {.drawnAs = "UPC 2 Digit Ext.", .names = {"UPC 2 Digit Ext.", "UPC 2 Digit Ext"}, .symbology = sym::UpcA},
    {.drawnAs = "UPC 5 Digit Ext.", .names = {"UPC 5 Digit Ext.", "UPC 5 Digit Ext"}, .symbology = sym::UpcA},
    {.drawnAs = "EAN-8", .names = {"EAN-8", "EAN8", "EAN 8"}, .symbology = sym::Ean8, .eanUpc = &eanUpc::ean8},
    // Plain Interleaved 2 of 5: drawing adds the bearer box itself.
    {.drawnAs = "ITF-14", .names = {"ITF-14", "ITF14"}, .symbology = sym::Interleaved2of5, .bearerBox = true},
    {.drawnAs = "Data Matrix(2D)",
     .nameParts = {"data matrix", "datamatrix"},
     .partsRank = 5,
     .symbology = sym::DataMatrix},
    {.drawnAs = "GS1-128", .names = {"EAN 128 Auto", "GS1-128"}, .symbology = sym::Gs1_128, .prepare = gs1Brackets},
    {.drawnAs = "GS1 Data Matrix(2D)", .nameParts = {"gs1 data matrix"}, .partsRank = 4, .symbology = sym::DataMatrix},
    {.drawnAs = "GS1 QR Code(2D)", .nameParts = {"gs1 qr code"}, .partsRank = 2, .symbology = sym::QrCode},
    {.drawnAs = "GS1 DataBar Expanded Stacked",
     .names = {"GS1 DataBar Expanded Stacked", "GS1 DataBar Expanded Stacked(2D)"},
     .symbology = sym::Gs1DataBarExpandedStacked,
     .prepare = gs1Brackets},
    {.drawnAs = "Interleaved 2 of 5", .names = {"Interleaved 2 of 5"}, .symbology = sym::Interleaved2of5},
    {.drawnAs = "Industrial 2 of 5", .names = {"Industrial 2 of 5"}, .symbology = sym::Industrial2of5},
    {.drawnAs = "Standard 2 of 5", .names = {"Standard 2 of 5"}, .symbology = sym::Standard2of5},
    {.drawnAs = "Aztec Code(2D)", .nameParts = {"aztec"}, .partsRank = 7, .symbology = sym::Aztec},
    {.drawnAs = "GridMatrix(2D)",
     .nameParts = {"grid matrix", "gridmatrix"},
     .partsRank = 8,
     .symbology = sym::GridMatrix},
    // Han Xin by its Chinese name, in UTF-8.
    {.drawnAs = "\xE6\xB1\x89\xE4\xBF\xA1\xE7\xA0\x81(2D)",
     .nameParts = {"han xin", "\xE6\xB1\x89\xE4\xBF\xA1\xE7\xA0\x81"},
     .partsRank = 1,
     .symbology = sym::HanXin},
    {.names = {"Codabar"}, .symbology = sym::Codabar, .prepare = codabarStart},
    {.names = {"Code 11"}, .symbology = sym::Code11},
    {.names = {"MSI"}, .symbology = sym::MsiPlessey},
    {.names = {"PostNet"}, .symbology = sym::PostNet, .prepare = postNetDigits},
    {.names = {"ISBN", "Bookland"}, .symbology = sym::Isbn},
    {.names = {"LOGMARS"}, .symbology = sym::Logmars},
};

// Any name no kind answers to.
const BarcodeKind& code128Kind() { return kKinds[0]; }

constexpr int kLastPartsRank = 8;

}  // namespace

bool rangeEqualsNoCase(const char* first, const char* last, const char* other) {
    for (; first != last; ++first, ++other)
        if (asciiLower(*first) != asciiLower(*other)) return false;
    return true;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && rangeEqualsNoCase(a.data(), a.data() + a.size(), b.data());
}

const BarcodeKind& barcodeKindFor(std::string_view kind) {
    const std::string_view trimmed = trimBlanks(kind);
    for (const BarcodeKind& entry : kKinds)
        for (std::string_view name : entry.names)
            if (!name.empty() && equalsIgnoreCase(trimmed, name)) return entry;
    std::string lower(trimmed);
    std::transform(lower.begin(), lower.end(), lower.begin(), asciiLower);
    for (int rank = 1; rank <= kLastPartsRank; ++rank)
        for (const BarcodeKind& entry : kKinds)
            if (entry.partsRank == rank)
                for (std::string_view part : entry.nameParts)
                    if (!part.empty() && contains(lower, part)) return entry;
    return code128Kind();
}

// At namespace scope, made when the library loads: a function-local static
// would take the runtime's guard, which the Windows DLL does without.
const std::vector<std::string_view> drawableNames = [] {
    std::vector<std::string_view> out;
    for (const BarcodeKind& entry : kKinds)
        if (!entry.drawnAs.empty()) out.push_back(entry.drawnAs);
    return out;
}();

const std::vector<std::string_view>& drawableBarcodeKindNames() { return drawableNames; }

bool isDrawableBarcodeKind(std::string_view kind) {
    return !kind.empty() &&
           std::any_of(std::begin(kKinds), std::end(kKinds), [&](const BarcodeKind& k) { return k.drawnAs == kind; });
}

bool isGs1KindName(std::string_view kind) { return contains(kind, "GS1") || contains(kind, "gs1"); }

KindTextRules kindTextRulesFor(std::string_view kind) {
    KindTextRules rules;
    bool keepsCase = false;
    for (const BarcodeKind& entry : kKinds) {
        if (!entry.keepsCaseWith.empty() && contains(kind, entry.keepsCaseWith)) keepsCase = true;
        if (entry.drawnAs.empty() || !contains(kind, entry.drawnAs)) continue;
        rules.bearerBox = rules.bearerBox || entry.bearerBox;
        rules.code39 = rules.code39 || entry.code39Text;
    }
    rules.upperCase = rules.code39 && !keepsCase;
    rules.digitLine = isEanUpcKindName(kind);
    rules.digits = eanUpcDigitsFor(kind);
    return rules;
}

std::string prepareBarcodeData(const BarcodeKind& kind, std::string data) {
    if (kind.prepare != nullptr) data = kind.prepare(std::move(data));
    if (kind.eanUpc != nullptr && kind.eanUpc->dataDigits > 0) data = fillEanUpcDigits(*kind.eanUpc, std::move(data));
    return data;
}

}  // namespace mk
