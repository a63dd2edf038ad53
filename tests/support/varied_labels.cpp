#include "support/varied_labels.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "support/lsf_writer.h"
#include "support/test_images.h"

namespace mk::test {
namespace {

constexpr const char* kFaces[] = {"Liberation Sans", "Liberation Serif", "Liberation Mono", "DejaVu Sans",
                                  "DejaVu Serif",    "Nimbus Sans",      "URW Gothic",      "P052"};
constexpr const char* kWords[] = {"pallet", "batch", "fragile", "keep dry", "store below 25 C", "Lot",
                                  "net weight", "best before", "made in", "this side up"};

LabelObject& add(LabelDoc& doc, std::string name, float x, float y) {
    LabelObject& object = doc.objects.emplace_back();
    object.ObjectName = std::move(name);
    object.Xposition = x;
    object.Yposition = y;
    return object;
}

std::string words(std::mt19937& random, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i > 0) text += ' ';
        text += kWords[random() % std::size(kWords)];
    }
    return text;
}

// A picture: a third of them shared by many designs (the picture cache's
// hits), the rest of their own; BMP, PNG or JPEG, 40 to 640 pixels a side.
std::vector<uint8_t> picture(std::mt19937& random, int design) {
    const bool shared = design % 3 == 0;
    std::mt19937 own(shared ? static_cast<unsigned>(design % 4) : random());
    const int width = 40 + static_cast<int>(own() % 600);
    const int height = 40 + static_cast<int>(own() % 600);
    const TestImage image = quadrantImage(width, height);
    switch (own() % 3) {
    case 0: return encodeBmp(image);
    case 1: return encodePng(image);
    default: return encodeJpeg(image);
    }
}

}  // namespace

std::string variedLabelFile(int index) {
    std::mt19937 random(static_cast<unsigned>(index) * 7919u + 1u);
    LabelDoc doc;
    doc.labelwidth = 30.0f + static_cast<float>(random() % 171);
    doc.labelheight = 30.0f + static_cast<float>(random() % 171);
    const float w = doc.labelwidth, h = doc.labelheight;
    auto at = [&](float extent) { return static_cast<float>(random() % 1000) / 1000.0f * extent * 0.8f; };
    const int texts = 2 + static_cast<int>(random() % 6);
    for (int i = 0; i < texts; ++i) {
        LabelObject& text = add(doc, "text" + std::to_string(i), at(w), at(h));
        text.textfont = kFaces[random() % std::size(kFaces)];
        // Sizes in tenths of a point: hundreds of distinct sizes over the set.
        text.fontsize = 5.0f + static_cast<float>(random() % 400) / 10.0f;
        text.fontstyle = static_cast<int>(random() % 4);
        text.objectdata = words(random, 1 + static_cast<int>(random() % 12));
        if (random() % 2 == 0) {
            text.texttype = 1;
            text.textwidth = std::max(10.0f, at(w));
        }
    }
    LabelObject& lot = add(doc, "text_lot", 2.0f, 2.0f);
    lot.textfont = kFaces[random() % std::size(kFaces)];
    lot.fontsize = 8.0f + static_cast<float>(random() % 120) / 10.0f;
    lot.objectdata = "Lot 0001";
    lot.datachild_IDs = "1";
    LabelVariable& variable = lot.Variables.emplace_back();
    variable.id = 1;
    variable.sharename = "lot";
    variable.data = "Lot 0001";

    static constexpr const char* kBarcodes[][2] = {{"Code 128 Auto", "MK-%06d"},
                                                   {"QR Code(2D)", "https://example.com/labels/%06d"},
                                                   {"EAN-13", "590123%06d"},
                                                   {"Data Matrix(2D)", "SERIAL %06d BATCH 42"},
                                                   {"Code 39", "LOT%06d"}};
    const int barcodes = 1 + static_cast<int>(random() % 3);
    for (int i = 0; i < barcodes; ++i) {
        const auto& kind = kBarcodes[random() % std::size(kBarcodes)];
        char data[64];
        std::snprintf(data, sizeof data, kind[1], static_cast<int>(random() % 1000000));
        LabelObject& code = add(doc, "barcode" + std::to_string(i), at(w), at(h));
        code.barcodekind = kind[0];
        code.objectdata = data;
        code.barcodescale = 1.0f + static_cast<float>(random() % 3);
        code.barcodeheight = 5.0f + static_cast<float>(random() % 15);
    }
    LabelObject& line = add(doc, "line1", 0.0f, 0.0f);
    line.startXposition = 1.0f;
    line.startYposition = h / 2;
    line.endXposition = w - 1.0f;
    line.endYposition = h / 2;
    LabelObject& frame = add(doc, "rectangle1", 0.0f, 0.0f);
    frame.startXposition = 1.0f;
    frame.startYposition = 1.0f;
    frame.endXposition = w - 1.0f;
    frame.endYposition = h - 1.0f;
    frame.rectangleclass = static_cast<int>(random() % 3);
    if (random() % 4 != 0) {
        LabelObject& image = add(doc, "image1", at(w), at(h));
        image.imagedata = objectBytes(picture(random, index));
        image.scale = 0.2f + static_cast<float>(random() % 10) / 10.0f;
    }
    return lsfOf(doc);
}


int variedLabelDpi(long n) {
    static constexpr int kDpis[] = {203, 300, 600};
    return kDpis[(n / 7) % 3];
}

}  // namespace mk::test
