// The flat XML getters and the record readers over any text. The first line of
// an input (at most 64 bytes) is the key, the rest is the chunk. Values are
// also decoded by the literal restart-from-the-start rule and must agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "../support/entity_reference.h"
#include "lsf/flat_xml.h"
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
