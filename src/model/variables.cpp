#include "model/variables.h"

#include <climits>
#include <cstdint>
#include <optional>

namespace mk {

namespace {

bool isIdBlank(char c) { return c == ' ' || c == '\t'; }

// The C library's isspace in the "C" locale: what a string-to-int conversion
// skips before the number.
bool isLeadingSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view trimIdToken(std::string_view token) {
    while (!token.empty() && isIdBlank(token.front())) token.remove_prefix(1);
    while (!token.empty() && isIdBlank(token.back())) token.remove_suffix(1);
    return token;
}

// Reads a token as a decimal int the way the standard conversion does: leading
// white space, an optional sign, digits; anything after the digits is ignored.
// No digits, or a number outside the int range, gives no id.
std::optional<int> parseVariableId(std::string_view token) {
    size_t pos = 0;
    while (pos < token.size() && isLeadingSpace(token[pos])) ++pos;
    bool negative = false;
    if (pos < token.size() && (token[pos] == '+' || token[pos] == '-')) {
        negative = token[pos] == '-';
        ++pos;
    }
    const size_t firstDigit = pos;
    // Accumulated as a magnitude so INT_MIN, one larger than INT_MAX, still fits.
    const int64_t limit = negative ? -static_cast<int64_t>(INT_MIN) : INT_MAX;
    int64_t magnitude = 0;
    bool overflow = false;
    for (; pos < token.size() && token[pos] >= '0' && token[pos] <= '9'; ++pos) {
        if (!overflow) {
            magnitude = magnitude * 10 + (token[pos] - '0');
            overflow = magnitude > limit;
        }
    }
    if (pos == firstDigit || overflow) return std::nullopt;
    return static_cast<int>(negative ? -magnitude : magnitude);
}

const LabelVariable* findVariableById(const std::vector<LabelVariable>& variables, int id) {
    for (const LabelVariable& variable : variables) {
        if (variable.id == id) return &variable;
    }
    return nullptr;
}

}  // namespace

void setObjectVariable(LabelObject& object, std::string_view name, std::string_view value) {
    for (LabelVariable& variable : object.Variables) {
        if (variable.sharename == name) {
            variable.data.assign(value);
            return;
        }
    }
}

void setVariableInAllObjects(std::vector<LabelObject>& objects, std::string_view name, std::string_view value) {
    for (LabelObject& object : objects) setObjectVariable(object, name, value);
}

std::string padToWidth(std::string_view text, int width) {
    if (width < 1) return std::string(text);
    const size_t bytes = static_cast<size_t>(width);
    if (text.size() >= bytes) return std::string(text.substr(text.size() - bytes));
    std::string padded(bytes - text.size(), '0');
    padded.append(text);
    return padded;
}

std::string composeVariableText(std::string_view ids, const std::vector<LabelVariable>& variables) {
    std::string composed;
    while (true) {
        const size_t comma = ids.find(',');
        const std::string_view token = trimIdToken(ids.substr(0, comma));
        if (!token.empty()) {
            const std::optional<int> id = parseVariableId(token);
            const LabelVariable* variable = id ? findVariableById(variables, *id) : nullptr;
            if (variable != nullptr) {
                if (variable->fixedlength > 0) {
                    composed += padToWidth(variable->data, variable->fixedlength);
                } else {
                    composed += variable->data;
                }
            }
        }
        if (comma == std::string_view::npos) break;
        ids.remove_prefix(comma + 1);
    }
    return composed;
}

std::string composeObjectVariableText(const LabelObject& object) {
    return composeVariableText(object.datachild_IDs, object.Variables);
}

void composeDocumentVariableTexts(LabelDoc& doc) {
    for (LabelObject& object : doc.objects) {
        if (object.Variables.empty() && object.datachild_IDs.empty()) continue;
        std::string text = composeObjectVariableText(object);
        // An empty composition keeps the designed text rather than blanking it.
        if (!text.empty()) object.objectdata = std::move(text);
    }
}

}  // namespace mk
