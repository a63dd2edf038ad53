#include "support/hostile_objects.h"

#include <zlib.h>

#include <cstdint>
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
           std::holds_alternative<decltype(LabelObject::imagedata) LabelObject::*>(field.member);
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

void appendBigEndian(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift);
}

void appendPngChunk(std::string& png, std::string_view type, std::string_view data) {
    appendBigEndian(png, static_cast<uint32_t>(data.size()));
    const std::string typed = std::string(type) + std::string(data);
    png += typed;
    appendBigEndian(png, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()),
                                                     static_cast<uInt>(typed.size()))));
}

std::string textObject(std::string_view name, std::string_view children) {
    return labelObject(element("ObjectName", name) + element("enable", true) + element("fontsize", 10.0f) +
                       std::string(children));
}

std::string variableWith(int id, std::string_view data, int fixedLength = 0) {
    return variable(element("id", id) + element("data", data) + element("fixedlength", fixedLength));
}

std::string hostileDrawObjectsXml(HostileDrawShape shape, int scale) {
    switch (shape) {
        case HostileDrawShape::FixedLength:
            return textObject("text1", element("datachild_IDs", "1") +
                                           variables({variableWith(1, "7", (256 << 10) * scale)}));
        case HostileDrawShape::RepeatedIds:
            return textObject("text1", element("datachild_IDs", repeatedTo("1,", 32 * scale)) +
                                           variables({variableWith(1, std::string(16 << 10, 'x'))}));
        case HostileDrawShape::ManyIds: {
            const int count = 12500 * scale;
            std::vector<std::string> listed;
            for (int id = 0; id < count; ++id) listed.push_back(variableWith(id, "x"));
            std::string ids;
            for (int id = count - 1; id >= count - count / 5; --id) ids += std::to_string(id) + ",";
            return textObject("text1", element("datachild_IDs", ids) + variables(listed));
        }
        case HostileDrawShape::LongBoxText:
            return textObject("text1", element("texttype", 1) + element("textwidth", 50.0f) +
                                           element("textwidthbeyound", 0) + element("textmaxline", 3) +
                                           element("objectdata", repeatedTo("The quick brown fox. ", (256 << 10) * scale)));
        case HostileDrawShape::OnePicture: {
            const std::string picture = labelObject(element("ObjectName", "image1") + element("enable", true) +
                                                    rawElement("imagedata", base64Encode(blankPng(10000, 10000))));
            return repeatedTo(picture, picture.size() * 4 * static_cast<size_t>(scale));
        }
        case HostileDrawShape::ManyObjects: {
            const std::string object = textObject("text1", element("objectdata", "A"));
            return repeatedTo(object, object.size() * 3500 * static_cast<size_t>(scale));
        }
        case HostileDrawShape::HugeEllipses: {
            // Centred on the label, 2 000 000 mm across: the label lies inside.
            const std::string object = labelObject(
                element("ObjectName", "rectangle1") + element("enable", true) + element("rectangleclass", 2) +
                element("startXposition", -1.0e6f) + element("startYposition", -1.0e6f) +
                element("endXposition", 1.0e6f) + element("endYposition", 1.0e6f) + element("lineWidth", 0.3f) +
                element("lineDashStyle", 4));
            return repeatedTo(object, object.size() * 256 * static_cast<size_t>(scale));
        }
        case HostileDrawShape::QrVersion40: {
            std::string objects;
            for (int i = 0; i < 1000 * scale; ++i)
                objects += labelObject(element("ObjectName", "barcode1") + element("enable", true) +
                                       element("barcodekind", "QR Code(2D)") + element("qrversion", 40) +
                                       element("barcodescale", 2.0f) + element("textposition", 2) +
                                       element("objectdata", "QR " + std::to_string(i)));
            return objects;
        }
        case HostileDrawShape::FilledBoxes: {
            const std::string object = labelObject(
                element("ObjectName", "rectangle1") + element("enable", true) + element("rectangleclass", 1) +
                element("startXposition", 0.0f) + element("startYposition", 0.0f) + element("endXposition", 104.0f) +
                element("endYposition", 75.0f) + element("cornerRadius", 5.0f) + element("lineWidth", 0.3f) +
                element("lineDashStyle", 4) + element("fillRectangle", true));
            return repeatedTo(object, object.size() * 1000 * static_cast<size_t>(scale));
        }
        case HostileDrawShape::RejectedBarcode: {
            std::string data;
            for (size_t i = 0; i < (size_t{1} << 20) * static_cast<size_t>(scale); ++i) data += char(1 + i % 31);
            return labelObject(element("ObjectName", "barcode1") + element("enable", true) +
                               element("barcodekind", "EAN-13") + rawElement("objectdata", data));
        }
    }
    return {};
}

}  // namespace

std::vector<uint8_t> blankPng(int width, int height, bool black) {
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    appendBigEndian(header, static_cast<uint32_t>(width));
    appendBigEndian(header, static_cast<uint32_t>(height));
    header += std::string("\x01\x00\x00\x00\x00", 5);  // 1 bit, greyscale, deflate, no filter, no interlace
    appendPngChunk(png, "IHDR", header);
    std::string row(1 + (static_cast<size_t>(width) + 7) / 8, black ? '\0' : '\xff');
    row[0] = 0;  // filter type: none
    std::string rows;
    rows.reserve(row.size() * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) rows += row;
    appendPngChunk(png, "IDAT", compressBlock(rows));
    appendPngChunk(png, "IEND", "");
    return {png.begin(), png.end()};
}

std::string hostileDrawLsf(HostileDrawShape shape, int scale) {
    return buildLsf(element("printerDPI", 203), hostileDrawObjectsXml(shape, scale));
}

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
