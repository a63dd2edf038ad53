#include "lsf/variables_xml.h"

#include <cstdint>
#include <utility>

#include "lsf/flat_xml.h"

namespace mk {

constinit const std::array<VariableField, 12> kVariableFields = {{
    {"enable", &LabelVariable::enable},
    {"type", &LabelVariable::type},
    {"id", &LabelVariable::id},
    {"sharename", &LabelVariable::sharename},
    {"data", &LabelVariable::data},
    {"serialtype", &LabelVariable::serialtype},
    {"serialstep", &LabelVariable::serialstep},
    {"fixedlength", &LabelVariable::fixedlength},
    {"serialchars", &LabelVariable::serialchars},
    {"datetimetype", &LabelVariable::datetimetype},
    {"datetimeoffset", &LabelVariable::datetimeoffset},
    {"keyboardprompt", &LabelVariable::keyboardprompt},
}};

namespace {

constexpr SearchText kBlockOpen = "<Variables>";
constexpr SearchText kBlockClose = "</Variables>";
constexpr SearchText kVariableOpen = "<Variable>";
constexpr SearchText kVariableClose = "</Variable>";

const XmlKeys variableKeysTable(keyNamesOf(kVariableFields));  // made at load: no guarded static
const XmlKeys& variableKeys() { return variableKeysTable; }

// False when what the field holds does not fit the budget.
bool readVariableField(const XmlIndex& index, std::size_t place, LabelVariable& variable, LoadBudget& budget) {
    const VariableField& field = kVariableFields[place];
    if (auto member = std::get_if<bool LabelVariable::*>(&field.member)) {
        variable.**member = index.flag(place);
    } else if (auto member = std::get_if<int LabelVariable::*>(&field.member)) {
        variable.**member = index.integer(place);
    } else if (auto member = std::get_if<std::string LabelVariable::*>(&field.member)) {
        variable.**member = index.text(place);
        return budget.takeText(variable.**member);
    }
    return true;
}

}  // namespace

bool parseObjectVariablesXml(std::string_view objectChunk, std::vector<LabelVariable>& variables) {
    LoadBudget unlimited(SIZE_MAX);
    return parseObjectVariablesXml(objectChunk, variables, unlimited);
}

bool parseObjectVariablesXml(std::string_view objectChunk, std::vector<LabelVariable>& variables,
                             LoadBudget& budget) {
    const std::size_t blockOpen = findText(objectChunk, kBlockOpen, 0);
    if (blockOpen == std::string_view::npos) return false;
    const std::size_t blockClose = findText(objectChunk, kBlockClose, blockOpen);
    if (blockClose == std::string_view::npos) return false;
    const std::string_view block = objectChunk.substr(blockOpen, blockClose + kBlockClose.size() - blockOpen);

    // "<Variables>" never matches "<Variable>": it goes on with 's', not '>'.
    XmlIndex index(variableKeys(), &budget);
    RecordWalk walk(block, kVariableOpen, kVariableClose);
    for (std::string_view chunk; walk.next(chunk);) {
        if (!budget.take(sizeof(LabelVariable))) break;
        // A new variable is what missing elements read: only the elements the
        // chunk holds are read, into the record where it stays.
        LabelVariable& variable = variables.emplace_back();
        index.scan(chunk);
        for (std::size_t place : index.opened()) {
            if (!readVariableField(index, place, variable, budget)) {
                variables.pop_back();
                return !variables.empty();
            }
        }
    }
    return !variables.empty();
}

}  // namespace mk
