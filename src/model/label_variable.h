#pragma once

#include <string>

// One variable of a label object: a named value the host fills in before the
// label is rendered or printed. Only id, data and fixedlength take part in
// composing the object's text; the other fields are carried as loaded.
struct LabelVariable {
    bool enable = false;
    int type = 0;
    int id = 0;
    std::string sharename;
    std::string data;
    int serialtype = 0;
    int serialstep = 0;
    int fixedlength = 0;  // bytes; > 0 pads or cuts the value in composed text
    std::string serialchars;
    int datetimetype = 0;
    int datetimeoffset = 0;
    std::string keyboardprompt;
};

namespace mk {

// Field by field, strings duplicated; the language's copy does exactly that.
inline void copyLabelVariable(LabelVariable& target, const LabelVariable& source) { target = source; }

}  // namespace mk
