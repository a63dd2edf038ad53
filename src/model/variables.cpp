#include "model/variables.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <utility>

#include "platform/mapped_memory.h"

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

// The variables of one object by id, built once per composition: an id is
// found by a binary search instead of a scan of the list, so a long ids text
// over many variables costs their sum, not their product. Equal ids keep
// their list order, so the first in the list is the one found.
class VariableIndex {
public:
    explicit VariableIndex(const std::vector<LabelVariable>& variables) : variables_(variables) {
        byId_.reserve(variables.size());
        for (size_t i = 0; i < variables.size(); ++i) byId_.emplace_back(variables[i].id, i);
        std::ranges::sort(byId_);
    }

    const LabelVariable* find(int id) const {
        const auto it = std::ranges::lower_bound(byId_, std::pair<int, size_t>(id, 0));
        return it != byId_.end() && it->first == id ? &variables_[it->second] : nullptr;
    }

private:
    const std::vector<LabelVariable>& variables_;
    // Mapped when large: a label of many variables needs it for one call.
    std::vector<std::pair<int, size_t>, platform::MappedAllocator<std::pair<int, size_t>>> byId_;
};

// Calls use(variable) for each id of the ids text that names a variable, in
// token order.
template <typename Use>
void forEachListedVariable(std::string_view ids, const VariableIndex& index, Use use) {
    while (true) {
        const size_t comma = ids.find(',');
        const std::string_view token = trimIdToken(ids.substr(0, comma));
        if (!token.empty()) {
            const std::optional<int> id = parseVariableId(token);
            if (const LabelVariable* variable = id ? index.find(*id) : nullptr) use(*variable);
        }
        if (comma == std::string_view::npos) break;
        ids.remove_prefix(comma + 1);
    }
}

// The bytes composeIndexed would give, without making the text.
uint64_t composedBytes(std::string_view ids, const VariableIndex& index) {
    uint64_t bytes = 0;
    forEachListedVariable(ids, index, [&](const LabelVariable& variable) {
        bytes += variable.fixedlength > 0 ? static_cast<uint64_t>(variable.fixedlength) : variable.data.size();
    });
    return bytes;
}

// Appends the text brought to width bytes (see padToWidth).
void appendPadded(std::string& out, std::string_view text, int width) {
    const size_t bytes = width < 1 ? text.size() : static_cast<size_t>(width);
    if (text.size() >= bytes) {
        out.append(text.substr(text.size() - bytes));
    } else {
        out.append(bytes - text.size(), '0');
        out.append(text);
    }
}

// The text is made at its final size at once: a composition grown by
// appending would leave a trail of freed blocks behind in the heap, each
// half the size of the next.
std::string composeIndexed(std::string_view ids, const VariableIndex& index, uint64_t bytes) {
    std::string composed;
    composed.reserve(static_cast<size_t>(bytes));
    forEachListedVariable(ids, index,
                          [&](const LabelVariable& variable) { appendPadded(composed, variable.data, variable.fixedlength); });
    return composed;
}

bool composes(const LabelObject& object) { return !object.Variables.empty() || !object.datachild_IDs.empty(); }

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
    std::string padded;
    appendPadded(padded, text, width);
    return padded;
}

bool composeDocumentVariableTexts(LabelDoc& doc) {
    // Measured in full before anything is composed: a label over the bound
    // takes none of that memory and keeps its texts as they were. Each
    // object's variables are indexed once, for both passes.
    struct Composition {
        VariableIndex index;
        uint64_t bytes;
    };
    std::vector<Composition, platform::MappedAllocator<Composition>> compositions;
    compositions.reserve(doc.objects.size());
    uint64_t total = 0;
    for (const LabelObject& object : doc.objects) {
        if (!composes(object)) continue;
        Composition& made = compositions.emplace_back(Composition{VariableIndex(object.Variables), 0});
        made.bytes = composedBytes(object.datachild_IDs, made.index);
        total += made.bytes;
        if (total > kMaxLabelTextBytes) return false;
    }
    auto composition = compositions.cbegin();
    for (LabelObject& object : doc.objects) {
        if (!composes(object)) continue;
        std::string text = composeIndexed(object.datachild_IDs, composition->index, composition->bytes);
        ++composition;
        // An empty composition keeps the designed text rather than blanking it.
        if (!text.empty()) object.objectdata = std::move(text);
    }
    return true;
}

}  // namespace mk
