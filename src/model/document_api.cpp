// Document handles, the document's printer parameters and label geometry.
#include <cstdlib>
#include <memory>

#include "mklabel.h"
#include "model/export_guard.h"
#include "model/label_doc.h"
#include "portable/host_blocks.h"

namespace {

template <typename Field>
Field getField(const LabelDoc* doc, Field LabelDoc::*field) {
    return doc == nullptr ? Field{} : doc->*field;
}

template <typename Field>
void setField(LabelDoc* doc, Field LabelDoc::*field, Field value) {
    if (doc != nullptr) doc->*field = value;
}

}  // namespace

extern "C" {

MK_API LabelDoc* MkLabel_Create(void) {
    return mk::guarded<LabelDoc*>(nullptr, [] {
        auto doc = std::make_unique<LabelDoc>();
        mk::initLabelRecord(*doc);
        return doc.release();
    });
}

// The record owns its objects, their variables and image bytes: releasing it
// releases everything. NULL is ignored.
MK_API void MkLabel_Destroy(LabelDoc* doc) { std::unique_ptr<LabelDoc> owned(doc); }
MK_API void MkLabelDoc_Destroy(LabelDoc* doc) { MkLabel_Destroy(doc); }
MK_API void MkFree(void* block) { mk::platform::releaseHostPixels(block); }

MK_API int MkLabelDoc_GetPrinterDpi(const LabelDoc* doc) { return getField(doc, &LabelDoc::printerDPI); }
MK_API int MkLabelDoc_GetPrinterSpeed(const LabelDoc* doc) { return getField(doc, &LabelDoc::printSpeed); }
MK_API int MkLabelDoc_GetPrinterDarkness(const LabelDoc* doc) { return getField(doc, &LabelDoc::printDarkness); }
MK_API int MkLabelDoc_GetPrinterPageDirection(const LabelDoc* doc) { return getField(doc, &LabelDoc::pageDirection); }
MK_API bool MkLabelDoc_GetPrinterHaveGap(const LabelDoc* doc) { return getField(doc, &LabelDoc::labelhavegap); }
MK_API void MkLabelDoc_SetPrintCount(LabelDoc* doc, int count) { setField(doc, &LabelDoc::printCount, count); }
MK_API void MkLabelDoc_SetCopyCount(LabelDoc* doc, int count) { setField(doc, &LabelDoc::copyCount, count); }
MK_API void MkLabelDoc_SetReverse(LabelDoc* doc, int reverse) { setField(doc, &LabelDoc::reverse, reverse != 0); }

MK_API int MkLabelDoc_GetObjectCount(const LabelDoc* doc) {
    return doc == nullptr ? 0 : static_cast<int>(doc->objects.size());
}

#define MK_GEOMETRY_PAIR(Name, field, Type)                                                           \
    MK_API Type MkLabel_Get##Name(const LabelDoc* doc) { return getField(doc, &LabelDoc::field); } \
    MK_API void MkLabel_Set##Name(LabelDoc* doc, Type value) { setField(doc, &LabelDoc::field, value); }

MK_GEOMETRY_PAIR(Width, labelwidth, float)
MK_GEOMETRY_PAIR(Height, labelheight, float)
MK_GEOMETRY_PAIR(RowGap, labelrowgap, float)
MK_GEOMETRY_PAIR(ColumnGap, labelcolumngap, float)
MK_GEOMETRY_PAIR(RowCount, labelrownum, int)
MK_GEOMETRY_PAIR(ColumnCount, labelcolumnnum, int)
MK_GEOMETRY_PAIR(LeftOffset, leftoffset, float)
MK_GEOMETRY_PAIR(TopOffset, topoffset, float)
MK_GEOMETRY_PAIR(PageLeftEdges, pageleftedges, float)
MK_GEOMETRY_PAIR(PageRightEdges, pagerightedges, float)
MK_GEOMETRY_PAIR(StartLocation, pagestartlocation, int)
MK_GEOMETRY_PAIR(LabelOrder, pagelabelorder, int)
MK_GEOMETRY_PAIR(LabelShape, labelshape, int)

#undef MK_GEOMETRY_PAIR

}  // extern "C"
