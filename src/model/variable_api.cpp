// Reading and setting the variables of a document's objects.
#include "mklabel.h"
#include "model/copy_out.h"
#include "model/export_guard.h"
#include "model/label_doc.h"
#include "model/variables.h"

extern "C" {

MK_API int MkObject_GetVarInfo(const LabelDoc* doc, int objectIndex, int varIndex, char* name, int nameSize,
                               char* value, int valueSize, int* outId, int* outType, int* outEnable) {
    if (doc == nullptr || !mk::isValidOutBuffer(name, nameSize) || !mk::isValidOutBuffer(value, valueSize)) {
        return MK_FAIL;
    }
    const LabelObject* object = mk::objectAt(doc, objectIndex);
    if (object == nullptr) return MK_BAD_OBJECT_INDEX;
    if (varIndex < 0 || static_cast<size_t>(varIndex) >= object->Variables.size()) return MK_BAD_VARIABLE_INDEX;

    const LabelVariable& variable = object->Variables[static_cast<size_t>(varIndex)];
    mk::copyOut(variable.sharename, name, nameSize);
    mk::copyOut(variable.data, value, valueSize);
    if (outId != nullptr) *outId = variable.id;
    if (outType != nullptr) *outType = variable.type;
    if (outEnable != nullptr) *outEnable = variable.enable ? 1 : 0;
    return MK_OK;
}

MK_API int MkObject_SetVariable(LabelDoc* doc, int objectIndex, const char* name, const char* value) {
    if (doc == nullptr || name == nullptr || value == nullptr) return MK_FAIL;
    LabelObject* object = mk::objectAt(doc, objectIndex);
    if (object == nullptr) return MK_BAD_OBJECT_INDEX;
    return mk::guarded(MK_FAIL, [&] {
        mk::setObjectVariable(*object, name, value);
        return MK_OK;
    });
}

MK_API int MkObject_SetVariableAll(LabelDoc* doc, const char* name, const char* value) {
    if (doc == nullptr || name == nullptr || value == nullptr) return MK_FAIL;
    return mk::guarded(MK_FAIL, [&] {
        mk::setVariableInAllObjects(doc->objects, name, value);
        return MK_OK;
    });
}

}  // extern "C"
