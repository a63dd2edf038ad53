// The flat XML getters and the record readers over any text. The first line of
// an input (at most 64 bytes) is the key, the rest is the chunk. Values are
// also decoded by the literal restart-from-the-start rule and must agree, and
// every key of the records, read from one index of the chunk, must read as a
// plain search of the chunk for that key alone finds it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "../support/entity_reference.h"
#include "lsf/flat_xml.h"
#include "lsf/number_text.h"
#include "lsf/objects_xml.h"
#include "lsf/printer_params_xml.h"
#include "lsf/variables_xml.h"

namespace {

// The literal rule is quadratic; compare on values it finishes quickly.
constexpr std::size_t kLiteralCheckLimit = 4096;

std::string_view rawValue(std::string_view chunk, std::string_view key) {
    const std::string open = "<" + std::string(key) + ">";
    const std::string close = "</" + std::string(key) + ">";
    const std::size_t at = chunk.find(open);
    if (at == std::string_view::npos) return {};
    const std::size_t start = at + open.size();
    const std::size_t end = chunk.find(close, start);
    if (end == std::string_view::npos) return {};
    return chunk.substr(start, end - start);
}

// The value a search from the chunk's first byte finds for this key alone.
void checkAgainstPlainSearch(const mk::XmlIndex& index, std::size_t place, std::string_view chunk,
                             std::string_view key) {
    const std::string text = mk::decodeXmlEntities(rawValue(chunk, key));
    std::string lower = text;
    for (char& c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    const float real = text.empty() ? 0.0f : mk::textToFloat(text);
    const float indexed = index.real(place);
    if (index.text(place) != text || index.flag(place) != (lower == "true" || lower == "1") ||
        std::memcmp(&indexed, &real, sizeof real) != 0 ||
        index.integer(place) != (text.empty() ? 0 : mk::textToInt32(text, 10))) {
        std::abort();
    }
}

void checkRecordKeys(std::string_view chunk) {
    static const std::vector<std::string_view> names = [] {
        std::vector<std::string_view> all = mk::keyNamesOf(mk::kObjectFields);
        all.push_back("objectClass");
        for (std::string_view name : mk::keyNamesOf(mk::kVariableFields)) {
            if (name != "enable" && name != "id") all.push_back(name);  // object keys too
        }
        for (std::string_view name : mk::keyNamesOf(mk::kPrinterParamFields)) all.push_back(name);
        return all;
    }();
    static const mk::XmlKeys keys(names);
    mk::XmlIndex index(keys);
    index.scan(chunk);
    for (std::size_t place = 0; place < names.size(); ++place) checkAgainstPlainSearch(index, place, chunk, names[place]);
}

// A key names a tag from its '<' to the first '>'.
bool isElementName(std::string_view key) {
    return key.find_first_of("<>") == std::string_view::npos && !key.starts_with('/');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view key = "k";
    std::string_view chunk = input;
    const std::size_t newline = input.substr(0, 65).find('\n');
    if (newline != std::string_view::npos) {
        key = input.substr(0, newline);
        chunk = input.substr(newline + 1);
    }

    if (!isElementName(key)) key = "k";
    checkRecordKeys(chunk);
    const std::string text = mk::xmlGetText(chunk, key);
    const std::string_view raw = rawValue(chunk, key);
    if (raw.size() <= kLiteralCheckLimit && text != mk::test::decodeEntitiesLiterally(std::string(raw))) std::abort();
    if (chunk.size() <= kLiteralCheckLimit &&
        mk::decodeXmlEntities(chunk) != mk::test::decodeEntitiesLiterally(std::string(chunk))) {
        std::abort();
    }
    const bool flag = mk::xmlGetBool(chunk, key);
    if (flag && text.size() != 1 && text.size() != 4) std::abort();
    (void)mk::xmlGetFloat(chunk, key);
    (void)mk::xmlGetInt(chunk, key);

    LabelDoc doc;
    (void)mk::parsePrinterParamsXml(chunk, doc);
    std::vector<LabelObject> objects;
    if (!mk::parseLabelObjectsXml(chunk, objects)) std::abort();
    std::vector<LabelVariable> variables;
    (void)mk::parseObjectVariablesXml(chunk, variables);
    return 0;
}
