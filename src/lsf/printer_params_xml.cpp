#include "lsf/printer_params_xml.h"

#include "lsf/flat_xml.h"

namespace mk {

constinit const std::array<PrinterParamField, 18> kPrinterParamFields = {{
    {"printerDPI", &LabelDoc::printerDPI, ParamRule::ReplaceUnlessPositive, 203.0f},
    {"printSpeed", &LabelDoc::printSpeed, ParamRule::KeepUnlessPositive, 0.0f},
    {"printDarkness", &LabelDoc::printDarkness, ParamRule::KeepIfNegative, 0.0f},
    {"pageDirection", &LabelDoc::pageDirection, ParamRule::KeepUnlessPositive, 0.0f},
    {"labelhavegap", &LabelDoc::labelhavegap, ParamRule::Assign, 0.0f},
    {"labelwidth", &LabelDoc::labelwidth, ParamRule::ReplaceUnlessPositive, 104.0f},
    {"labelheight", &LabelDoc::labelheight, ParamRule::ReplaceUnlessPositive, 75.0f},
    {"labelcolumngap", &LabelDoc::labelcolumngap, ParamRule::Assign, 0.0f},
    {"labelrowgap", &LabelDoc::labelrowgap, ParamRule::Assign, 0.0f},
    {"labelcolumnnum", &LabelDoc::labelcolumnnum, ParamRule::ReplaceUnlessPositive, 1.0f},
    {"labelrownum", &LabelDoc::labelrownum, ParamRule::ReplaceUnlessPositive, 1.0f},
    {"leftoffset", &LabelDoc::leftoffset, ParamRule::Assign, 0.0f},
    {"topoffset", &LabelDoc::topoffset, ParamRule::Assign, 0.0f},
    {"pageleftedges", &LabelDoc::pageleftedges, ParamRule::Assign, 0.0f},
    {"pagerightedges", &LabelDoc::pagerightedges, ParamRule::Assign, 0.0f},
    {"pagestartlocation", &LabelDoc::pagestartlocation, ParamRule::Assign, 0.0f},
    {"pagelabelorder", &LabelDoc::pagelabelorder, ParamRule::Assign, 0.0f},
    {"labelshape", &LabelDoc::labelshape, ParamRule::Assign, 0.0f},
}};

namespace {

template <typename Value>
void applyParam(Value value, Value& field, const PrinterParamField& param) {
    switch (param.rule) {
        case ParamRule::Assign:
            field = value;
            break;
        case ParamRule::ReplaceUnlessPositive:
            // "<= 0" rather than "!(> 0)": a not-a-number width stays as read.
            field = value <= Value{} ? static_cast<Value>(param.replacement) : value;
            break;
        case ParamRule::KeepUnlessPositive:
            if (value > Value{}) field = value;
            break;
        case ParamRule::KeepIfNegative:
            if (value >= Value{}) field = value;
            break;
    }
}

const XmlKeys paramKeysTable(keyNamesOf(kPrinterParamFields));  // made at load: no guarded static
const XmlKeys& paramKeys() { return paramKeysTable; }

void readParam(const XmlIndex& index, std::size_t place, LabelDoc& doc) {
    const PrinterParamField& param = kPrinterParamFields[place];
    if (auto member = std::get_if<int LabelDoc::*>(&param.member)) {
        applyParam(index.integer(place), doc.**member, param);
    } else if (auto member = std::get_if<float LabelDoc::*>(&param.member)) {
        applyParam(index.real(place), doc.**member, param);
    } else if (auto member = std::get_if<bool LabelDoc::*>(&param.member)) {
        doc.**member = index.flag(place);  // flags are only ever assigned
    }
}

}  // namespace

bool parsePrinterParamsXml(std::string_view text, LabelDoc& doc) {
    if (text.empty()) return false;
    XmlIndex index(paramKeys());
    index.scan(text);
    for (std::size_t place = 0; place < kPrinterParamFields.size(); ++place) readParam(index, place, doc);
    return true;
}

}  // namespace mk
