#pragma once

#include <array>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "lsf/load_budget.h"
#include "model/label_variable.h"

namespace mk {

struct VariableField {
    const char* key;
    std::variant<bool LabelVariable::*, int LabelVariable::*, std::string LabelVariable::*> member;
};

// Every field of a variable, keyed as in the label file, in reading order.
extern const std::array<VariableField, 12> kVariableFields;

// Appends one variable per "<Variable>...</Variable>" element inside the first
// complete "<Variables>...</Variables>" block of an object chunk, every field
// assigned whether its element is present or not. False when there is no
// complete block; otherwise whether the list is non-empty afterwards.
bool parseObjectVariablesXml(std::string_view objectChunk, std::vector<LabelVariable>& variables);
// The same, stopping as soon as the variables read do not fit the budget.
bool parseObjectVariablesXml(std::string_view objectChunk, std::vector<LabelVariable>& variables,
                             LoadBudget& budget);

}  // namespace mk
