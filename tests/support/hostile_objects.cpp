#include "support/hostile_objects.h"

#include <zlib.h>

#include <algorithm>
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

std::string base64Of(const std::vector<uint8_t>& bytes) { return base64Encode(bytes); }

// An image object of the base64 bytes, at its own size, or size mm across
// at column x mm, row y (1 mm apart).
std::string imageObjectXml(const std::string& base64, float size, int x = 0, int y = 0) {
    std::string fields = element("ObjectName", "image1") + element("enable", true);
    if (size > 0) {
        fields += element("imagefixedsize", true) + element("imagefixedwidth", size) +
                  element("imagefixedheight", size) + element("Xposition", static_cast<float>(x)) +
                  element("Yposition", static_cast<float>(y));
    }
    return labelObject(fields + rawElement("imagedata", base64));
}

std::string imageObjectXml(const std::vector<uint8_t>& bytes, float size) { return imageObjectXml(base64Of(bytes), size); }

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
        case HostileDrawShape::TextChunks:
            return imageObjectXml(blankPng(8, 1, true, 12 * scale, 7'900'000), 0);
        case HostileDrawShape::JpegScans:
            return imageObjectXml(scansJpeg(10000, 10000, 16 * scale), 0);
        case HostileDrawShape::FivePictures:
        case HostileDrawShape::FullBudget: {
            const bool full = shape == HostileDrawShape::FullBudget;
            std::string objects;
            for (int picture = 0; picture < (full ? 4 : 5); ++picture) {
                const std::string bytes =
                    base64Of(full ? blankPng(10000 - picture, 10000, true) : blankPng(6000 + picture, 4000, true));
                for (int copy = 0; copy < scale; ++copy) objects += imageObjectXml(bytes, 10.0f, picture * 10, copy);
            }
            return objects;
        }
        case HostileDrawShape::LargeDrawnSmall: {
            const std::string bytes = base64Of(blankPng(10000, 10000, true));
            std::string objects;
            for (int copy = 0; copy < scale; ++copy) objects += imageObjectXml(bytes, 10.0f, copy % 10 * 10, copy / 10);
            return objects;
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
        case HostileDrawShape::ShrinkToFit:
            return labelObject(element("ObjectName", "text1") + element("enable", true) + element("texttype", 1) +
                               element("textwidth", 1.4f) + element("textwidthbeyound", 0) +
                               element("textmaxline", 1) + element("fontsize", 262143.0f * static_cast<float>(scale)) +
                               element("objectdata", "WW"));
        case HostileDrawShape::LineFeeds:
            return textObject("text1", element("texttype", 1) + element("textwidth", 50.0f) +
                                           element("objectdata", std::string((256 << 10) * scale, '\n')));
        case HostileDrawShape::UnknownCodePoints: {
            // Planes 4 to 13 hold no characters: each code point is new to
            // every lookup until the text has gone round them.
            std::string text;
            for (uint32_t i = 0; text.size() + 4 <= (size_t{256} << 10) * scale; ++i) {
                const uint32_t cp = 0x40000 + i % 0xA0000;
                text += static_cast<char>(0xF0 | cp >> 18);
                text += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
                text += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
                text += static_cast<char>(0x80 | (cp & 0x3F));
            }
            return textObject("text1", element("texttype", 1) + element("textwidth", 50.0f) +
                                           element("objectdata", text));
        }
        case HostileDrawShape::WideShrink:
            // Fits at about a third of its size: each size tried wraps most of the text.
            return labelObject(element("ObjectName", "text1") + element("enable", true) + element("texttype", 1) +
                               element("textwidth", 50.0f) + element("textwidthbeyound", 0) +
                               element("fontsize", 100.0f) + element("textmaxline", 62500 * scale) +
                               element("objectdata", std::string((size_t{256} << 10) * scale, 'W')));
        case HostileDrawShape::HanShrink: {
            // Every size tried measures each distinct glyph anew.
            std::string text;
            for (uint32_t i = 0; text.size() + 3 <= (size_t{256} << 10) * scale; ++i) {
                const uint32_t cp = 0x4E00 + i % 21000;
                text += static_cast<char>(0xE0 | cp >> 12);
                text += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
                text += static_cast<char>(0x80 | (cp & 0x3F));
            }
            return labelObject(element("ObjectName", "text1") + element("enable", true) + element("texttype", 1) +
                               element("textwidth", 50.0f) + element("textwidthbeyound", 0) +
                               element("fontsize", 200.0f) + element("textmaxline", 62500 * scale) +
                               element("objectdata", text));
        }
    }
    return {};
}

}  // namespace

std::vector<uint8_t> blankPng(int width, int height, bool black, int textChunks, std::size_t textBytes) {
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    appendBigEndian(header, static_cast<uint32_t>(width));
    appendBigEndian(header, static_cast<uint32_t>(height));
    header += std::string("\x01\x00\x00\x00\x00", 5);  // 1 bit, greyscale, deflate, no filter, no interlace
    appendPngChunk(png, "IHDR", header);
    if (textChunks > 0) {
        // Keyword, its terminator, compression method 0, the compressed text.
        const std::string text = std::string("k\0\0", 3) + compressBlock(std::string(textBytes, ' '));
        for (int i = 0; i < textChunks; ++i) appendPngChunk(png, "zTXt", text);
    }
    std::string row(1 + (static_cast<size_t>(width) + 7) / 8, black ? '\0' : '\xff');
    row[0] = 0;  // filter type: none
    std::string rows;
    rows.reserve(row.size() * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) rows += row;
    appendPngChunk(png, "IDAT", compressBlock(rows));
    appendPngChunk(png, "IEND", "");
    return {png.begin(), png.end()};
}

namespace {

// Bits of entropy-coded data, most significant first, with a 0 stuffed
// after every 0xFF byte.
class ScanBits {
public:
    void put(uint32_t bits, int count) {
        for (int i = count - 1; i >= 0; --i) {
            byte_ = static_cast<uint8_t>(byte_ << 1 | ((bits >> i) & 1));
            if (++filled_ == 8) flush();
        }
    }
    std::string finish() {
        while (filled_ != 0) put(1, 1);  // padded with ones
        return std::move(out_);
    }

private:
    void flush() {
        out_ += static_cast<char>(byte_);
        if (byte_ == 0xFF) out_ += '\0';
        byte_ = 0;
        filled_ = 0;
    }
    std::string out_;
    uint8_t byte_ = 0;
    int filled_ = 0;
};

void appendSegment(std::string& jpeg, uint8_t marker, const std::string& body) {
    jpeg += '\xFF';
    jpeg += static_cast<char>(marker);
    jpeg += static_cast<char>((body.size() + 2) >> 8);
    jpeg += static_cast<char>((body.size() + 2) & 0xFF);
    jpeg += body;
}

std::string be16(int value) { return {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)}; }

}  // namespace

std::vector<uint8_t> scansJpeg(int width, int height, int scans) {
    std::string jpeg = "\xFF\xD8";
    appendSegment(jpeg, 0xDB, std::string(1, '\0') + std::string(64, '\1'));  // quantisation table 0: all 1
    // Progressive frame, 8 bits, one component (id 1, 1 x 1, table 0).
    appendSegment(jpeg, 0xC2, "\x08" + be16(height) + be16(width) + std::string("\x01\x01\x11\x00", 4));
    // AC table 0: one code of one bit, the longest end-of-block run (14 more bits).
    appendSegment(jpeg, 0xC4, std::string("\x10\x01", 2) + std::string(15, '\0') + "\xE0");
    const int64_t blocks = int64_t{(width + 7) / 8} * ((height + 7) / 8);
    ScanBits run;
    for (int64_t left = blocks; left > 0; left -= 32767) run.put(0x3FFF, 15);  // code 0, then 14 ones
    const std::string data = run.finish();
    for (int scan = 0; scan < scans; ++scan) {
        // Component 1 with tables 0, coefficients 1 to 63, no approximation.
        appendSegment(jpeg, 0xDA, std::string("\x01\x01\x00\x01\x3F\x00", 6));
        jpeg += data;
    }
    jpeg += "\xFF\xD9";
    return {jpeg.begin(), jpeg.end()};
}

std::vector<uint8_t> sparseRunLengthBitmap(int width, int height, uint32_t colour, int drawnSize) {
    std::vector<uint8_t> data;
    const auto add = [&data](std::initializer_list<int> values) {
        for (const int value : values) data.push_back(static_cast<uint8_t>(value));
    };
    // The rows shown, counted from the bottom as the data runs.
    int row = 0;
    for (int i = drawnSize - 1; i >= 0; --i) {
        const int target = height - 1 - static_cast<int>((2 * int64_t{i} + 1) * height / (2 * drawnSize));
        for (int up = target - row; up > 0; up -= 255) add({0, 2, 0, std::min(up, 255)});  // move up
        for (int left = width; left > 0; left -= 255) add({std::min(left, 255), 1});      // a run of index 1
        add({0, 0});  // end of line
        row = target + 1;
    }
    add({0, 1});  // end of bitmap
    std::vector<uint8_t> file;
    const auto le = [&file](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) file.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    constexpr uint32_t kPixelsAt = 14 + 40 + 8;
    file = {'B', 'M'};
    le(kPixelsAt + static_cast<uint32_t>(data.size()), 4), le(0, 4), le(kPixelsAt, 4);
    le(40, 4), le(static_cast<uint32_t>(width), 4), le(static_cast<uint32_t>(height), 4), le(1, 2), le(8, 2);
    le(1, 4), le(static_cast<uint32_t>(data.size()), 4), le(2835, 4), le(2835, 4), le(2, 4), le(0, 4);  // RLE8, 2 colours
    le(0, 4), le(colour, 4);  // black, unused; the colour as blue, green, red
    file.insert(file.end(), data.begin(), data.end());
    return file;
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
