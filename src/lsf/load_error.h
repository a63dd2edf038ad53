#pragma once

#include <string_view>

#include "model/label_doc.h"

namespace mk {

// Records a load failure: the thread's last error gets the code and its fixed
// message followed by detail (the path, for the file errors), the document
// being loaded gets the message as its error text. Returns false so that a
// failing step can end with `return failLoad(...)`.
bool failLoad(LabelDoc& doc, int code, std::string_view detail = {});

}  // namespace mk
