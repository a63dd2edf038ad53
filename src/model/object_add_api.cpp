// Building a label object by object: one add call per object kind.
#include <optional>
#include <utility>

#include "mklabel.h"
#include "model/export_guard.h"
#include "model/label_doc.h"
#include "portable/base64_strict.h"

namespace {

// Every add call builds a default object, lets the caller's fill set its
// fields, and appends it. Required strings are checked before anything else.
template <typename Fill>
int addObject(LabelDoc* doc, const char* name, bool requiredStringsPresent, ObjectType type, Fill&& fill) {
    if (doc == nullptr || name == nullptr || !requiredStringsPresent) return MK_FAIL;
    return mk::guarded(MK_FAIL, [&] {
        LabelObject object;
        mk::initLabelObject(object);
        object.ObjectName = name;
        object.objectclass = static_cast<int>(type);
        fill(object);
        return mk::appendObject(*doc, std::move(object));
    });
}

void setEnds(LabelObject& object, float startX, float startY, float endX, float endY, float lineWidth) {
    object.startXposition = startX;
    object.startYposition = startY;
    object.endXposition = endX;
    object.endYposition = endY;
    object.lineWidth = lineWidth;
}

}  // namespace

extern "C" {

MK_API int MkLabel_AddText(LabelDoc* doc, const char* name, const char* text, float x, float y, float fontSize,
                           const char* fontName, int textType, float textWidth) {
    return addObject(doc, name, text != nullptr, ObjectType::Text, [&](LabelObject& object) {
        object.objectdata = text;
        object.Xposition = x;
        object.Yposition = y;
        object.fontsize = fontSize;
        object.textfont = fontName != nullptr ? fontName : "Arial";
        object.texttype = textType;
        object.textwidth = textWidth;
    });
}

MK_API int MkLabel_AddBarcode(LabelDoc* doc, const char* name, const char* data, float x, float y,
                              const char* barcodeKind, float moduleWidth, float barHeight, int textPosition) {
    return addObject(doc, name, data != nullptr && barcodeKind != nullptr, ObjectType::Barcode,
                     [&](LabelObject& object) {
                         object.objectdata = data;
                         object.Xposition = x;
                         object.Yposition = y;
                         object.barcodekind = barcodeKind;
                         object.barcodescale = moduleWidth;
                         object.barcodeheight = barHeight;
                         object.textposition = textPosition;
                     });
}

MK_API int MkLabel_AddLine(LabelDoc* doc, const char* name, float startX, float startY, float endX, float endY,
                           float lineWidth) {
    return addObject(doc, name, true, ObjectType::Line,
                     [&](LabelObject& object) { setEnds(object, startX, startY, endX, endY, lineWidth); });
}

MK_API int MkLabel_AddRect(LabelDoc* doc, const char* name, float startX, float startY, float endX, float endY,
                           float lineWidth) {
    return addObject(doc, name, true, ObjectType::Rectangle,
                     [&](LabelObject& object) { setEnds(object, startX, startY, endX, endY, lineWidth); });
}

MK_API int MkLabel_AddImage(LabelDoc* doc, const char* name, float x, float y, float scale, const char* base64Data) {
    if (doc == nullptr || name == nullptr || base64Data == nullptr) return MK_FAIL;
    return mk::guarded(MK_FAIL, [&] {
        // Text that does not decode is refused as a whole: no object with
        // half an image is added.
        std::optional<mk::platform::MappedBytes> imageBytes = mk::platform::decodeBase64Strict(base64Data);
        if (!imageBytes) return MK_FAIL;
        return addObject(doc, name, true, ObjectType::Image, [&](LabelObject& object) {
            object.Xposition = x;
            object.Yposition = y;
            object.scale = scale;
            object.imagedata = std::move(*imageBytes);
        });
    });
}

MK_API int MkLabel_AddRfid(LabelDoc* doc, const char* name, const char* data, int encoderType, int dataType,
                           int dataBlock) {
    return addObject(doc, name, data != nullptr, ObjectType::Rfid, [&](LabelObject& object) {
        object.objectdata = data;
        object.RFIDEncodertype = encoderType;
        object.RFIDDatatype = dataType;
        object.RFIDDatablock = dataBlock;
        object.enable = true;
        object.RFIDerrortimes = 1;  // added objects retry once; loaded ones carry their own count
    });
}

}  // extern "C"
