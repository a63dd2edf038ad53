#include "support/hostile_objects.h"

#include <string_view>
#include <variant>

#include "model/label_object.h"
#include "support/lsf_writer.h"

namespace mk::test {
namespace {

std::string repeatedTo(std::string_view unit, std::size_t total) {
    std::string text;
    text.reserve(total);
    while (text.size() + unit.size() <= total) text.append(unit);
    return text;
}

bool isText(const ObjectField& field) {
    return std::holds_alternative<std::string LabelObject::*>(field.member) ||
           std::holds_alternative<std::vector<uint8_t> LabelObject::*>(field.member);
}

// Each chosen field opened inside the one before, so that each value holds all
// the others and the filler.
std::string nestedFields(bool texts, std::string_view filler) {
    std::string open;
    std::string close;
    for (const ObjectField& field : kObjectFields) {
        if (isText(field) != texts) continue;
        open += std::string("<") + field.key + ">";
        close = std::string("</") + field.key + ">" + close;
    }
    return open + std::string(filler) + close;
}

// Never complete, so that every tag of the object is looked at.
std::string everyFieldButTheLast() {
    std::string fields;
    for (std::size_t i = 0; i + 1 < kObjectFields.size(); ++i) fields += rawElement(kObjectFields[i].key, "1");
    return fields;
}

}  // namespace

std::string hostileObjectsXml(HostileShape shape, std::size_t size) {
    switch (shape) {
        case HostileShape::LessThanRun:
            return labelObject(std::string(size, '<'));
        case HostileShape::ManyFields:
            return labelObject(repeatedTo(everyFieldButTheLast(), size));
        case HostileShape::NestedFields:
            return labelObject(nestedFields(false, repeatedTo("<9", size)));
        case HostileShape::ManyVariables:
            return labelObject("<Variables>" + repeatedTo(variable(rawElement("sharename", "v")), size) + "</Variables>");
        case HostileShape::ManyTinyObjects:
            return repeatedTo(labelObject(""), size);
        case HostileShape::Entities:
            return labelObject(nestedFields(true, repeatedTo("&amp;amp;amp;lt;&#xA;&", size)) +
                               rawElement("Xposition", repeatedTo("&#xA;", size / 8) + "1"));
        case HostileShape::AmpersandNumbers:
            // The object's first <id> is the variable's.
            return labelObject(rawElement("ObjectName", "o<b/>&amp;") + "<Variables><Variable>" +
                               rawElement("sharename", "v<b/>&amp;") + rawElement("id", std::string(size, '&')) +
                               "</Variable></Variables>");
        case HostileShape::AmpersandText:
            return labelObject(rawElement("ObjectName", "<b/>" + std::string(size, '&')) + rawElement("id", "1"));
    }
    return {};
}

std::string hostileParamsXml(HostileShape shape, std::size_t size) {
    return shape == HostileShape::AmpersandNumbers ? rawElement("printerDPI", std::string(size, '&')) : "";
}

}  // namespace mk::test
