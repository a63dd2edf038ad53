#include "model/label_doc.h"

#include <utility>

namespace mk {

void initLabelRecord(LabelDoc& doc) { doc = LabelDoc{}; }

const LabelObject* objectAt(const LabelDoc* doc, int index) {
    if (doc == nullptr || index < 0 || static_cast<size_t>(index) >= doc->objects.size()) return nullptr;
    return &doc->objects[static_cast<size_t>(index)];
}

LabelObject* objectAt(LabelDoc* doc, int index) {
    return const_cast<LabelObject*>(objectAt(static_cast<const LabelDoc*>(doc), index));
}

int appendObject(LabelDoc& doc, LabelObject object) {
    // The vector moves existing objects when it grows, so indices never change.
    doc.objects.push_back(std::move(object));
    return static_cast<int>(doc.objects.size()) - 1;
}

}  // namespace mk
