#include "support/lsf_writer.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <variant>

#include "lsf/printer_params_xml.h"
#include "lsf/variables_xml.h"

namespace mk::test {
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
                       [&](decltype(LabelObject::imagedata) LabelObject::*member) {
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

std::string base64Encode(std::span<const uint8_t> bytes) {
    return base64Encode(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::vector<uint8_t> bmpImage(int width, int height) {
    const uint32_t rowSize = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    const uint32_t pixelBytes = rowSize * static_cast<uint32_t>(height);
    std::vector<uint8_t> bmp;
    auto put16 = [&](uint32_t value) {
        for (int i = 0; i < 2; ++i) bmp.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    auto put32 = [&](uint32_t value) {
        for (int i = 0; i < 4; ++i) bmp.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    // File header, then the 40-byte information header.
    put16(0x4D42);
    put32(14 + 40 + pixelBytes);
    put32(0);
    put32(14 + 40);
    put32(40);
    put32(static_cast<uint32_t>(width));
    put32(static_cast<uint32_t>(height));
    put16(1);   // planes
    put16(24);  // bits per pixel
    put32(0);   // uncompressed
    put32(pixelBytes);
    put32(2835);  // 72 dpi in pixels per metre
    put32(2835);
    put32(0);
    put32(0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            bmp.push_back(static_cast<uint8_t>(x * 255 / std::max(width - 1, 1)));  // blue
            bmp.push_back(static_cast<uint8_t>(y * 255 / std::max(height - 1, 1)));  // green
            bmp.push_back(static_cast<uint8_t>((x + y) & 0xFF));                     // red
        }
        bmp.resize(bmp.size() + (rowSize - static_cast<uint32_t>(width) * 3), 0);
    }
    return bmp;
}

LabelDoc sampleLabel() {
    LabelDoc doc;
    doc.labelwidth = 60.0f;
    doc.labelheight = 40.0f;

    auto add = [&](const char* name, ObjectType type) -> LabelObject& {
        LabelObject& object = doc.objects.emplace_back();
        object.ObjectName = name;
        object.objectclass = static_cast<int>(type);
        return object;
    };
    LabelObject& title = add("text1", ObjectType::Text);
    title.objectdata = "Hello, label";
    title.Xposition = 4.0f;
    title.Yposition = 3.0f;
    title.fontsize = 12.0f;
    title.textfont = "Liberation Sans";

    LabelObject& lot = add("text2", ObjectType::Text);
    lot.objectdata = "Lot 0001";
    lot.Xposition = 4.0f;
    lot.Yposition = 10.0f;
    lot.textfont = "Liberation Sans";
    lot.datachild_IDs = "1";
    LabelVariable variable;
    variable.enable = true;
    variable.id = 1;
    variable.sharename = "lot";
    variable.data = "Lot 0001";
    variable.keyboardprompt = "Lot number";
    lot.Variables.push_back(variable);

    LabelObject& barcode = add("barcode1", ObjectType::Barcode);
    barcode.objectdata = "MK-000123";
    barcode.barcodekind = "Code 128 Auto";
    barcode.Xposition = 4.0f;
    barcode.Yposition = 17.0f;
    barcode.barcodescale = 2.0f;
    barcode.barcodeheight = 10.0f;

    auto setEnds = [](LabelObject& object, float startX, float startY, float endX, float endY, float width) {
        object.startXposition = startX;
        object.startYposition = startY;
        object.endXposition = endX;
        object.endYposition = endY;
        object.lineWidth = width;
    };
    setEnds(add("line1", ObjectType::Line), 2.0f, 36.0f, 58.0f, 36.0f, 0.5f);
    setEnds(add("rectangle1", ObjectType::Rectangle), 1.0f, 1.0f, 59.0f, 39.0f, 0.3f);

    LabelObject& logo = add("image1", ObjectType::Image);
    logo.imagename = "logo.bmp";
    logo.imagedata = objectBytes(bmpImage(32, 32));
    logo.Xposition = 46.0f;
    logo.Yposition = 3.0f;

    LabelObject& tag = add("rfid1", ObjectType::Rfid);
    tag.objectdata = "3034257BF7194E4000001A85";
    tag.RFIDDatatype = 1;
    return doc;
}

bool writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file.flush());
}

}  // namespace mk::test
