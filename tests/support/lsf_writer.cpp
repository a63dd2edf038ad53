#include "support/lsf_writer.h"

#include <zlib.h>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <variant>

#include "lsf/printer_params_xml.h"
#include "lsf/variables_xml.h"

namespace mktest {
namespace {

int windowBitsFor(BlockFormat format) {
    switch (format) {
        case BlockFormat::Zlib:
            return 15;
        case BlockFormat::Gzip:
            return 15 + 16;
        case BlockFormat::RawDeflate:
            return -15;
    }
    return 15;
}

std::string hexText(std::size_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%zX", value);
    return text;
}

template <typename... Visitors>
struct Overloaded : Visitors... {
    using Visitors::operator()...;
};
template <typename... Visitors>
Overloaded(Visitors...) -> Overloaded<Visitors...>;

}  // namespace

std::string compressBlock(std::string_view text, BlockFormat format) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, windowBitsFor(format), 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::string out(deflateBound(&stream, static_cast<uLong>(text.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) throw std::runtime_error("deflate failed");
    return out;
}

std::string LsfImage::build() const {
    const std::string params = compressBlock(paramsXml, paramsFormat) + afterParams;
    std::string image = header.value_or("LSF|" + version + "|mklabel|" + hexText(params.size()));
    image += '\0';
    image += params;
    if (objectsXml) image += compressBlock(*objectsXml, objectsFormat) + afterObjects;
    return image;
}

std::string buildLsf(std::string_view paramsXml, std::string_view objectsXml) {
    LsfImage image;
    image.paramsXml = paramsXml;
    image.objectsXml = std::string(objectsXml);
    return image.build();
}

std::string xmlEscape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            case '\r': escaped += "&#xD;"; break;
            case '\n': escaped += "&#xA;"; break;
            default: escaped += c;
        }
    }
    return escaped;
}

std::string rawElement(std::string_view key, std::string_view text) {
    std::string xml;
    xml.append("<").append(key).append(">").append(text).append("</").append(key).append(">");
    return xml;
}

std::string floatText(float value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string labelObject(std::string_view childrenXml) { return rawElement("LabelObject", childrenXml); }
std::string variable(std::string_view childrenXml) { return rawElement("Variable", childrenXml); }

std::string variables(const std::vector<std::string>& variableXml) {
    std::string children;
    for (const std::string& one : variableXml) children += one;
    return rawElement("Variables", children);
}

std::string paramsXmlOf(const LabelDoc& doc) {
    std::string children;
    for (const mk::PrinterParamField& param : mk::kPrinterParamFields) {
        std::visit([&](auto member) { children += element(param.key, doc.*member); }, param.member);
    }
    return rawElement("PrinterParams", children);
}

std::string variableXmlOf(const LabelVariable& var) {
    std::string children;
    for (const mk::VariableField& field : mk::kVariableFields) {
        std::visit([&](auto member) { children += element(field.key, var.*member); }, field.member);
    }
    return variable(children);
}

std::string objectXmlOf(const LabelObject& object) {
    std::string children;
    for (const mk::ObjectField& field : mk::kObjectFields) {
        std::visit(Overloaded{
                       [&](uint32_t LabelObject::*member) {
                           children += element(field.key, static_cast<int32_t>(object.*member));
                       },
                       [&](std::vector<uint8_t> LabelObject::*member) {
                           children += rawElement(field.key, base64Encode(object.*member));
                       },
                       [&](auto member) { children += element(field.key, object.*member); },
                   },
                   field.member);
    }
    // After the object's own fields: the object's enable and id are found first.
    if (!object.Variables.empty()) {
        std::vector<std::string> vars;
        for (const LabelVariable& var : object.Variables) vars.push_back(variableXmlOf(var));
        children += variables(vars);
    }
    return labelObject(children);
}

std::string objectsXmlOf(const std::vector<LabelObject>& objects) {
    std::string children;
    for (const LabelObject& object : objects) children += objectXmlOf(object);
    return rawElement("LabelObjects", children);
}

std::string lsfOf(const LabelDoc& doc, std::string_view version) {
    LsfImage image;
    image.version = version;
    image.paramsXml = paramsXmlOf(doc);
    image.objectsXml = objectsXmlOf(doc.objects);
    return image.build();
}

std::string base64Encode(const std::vector<uint8_t>& bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        uint32_t group = uint32_t{bytes[i]} << 16;
        if (n > 1) group |= uint32_t{bytes[i + 1]} << 8;
        if (n > 2) group |= bytes[i + 2];
        for (std::size_t k = 0; k < 4; ++k) {
            text += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
        }
    }
    return text;
}

bool writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file.flush());
}

}  // namespace mktest
