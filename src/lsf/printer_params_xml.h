#pragma once

#include <array>
#include <string_view>
#include <variant>

#include "model/label_doc.h"

namespace mk {

// How a value read from the parameter text reaches its LabelDoc field.
enum class ParamRule {
    Assign,                // stored as read, missing included
    ReplaceUnlessPositive, // stored; then 0 or less (missing included) becomes the replacement
    KeepUnlessPositive,    // stored only when above 0
    KeepIfNegative,        // stored only when 0 or above, so a missing element stores 0
};

struct PrinterParamField {
    const char* key;
    std::variant<int LabelDoc::*, bool LabelDoc::*, float LabelDoc::*> member;
    ParamRule rule;
    float replacement;  // ReplaceUnlessPositive only
};

// The printer parameters and label geometry of a label file, in reading order.
extern const std::array<PrinterParamField, 18> kPrinterParamFields;

// Fills the document's printer parameters and geometry from the parameter text.
// False, and the document untouched, when the text is empty.
bool parsePrinterParamsXml(std::string_view text, LabelDoc& doc);

}  // namespace mk
