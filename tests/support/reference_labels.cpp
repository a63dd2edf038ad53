#include "support/reference_labels.h"

#include "support/lsf_writer.h"

namespace mk::test {
namespace {

LabelObject& addObject(LabelDoc& doc, const char* name, ObjectType type, float x, float y) {
    LabelObject& object = doc.objects.emplace_back();
    object.ObjectName = name;
    object.objectclass = static_cast<int>(type);
    object.Xposition = x;
    object.Yposition = y;
    return object;
}

void addLotText(LabelDoc& doc, const char* name, float x, float y, float fontSize) {
    LabelObject& lot = addObject(doc, name, ObjectType::Text, x, y);
    lot.objectdata = "Lot 0001";
    lot.textfont = "Liberation Sans";
    lot.fontsize = fontSize;
    lot.datachild_IDs = "1";
    LabelVariable& variable = lot.Variables.emplace_back();
    variable.id = 1;
    variable.sharename = "lot";
    variable.data = "Lot 0001";
}

LabelObject& addShape(LabelDoc& doc, const char* name, ObjectType type, float startX, float startY, float endX,
                      float endY, float lineWidth) {
    LabelObject& shape = addObject(doc, name, type, 0.0f, 0.0f);
    shape.startXposition = startX;
    shape.startYposition = startY;
    shape.endXposition = endX;
    shape.endYposition = endY;
    shape.lineWidth = lineWidth;
    return shape;
}

LabelObject& addBarcode(LabelDoc& doc, const char* name, const char* kind, const char* data, float x, float y,
                        float barHeight) {
    LabelObject& code = addObject(doc, name, ObjectType::Barcode, x, y);
    code.barcodekind = kind;
    code.objectdata = data;
    code.barcodescale = 2.0f;
    code.barcodeheight = barHeight;
    return code;
}

}  // namespace

LabelDoc smallPrintedLabel() {
    LabelDoc doc;
    doc.labelwidth = 30.0f;
    doc.labelheight = 15.0f;
    addLotText(doc, "text1", 2.0f, 1.0f, 10.0f);
    addShape(doc, "rectangle1", ObjectType::Rectangle, 2.0f, 7.0f, 12.0f, 13.0f, 0.4f).fillRectangle = true;
    addShape(doc, "line1", ObjectType::Line, 14.0f, 10.0f, 28.0f, 10.0f, 0.5f);
    addObject(doc, "image1", ObjectType::Image, 20.0f, 1.0f).imagedata = objectBytes(bmpImage(24, 24));
    addBarcode(doc, "barcode1", "Code 128 Auto", "MK-42", 14.0f, 11.0f, 3.0f);
    return doc;
}

LabelDoc mainRoadLabel() {
    LabelDoc doc;
    doc.labelwidth = 104.0f;
    doc.labelheight = 75.0f;
    LabelObject& box = addObject(doc, "text_box", ObjectType::Text, 4.0f, 4.0f);
    box.objectdata = "Thermal transfer label, 104 x 75 mm, with a wrapped description in a box";
    box.textfont = "Liberation Sans";
    box.fontsize = 9.0f;
    box.texttype = 1;
    box.textwidth = 50.0f;
    addLotText(doc, "text_lot", 4.0f, 20.0f, 14.0f);
    addBarcode(doc, "barcode_code128", "Code 128 Auto", "MK-2024-000123", 4.0f, 30.0f, 12.0f);
    const int noText = 2;
    addBarcode(doc, "barcode_qr", "QR Code(2D)", "https://example.com/labels/000123", 76.0f, 4.0f, 12.0f)
        .textposition = noText;
    addBarcode(doc, "barcode_ean13", "EAN-13", "590123412345", 4.0f, 52.0f, 12.0f);
    addShape(doc, "line_rule", ObjectType::Line, 2.0f, 48.0f, 102.0f, 48.0f, 0.5f);
    addShape(doc, "rectangle_frame", ObjectType::Rectangle, 1.0f, 1.0f, 103.0f, 74.0f, 0.3f);
    addObject(doc, "image_picture", ObjectType::Image, 70.0f, 46.0f).imagedata = objectBytes(bmpImage(200, 200));
    return doc;
}

}  // namespace mk::test
