// Label files built around any parameter and object XML: whatever the XML,
// the container must carry it to the readers unchanged, through zlib and gzip
// blocks alike, and the loaded document must be the one the readers make of
// the plain text. Input: one byte of choices, the parameter XML, a NUL, the
// object XML (no NUL: a file that ends after its parameter block).
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <variant>

#include "lsf/lsf_image.h"
#include "lsf/number_text.h"
#include "lsf/objects_xml.h"
#include "lsf/printer_params_xml.h"
#include "lsf/variables_xml.h"
#include "mklabel.h"
#include "support/lsf_writer.h"

namespace {

// Versions on both sides of each bound of the old-file text fix, and texts
// that do not convert.
constexpr const char* kVersions[] = {"7.0", "2.0", "3.51", "4.85", "6.212", "5.0", "abc", "nan"};

void require(bool condition) {
    if (!condition) std::abort();
}

// Floats compared by their bits: a not-a-number read from the file must
// arrive as the same not-a-number.
template <typename Value>
bool same(const Value& a, const Value& b) {
    if constexpr (std::is_same_v<Value, float>) {
        return std::memcmp(&a, &b, sizeof a) == 0;
    } else {
        return a == b;
    }
}

bool sameVariables(const std::vector<LabelVariable>& a, const std::vector<LabelVariable>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        for (const mk::VariableField& field : mk::kVariableFields) {
            const bool equal = std::visit([&](auto member) { return same(a[i].*member, b[i].*member); }, field.member);
            if (!equal) return false;
        }
    }
    return true;
}

bool sameObjects(const LabelObject& a, const LabelObject& b) {
    for (const mk::ObjectField& field : mk::kObjectFields) {
        const bool equal = std::visit([&](auto member) { return same(a.*member, b.*member); }, field.member);
        if (!equal) return false;
    }
    return sameVariables(a.Variables, b.Variables);
}

bool sameParams(const LabelDoc& a, const LabelDoc& b) {
    for (const mk::PrinterParamField& field : mk::kPrinterParamFields) {
        const bool equal = std::visit([&](auto member) { return same(a.*member, b.*member); }, field.member);
        if (!equal) return false;
    }
    return same(a.fileVersion, b.fileVersion);
}

// Every object read back through the exported getters.
void readBackObjects(LabelDoc* doc) {
    char text[256];
    const int count = MkLabelDoc_GetObjectCount(doc);
    for (int i = 0; i < count; ++i) {
        require(MkObject_GetName(doc, i, text, sizeof text) >= 0);
        require(MkObject_GetData(doc, i, text, sizeof text) >= 0);
        for (int v = 0; v < MkObject_GetVarCount(doc, i); ++v) {
            int id = 0;
            int type = 0;
            int enable = 0;
            require(MkObject_GetVarInfo(doc, i, v, text, 64, text + 64, 64, &id, &type, &enable) == 0);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 1 << 20) return 0;
    const uint8_t choices = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t nul = rest.find('\0');

    mk::test::LsfImage image;
    image.version = kVersions[(choices >> 2) % std::size(kVersions)];
    image.paramsFormat = choices & 1 ? mk::test::BlockFormat::Gzip : mk::test::BlockFormat::Zlib;
    image.objectsFormat = choices & 2 ? mk::test::BlockFormat::Gzip : mk::test::BlockFormat::Zlib;
    image.paramsXml = std::string(rest.substr(0, nul));
    if (nul != std::string_view::npos) image.objectsXml = std::string(rest.substr(nul + 1));
    const std::string file = image.build();
    if (file.size() > INT_MAX) return 0;

    // What the readers make of the plain text.
    LabelDoc expected;
    mk::initLabelRecord(expected);
    expected.fileVersion = mk::textToFloat(image.version);
    int expectedCode = 0;
    if (!mk::parsePrinterParamsXml(image.paramsXml, expected)) {
        expectedCode = MK_ERR_PARAM_XML;
    } else if (image.objectsXml && !image.objectsXml->empty()) {
        if (!mk::parseLabelObjectsXml(*image.objectsXml, expected.objects)) {
            expectedCode = MK_ERR_OBJECTS_XML;
        } else {
            mk::fixOldTextPositions(expected);
        }
    }

    LabelDoc* doc = MkLabelDoc_LoadFromMemory(file.data(), static_cast<int>(file.size()));
    if (doc == nullptr) {
        require(expectedCode != 0 && MkGetLastErrorCode() == expectedCode);
        return 0;
    }
    require(expectedCode == 0);
    require(sameParams(*doc, expected));
    require(doc->objects.size() == expected.objects.size());
    for (std::size_t i = 0; i < expected.objects.size(); ++i) require(sameObjects(doc->objects[i], expected.objects[i]));
    readBackObjects(doc);
    MkLabelDoc_Destroy(doc);
    return 0;
}
