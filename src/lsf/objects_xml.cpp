#include "lsf/objects_xml.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "lsf/flat_xml.h"
#include "lsf/variables_xml.h"

namespace mk {
namespace {

constexpr SearchText kObjectOpen = "<LabelObject>";
constexpr SearchText kObjectClose = "</LabelObject>";

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

// A new object with every keyed field as a missing element reads it (0, 0.0,
// false or empty) and the fields without a key at a new object's defaults:
// what each loaded object starts from.
const LabelObject blankLoadedObject = [] {
    LabelObject object;
    for (const ObjectField& field : kObjectFields) {
        std::visit([&](auto member) { object.*member = {}; }, field.member);
    }
    return object;
}();

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
                   [&](decltype(LabelObject::imagedata) LabelObject::*member) {
                       // A picture's text is read where it lies: a copy of it
                       // would stay in the loading thread's heap.
                       const std::optional<std::string_view> plain = index.plainText(place);
                       const std::string decoded = plain ? std::string() : index.text(place);
                       const std::string_view text = plain ? *plain : std::string_view(decoded);
                       (object.*member).clear();
                       if (!text.empty()) object.*member = base64Decode(text);
                       return budget.take((object.*member).capacity());
                   },
               },
               kObjectFields[place].member);
}

// The elements of the scanned chunk into an object that starts from what
// missing elements read; false when what it holds does not fit the budget.
bool readObject(const XmlIndex& index, std::string_view chunk, LabelObject& object, LoadBudget& budget) {
    for (std::size_t place : index.opened()) {
        if (place < kObjectFields.size() && !readObjectField(index, place, object, budget)) return false;
    }
    if (object.objectclass == 0) object.objectclass = index.integer(kObjectClassFallbackPlace);
    parseObjectVariablesXml(chunk, object.Variables, budget);
    return !budget.exceeded();
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

decltype(LabelObject::imagedata) base64Decode(std::string_view text) {
    decltype(LabelObject::imagedata) bytes;
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
    // The objects are cut first so that the list grows once, to hold every
    // record the budget could hold: a growing list would move each record
    // several times. One more chunk than that is enough to refuse the rest.
    const std::size_t most = budget.recordsLeft(sizeof(LabelObject));
    const std::vector<std::string_view> chunks = RecordWalk(text, kObjectOpen, kObjectClose).take(most + 1);
    objects.reserve(objects.size() + std::min(chunks.size(), most));
    for (const std::string_view chunk : chunks) {
        if (!budget.take(sizeof(LabelObject))) return false;
        // Built where it stays; only the elements the chunk holds are read.
        LabelObject& object = objects.emplace_back(blankLoadedObject);
        index.scan(chunk);
        if (!readObject(index, chunk, object, budget)) {
            objects.pop_back();  // the list holds only the objects read whole
            return false;
        }
    }
    return true;
}

}  // namespace mk
