#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/label_doc.h"
#include "model/label_variable.h"

namespace mk {

// Sets the first variable of the object whose sharename equals name exactly.
void setObjectVariable(LabelObject& object, std::string_view name, std::string_view value);
void setVariableInAllObjects(std::vector<LabelObject>& objects, std::string_view name, std::string_view value);

// The text brought to width bytes: cut at the front, or zero-padded in front.
std::string padToWidth(std::string_view text, int width);

// What the document-level render and print calls do before drawing: every
// object with variables or ids gets its composed text (the values of the
// variables its comma-separated ids name, in that order), unless that is empty.
// False, with every text left as it was, when the composed texts together
// would exceed kMaxLabelTextBytes.
[[nodiscard]] bool composeDocumentVariableTexts(LabelDoc& doc);

}  // namespace mk
