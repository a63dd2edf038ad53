#include "lsf/objects_xml.h"

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "lsf/flat_xml.h"
#include "lsf/variables_xml.h"

namespace mk {
namespace {

constexpr std::string_view kObjectOpen = "<LabelObject>";
constexpr std::string_view kObjectClose = "</LabelObject>";

// The capitalised spelling of the type's key, read only when the usual one
// yields 0.
constexpr std::string_view kObjectClassFallbackKey = "objectClass";

template <typename... Visitors>
struct Overloaded : Visitors... {
    using Visitors::operator()...;
};
template <typename... Visitors>
Overloaded(Visitors...) -> Overloaded<Visitors...>;

// Every keyed field's name at its place in the table, then the fallback's.
// Made when the library loads (no function-local static: its guard is a
// runtime piece the Windows DLL leaves out).
const XmlKeys objectKeysTable = [] {
    std::vector<std::string_view> names = keyNamesOf(kObjectFields);
    names.push_back(kObjectClassFallbackKey);
    return XmlKeys(names);
}();
const XmlKeys& objectKeys() { return objectKeysTable; }
constexpr std::size_t kObjectClassFallbackPlace = kObjectFields.size();

// False when what the field holds does not fit the budget.
bool readObjectField(const XmlIndex& index, std::size_t place, LabelObject& object, LoadBudget& budget) {
    return std::visit(Overloaded{
                   [&](std::string LabelObject::*member) {
                       object.*member = index.text(place);
                       return budget.takeText(object.*member);
                   },
                   [&](bool LabelObject::*member) {
                       object.*member = index.flag(place);
                       return true;
                   },
                   [&](int LabelObject::*member) {
                       object.*member = index.integer(place);
                       return true;
                   },
                   [&](float LabelObject::*member) {
                       object.*member = index.real(place);
                       return true;
                   },
                   // A colour is written as its signed decimal value: -16777216 is opaque black.
                   [&](uint32_t LabelObject::*member) {
                       object.*member = static_cast<uint32_t>(index.integer(place));
                       return true;
                   },
                   [&](std::vector<uint8_t> LabelObject::*member) {
                       const std::string text = index.text(place);
                       (object.*member).clear();
                       if (!text.empty()) object.*member = base64Decode(text);
                       return budget.take((object.*member).capacity());
                   },
               },
               kObjectFields[place].member);
}

constexpr std::array<int8_t, 256> makeBase64Values() {
    constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::array<int8_t, 256> values{};
    for (auto& value : values) value = -1;
    for (std::size_t i = 0; i < alphabet.size(); ++i) values[static_cast<uint8_t>(alphabet[i])] = static_cast<int8_t>(i);
    return values;
}

constexpr std::array<int8_t, 256> kBase64Values = makeBase64Values();

}  // namespace

std::vector<uint8_t> base64Decode(std::string_view text) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3 + 3);
    uint32_t bits = 0;  // only the low `pending` bits matter; older ones shift out
    int pending = 0;
    for (char c : text) {
        const int value = kBase64Values[static_cast<uint8_t>(c)];
        if (value < 0) continue;
        bits = (bits << 6) | static_cast<uint32_t>(value);
        pending += 6;
        if (pending >= 8) {
            pending -= 8;
            bytes.push_back(static_cast<uint8_t>(bits >> pending));
        }
    }
    return bytes;
}

bool parseLabelObjectsXml(std::string_view text, std::vector<LabelObject>& objects, std::size_t limit) {
    if (text.empty()) return true;
    LoadBudget budget(limit);
    XmlIndex index(objectKeys(), &budget);
    std::size_t pos = 0;
    for (;;) {
        const std::size_t open = findText(text, kObjectOpen, pos);
        if (open == std::string_view::npos) return true;
        const std::size_t close = findText(text, kObjectClose, open);
        if (close == std::string_view::npos) return true;  // an unclosed object ends the list
        const std::size_t end = close + kObjectClose.size();
        const std::string_view chunk = text.substr(open, end - open);
        pos = end;

        if (!budget.take(sizeof(LabelObject))) return false;
        LabelObject object;  // a new object's defaults
        index.scan(chunk);
        for (std::size_t place = 0; place < kObjectFields.size(); ++place) {
            if (!readObjectField(index, place, object, budget)) return false;
        }
        if (object.objectclass == 0) object.objectclass = index.integer(kObjectClassFallbackPlace);
        parseObjectVariablesXml(chunk, object.Variables, budget);
        if (budget.exceeded()) return false;
        // Moved rather than copied: an image object may carry megabytes.
        objects.push_back(std::move(object));
    }
}

}  // namespace mk
