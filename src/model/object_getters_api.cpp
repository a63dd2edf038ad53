// Reading objects back: strings into the caller's buffer, scalars as results.
#include <string>

#include "mklabel.h"
#include "model/copy_out.h"
#include "model/label_doc.h"

namespace {

// Document, buffer and size are checked before the index.
int copyObjectText(const LabelDoc* doc, int index, char* buffer, int size, std::string LabelObject::*field) {
    if (doc == nullptr || !mk::isValidOutBuffer(buffer, size)) return MK_FAIL;
    const LabelObject* object = mk::objectAt(doc, index);
    if (object == nullptr) return MK_BAD_OBJECT_INDEX;
    return mk::copyOut(object->*field, buffer, size);
}

template <typename Result, typename Read>
Result readObject(const LabelDoc* doc, int index, Result failure, Read&& read) {
    const LabelObject* object = mk::objectAt(doc, index);
    return object == nullptr ? failure : read(*object);
}

}  // namespace

extern "C" {

MK_API int MkObject_GetName(const LabelDoc* doc, int index, char* buffer, int size) {
    return copyObjectText(doc, index, buffer, size, &LabelObject::ObjectName);
}

MK_API int MkObject_GetData(const LabelDoc* doc, int index, char* buffer, int size) {
    return copyObjectText(doc, index, buffer, size, &LabelObject::objectdata);
}

MK_API int MkObject_GetBarcodeKind(const LabelDoc* doc, int index, char* buffer, int size) {
    return copyObjectText(doc, index, buffer, size, &LabelObject::barcodekind);
}

MK_API int MkObject_GetCodeData(const LabelDoc* doc, int index, char* buffer, int size) {
    return copyObjectText(doc, index, buffer, size, &LabelObject::codedata);
}

MK_API int MkObject_GetDataChildIDs(const LabelDoc* doc, int index, char* buffer, int size) {
    return copyObjectText(doc, index, buffer, size, &LabelObject::datachild_IDs);
}

MK_API float MkObject_GetX(const LabelDoc* doc, int index) {
    return readObject(doc, index, -1.0f, [](const LabelObject& object) { return object.Xposition; });
}

MK_API float MkObject_GetY(const LabelDoc* doc, int index) {
    return readObject(doc, index, -1.0f, [](const LabelObject& object) { return object.Yposition; });
}

MK_API int MkObject_GetVarCount(const LabelDoc* doc, int index) {
    return readObject(doc, index, MK_FAIL,
                      [](const LabelObject& object) { return static_cast<int>(object.Variables.size()); });
}

MK_API int MkLabelDoc_GetObjectType(const LabelDoc* doc, int index) {
    return readObject(doc, index, MK_FAIL, [](const LabelObject& object) { return object.objectclass; });
}

}  // extern "C"
