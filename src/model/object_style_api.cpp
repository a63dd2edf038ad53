// Style setters: change single fields of an existing object of any kind.
#include "mklabel.h"
#include "model/export_guard.h"
#include "model/label_doc.h"

namespace {

template <typename Store>
int setObjectStyle(LabelDoc* doc, int index, Store&& store) {
    LabelObject* object = mk::objectAt(doc, index);
    if (object == nullptr) return MK_FAIL;
    return mk::guarded(MK_FAIL, [&] {
        store(*object);
        return MK_OK;
    });
}

}  // namespace

extern "C" {

MK_API int MkLabel_SetFontStyle(LabelDoc* doc, int index, int style) {
    return setObjectStyle(doc, index, [&](LabelObject& object) { object.fontstyle = style; });
}

MK_API int MkLabel_SetTextAlign(LabelDoc* doc, int index, int align) {
    return setObjectStyle(doc, index, [&](LabelObject& object) { object.texttextalign = align; });
}

MK_API int MkLabel_SetLineDash(LabelDoc* doc, int index, int dash) {
    return setObjectStyle(doc, index, [&](LabelObject& object) { object.lineDashStyle = dash; });
}

MK_API int MkLabel_SetRectShape(LabelDoc* doc, int index, int shape) {
    return setObjectStyle(doc, index, [&](LabelObject& object) { object.rectangleclass = shape; });
}

MK_API int MkLabel_SetRectRadius(LabelDoc* doc, int index, float radius) {
    return setObjectStyle(doc, index, [&](LabelObject& object) { object.cornerRadius = radius; });
}

MK_API int MkLabel_SetRectFill(LabelDoc* doc, int index, int fill) {
    return setObjectStyle(doc, index, [&](LabelObject& object) { object.fillRectangle = fill != 0; });
}

MK_API int MkLabel_SetImageScale(LabelDoc* doc, int index, float hscale, float vscale) {
    return setObjectStyle(doc, index, [&](LabelObject& object) {
        object.hscale = hscale;
        object.vscale = vscale;
    });
}

MK_API int MkLabel_SetBarcodeText(LabelDoc* doc, int index, const char* fontName, float fontSize, float textGap,
                                  int textAlign) {
    return setObjectStyle(doc, index, [&](LabelObject& object) {
        if (fontName != nullptr) object.textfont = fontName;  // NULL keeps the current face
        object.fontsize = fontSize;
        object.textGap = textGap;
        object.textalign = textAlign;
    });
}

MK_API int MkLabel_SetRfidHf(LabelDoc* doc, int index, int startBlock, int power) {
    return setObjectStyle(doc, index, [&](LabelObject& object) {
        object.HFstartblock = startBlock;
        object.HFModulepower = power;
    });
}

}  // extern "C"
