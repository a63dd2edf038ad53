#include "lsf/lsf_image.h"

#include <array>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "lsf/inflate_block.h"
#include "lsf/load_error.h"
#include "lsf/number_text.h"
#include "lsf/objects_xml.h"
#include "lsf/printer_params_xml.h"
#include "mklabel.h"

namespace mk {
namespace {

constexpr char kHeaderSeparator = '|';
constexpr std::size_t kHeaderFieldsNeeded = 4;
constexpr std::size_t kVersionField = 1;
constexpr std::size_t kParamSizeField = 3;

// Splits like reading lines with '|' as the end of line: an empty field
// between two bars counts, a bar at the very end adds no empty field. Only the
// fields the reader needs are kept; the return value is how many of them exist.
std::size_t splitHeaderFields(std::string_view text, std::array<std::string_view, kHeaderFieldsNeeded>& fields) {
    std::size_t count = 0;
    std::size_t pos = 0;
    while (pos < text.size() && count < fields.size()) {
        const std::size_t bar = text.find(kHeaderSeparator, pos);
        const std::size_t end = bar == std::string_view::npos ? text.size() : bar;
        fields[count++] = text.substr(pos, end - pos);
        pos = bar == std::string_view::npos ? text.size() : bar + 1;
    }
    return count;
}

// The fix applies below 3.51 and from 4.85 to 6.212, compared as floats.
bool needsOldTextFix(float version) { return version < 3.51f || (version >= 4.85f && version <= 6.212f); }

}  // namespace

bool parseLsfHeader(const unsigned char* data, int size, LsfHeader& header) {
    if (size < 1 || data == nullptr) return false;
    const auto* nul = static_cast<const unsigned char*>(std::memchr(data, '\0', static_cast<std::size_t>(size)));
    if (nul == nullptr || nul == data) return false;
    const std::string_view text(reinterpret_cast<const char*>(data), static_cast<std::size_t>(nul - data));

    std::array<std::string_view, kHeaderFieldsNeeded> fields;
    if (splitHeaderFields(text, fields) < kHeaderFieldsNeeded) return false;
    header.length = static_cast<int>(text.size()) + 1;
    header.version = textToFloat(std::string(fields[kVersionField]));
    header.paramSize = textToInt32(std::string(fields[kParamSizeField]), 16);
    return true;
}

bool parseLsfImage(const unsigned char* data, int size, LabelDoc& doc) {
    LsfHeader header;
    if (!parseLsfHeader(data, size, header)) return failLoad(doc, MK_ERR_BAD_HEADER);
    doc.fileVersion = header.version;

    const int64_t paramsEnd = int64_t{header.length} + header.paramSize;
    if (paramsEnd > size) return failLoad(doc, MK_ERR_PARAM_BLOCK_SIZE);
    if (header.paramSize <= 0) return failLoad(doc, MK_ERR_PARAM_BLOCK_INFLATE);

    InflatedText params;
    if (!inflateBlock(data + header.length, header.paramSize, params)) {
        return failLoad(doc, MK_ERR_PARAM_BLOCK_INFLATE);
    }
    try {
        if (!parsePrinterParamsXml(params, doc)) return failLoad(doc, MK_ERR_PARAM_XML);
    } catch (const std::bad_alloc&) {
        return failLoad(doc, MK_ERR_PARAM_XML);
    }
    params = InflatedText();

    const int64_t objectsSize = size - paramsEnd;
    if (objectsSize <= 0) return true;  // parameters only: no objects, no fix
    InflatedText objects;
    if (!inflateBlock(data + paramsEnd, static_cast<int>(objectsSize), objects)) {
        return failLoad(doc, MK_ERR_OBJECTS_BLOCK_INFLATE);
    }
    try {
        if (!parseLabelObjectsXml(objects, doc.objects)) return failLoad(doc, MK_ERR_OBJECTS_XML);
    } catch (const std::bad_alloc&) {
        return failLoad(doc, MK_ERR_OBJECTS_XML);
    }
    fixOldTextPositions(doc);
    return true;
}

void fixOldTextPositions(LabelDoc& doc) {
    if (!needsOldTextFix(doc.fileVersion)) return;
    for (LabelObject& object : doc.objects) {
        if (!nameStartsWith(object.ObjectName, "text") || object.texttype != 1 || object.isverticaltext) continue;
        if (object.texttextalign == 1) {
            object.Xposition += object.textwidth * 0.5f;
        } else if (object.texttextalign == 2) {
            object.Xposition += object.textwidth;
        }
    }
}

}  // namespace mk
