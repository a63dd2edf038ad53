// The load calls: a new document filled from a label file or a memory image.
#include <memory>

#include "lsf/lsf_image.h"
#include "mklabel.h"
#include "model/export_guard.h"
#include "model/last_error.h"

namespace {

// A document is handed out only when every step succeeded; a failed one is
// released here, after it took the failure's message as its error text.
template <typename Fill>
LabelDoc* loadDocument(Fill&& fill) {
    return mk::guarded<LabelDoc*>(nullptr, [&]() -> LabelDoc* {
        auto doc = std::make_unique<LabelDoc>();
        mk::initLabelRecord(*doc);
        if (!fill(*doc)) {
            doc->errorText = mk::getLastErrorMessage();
            return nullptr;
        }
        return doc.release();
    });
}

}  // namespace

extern "C" {

// A NULL path or data pointer is refused like a missing file or an empty image.
MK_API LabelDoc* MkLabelDoc_Load(const char* utf8Path) {
    return loadDocument([&](LabelDoc& doc) { return mk::loadLsfFile(utf8Path, doc); });
}

MK_API LabelDoc* MkLabelDoc_LoadFromMemory(const void* data, int size) {
    return loadDocument(
        [&](LabelDoc& doc) { return mk::parseLsfImage(static_cast<const unsigned char*>(data), size, doc); });
}

}  // extern "C"
