#include "model/label_object.h"

#include <utility>

namespace mk {

bool nameStartsWith(std::string_view objectName, std::string_view word) {
    return objectName.size() >= word.size() && objectName.compare(0, word.size(), word) == 0;
}

ObjectKind objectKindOf(std::string_view objectName) {
    struct Prefix {
        const char* word;
        ObjectKind kind;
    };
    static constexpr Prefix kPrefixes[] = {
        {"barcode", ObjectKind::Barcode}, {"text", ObjectKind::Text}, {"rectangle", ObjectKind::Rectangle},
        {"line", ObjectKind::Line},       {"image", ObjectKind::Image}, {"rfid", ObjectKind::Rfid},
    };
    for (const Prefix& prefix : kPrefixes) {
        if (nameStartsWith(objectName, prefix.word)) return prefix.kind;
    }
    return ObjectKind::None;
}

void initLabelObject(LabelObject& object) { object = LabelObject{}; }

void copyLabelObject(LabelObject& target, const LabelObject& source) { target = source; }

void moveLabelObject(LabelObject& target, LabelObject& source) {
    target = std::move(source);
    // A moved-from string or vector is only "valid but unspecified"; the source
    // is promised to be left empty.
    source.Variables.clear();
    source.imagedata.clear();
    for (const ObjectField& field : kObjectFields) {
        if (auto member = std::get_if<std::string LabelObject::*>(&field.member)) (source.**member).clear();
    }
}

void destroyLabelObject(LabelObject& object) { object = LabelObject{}; }

}  // namespace mk
