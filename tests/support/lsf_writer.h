#pragma once

// Builds LSF label images for tests, benchmarks, fuzz seeds and sample files.
//
//   std::string params = mk::test::element("printerDPI", 300);
//   std::string objects = mk::test::labelObject(mk::test::element("ObjectName", "text1") +
//                                             mk::test::element("objectdata", "Hello"));
//   std::string image = mk::test::buildLsf(params, objects);
//   LabelDoc* doc = MkLabelDoc_LoadFromMemory(image.data(), int(image.size()));
//
// LsfImage gives control over every part of the container (header fields,
// zlib, gzip or raw deflate blocks, bytes after a block), for images that are
// meant to be refused. The *Of functions write whole records: every keyed
// field, so that loading the result gives the record back. Entity decoding is
// not reversible for every text ("&lt;" typed literally reads back as "<"), so
// records meant to round-trip should avoid text that looks like an entity.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "model/label_doc.h"
#include "support/base64_encode.h"

namespace mk::test {

enum class BlockFormat { Zlib, Gzip, RawDeflate };

// One compressed stream holding text.
std::string compressBlock(std::string_view text, BlockFormat format = BlockFormat::Zlib);

struct LsfImage {
    std::optional<std::string> header;  // whole header text; default "LSF|<version>|mklabel|<P in hex>"
    std::string version = "7.0";
    std::string paramsXml;
    std::optional<std::string> objectsXml;  // none: the image ends after the parameter block
    BlockFormat paramsFormat = BlockFormat::Zlib;
    BlockFormat objectsFormat = BlockFormat::Zlib;
    std::string afterParams;   // raw bytes after the parameter stream, counted in P
    std::string afterObjects;  // raw bytes after the objects stream

    std::string build() const;
};

// A version 7.0 image with zlib blocks.
std::string buildLsf(std::string_view paramsXml, std::string_view objectsXml);

// --- XML -------------------------------------------------------------------

// Escapes & < > " CR LF as the six entities the reader decodes.
std::string xmlEscape(std::string_view text);
// "<key>text</key>" with text written as given (no escaping).
std::string rawElement(std::string_view key, std::string_view text);
// Shortest text that reads back as the same float.
std::string floatText(float value);

// "<key>value</key>": a bool as true/false, numbers in decimal, text escaped.
template <typename Value>
std::string element(std::string_view key, const Value& value) {
    if constexpr (std::is_same_v<Value, bool>) {
        return rawElement(key, value ? "true" : "false");
    } else if constexpr (std::is_integral_v<Value>) {
        return rawElement(key, std::to_string(value));
    } else if constexpr (std::is_floating_point_v<Value>) {
        return rawElement(key, floatText(static_cast<float>(value)));
    } else {
        return rawElement(key, xmlEscape(std::string_view(value)));
    }
}

std::string labelObject(std::string_view childrenXml);  // <LabelObject>...</LabelObject>
std::string variable(std::string_view childrenXml);     // <Variable>...</Variable>
std::string variables(const std::vector<std::string>& variableXml);  // <Variables>...</Variables>

// Whole records, every keyed field written.
std::string paramsXmlOf(const LabelDoc& doc);
std::string variableXmlOf(const LabelVariable& variable);
std::string objectXmlOf(const LabelObject& object);
std::string objectsXmlOf(const std::vector<LabelObject>& objects);
std::string lsfOf(const LabelDoc& doc, std::string_view version = "7.0");

std::string base64Encode(std::span<const uint8_t> bytes);
// Bytes as a label object holds an image's.
inline decltype(LabelObject::imagedata) objectBytes(const std::vector<uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

// A 24-bit bottom-up BMP file of a colour gradient.
std::vector<uint8_t> bmpImage(int width, int height);

// A small 60 x 40 mm label at 203 dpi with one object of every kind (two
// texts, one of them composed from a variable, a barcode, a line, a
// rectangle, a 32 x 32 BMP image and an RFID tag); examples/sample.lsf holds it.
LabelDoc sampleLabel();

// Writes bytes to a file, replacing it; false on any failure.
bool writeFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace mk::test
