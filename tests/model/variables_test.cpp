#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "mklabel.h"
#include "support/handles.h"
#include "model/label_doc.h"
#include "model/variables.h"

namespace {

using mk::test::LabelPtr;

LabelVariable variable(int id, std::string data, int fixedLength = 0, std::string name = "") {
    LabelVariable v;
    v.id = id;
    v.data = std::move(data);
    v.fixedlength = fixedLength;
    v.sharename = std::move(name);
    return v;
}

LabelObject objectWithVariables(std::string ids, std::vector<LabelVariable> variables, std::string data = "old") {
    LabelObject object;
    object.ObjectName = "text1";
    object.objectdata = std::move(data);
    object.datachild_IDs = std::move(ids);
    object.Variables = std::move(variables);
    return object;
}

// What the render and print calls compose for one object: its text, or ""
// when the composition is empty and the object keeps its designed text.
std::string composedText(std::string ids, std::vector<LabelVariable> variables) {
    const std::string designed = "\x7f designed";
    LabelDoc doc;
    doc.objects.push_back(objectWithVariables(std::move(ids), std::move(variables), designed));
    EXPECT_TRUE(mk::composeDocumentVariableTexts(doc));
    const std::string& text = doc.objects[0].objectdata;
    return text == designed ? "" : text;
}

struct ComposeCase {
    const char* what;
    const char* ids;
    std::vector<LabelVariable> variables;
    const char* expected;
};

TEST(ComposeVariables, FollowsTheIdsInOrder) {
    const std::vector<ComposeCase> cases = {
        {"blank after the comma and a fixed length", "1, 2", {variable(1, "AB"), variable(2, "7", 3)}, "AB007"},
        {"fixed length keeps the last bytes", "1", {variable(1, "12345", 2)}, "45"},
        {"malformed and empty tokens are skipped", "3,x,,1", {variable(1, "A"), variable(3, "B")}, "BA"},
        {"repeated id contributes each time", "1,1,1", {variable(1, "z")}, "zzz"},
        {"missing id contributes nothing", "1,9,2", {variable(1, "a"), variable(2, "b")}, "ab"},
        {"missing id between two present ones borrows nothing", "1,5,9", {variable(1, "a"), variable(9, "z")}, "az"},
        {"missing id below and above all of them", "0,4,10", {variable(1, "a"), variable(3, "c"), variable(9, "z")}, ""},
        {"first of two equal ids wins", "5", {variable(5, "first"), variable(5, "second")}, "first"},
        {"first in list order, not in id order", "5,3,5,9",
         {variable(9, "nine"), variable(5, "first"), variable(3, "three"), variable(5, "second"), variable(1, "one")},
         "firstthreefirstnine"},
        {"empty ids", "", {variable(1, "a")}, ""},
        {"only commas and blanks", " , \t,", {variable(0, "zero")}, ""},
        {"tabs trimmed", "\t2\t", {variable(2, "t")}, "t"},
        {"characters after the number are ignored", "12b", {variable(12, "twelve")}, "twelve"},
        {"explicit signs", "+4,-4", {variable(4, "p"), variable(-4, "n")}, "pn"},
        {"sign without digits is skipped", "+,-,1", {variable(1, "one")}, "one"},
        {"blank inside the token ends the number", "1 2", {variable(1, "one"), variable(12, "twelve")}, "one"},
        {"largest int", "2147483647", {variable(INT_MAX, "max")}, "max"},
        {"smallest int", "-2147483648", {variable(INT_MIN, "min")}, "min"},
        {"beyond the int range is skipped", "2147483648,-2147483649,99999999999999999999,1",
         {variable(0, "wrapped"), variable(INT_MIN, "wrapped"), variable(INT_MAX, "wrapped"),
          variable(1, "ok")},
         "ok"},
        {"leading zeros", "007", {variable(7, "seven")}, "seven"},
        {"fixed length 0 or negative leaves the value", "1,2", {variable(1, "abc", 0), variable(2, "de", -3)}, "abcde"},
        {"fixed length pads an empty value", "1", {variable(1, "", 4)}, "0000"},
        {"fixed length counts bytes, cutting a UTF-8 character", "1", {variable(1, "\xE4\xBD\x93", 2)}, "\xBD\x93"},
    };
    for (const ComposeCase& c : cases) {
        EXPECT_EQ(composedText(c.ids, c.variables), c.expected) << c.what;
    }
}

TEST(ComposeVariables, IgnoresEnableAndType) {
    LabelVariable disabled = variable(1, "still here");
    disabled.enable = false;
    disabled.type = 99;
    EXPECT_EQ(composedText("1", {disabled}), "still here");
}

TEST(PadToWidth, BringsTextToWidthBytes) {
    struct Case {
        const char* text;
        int width;
        const char* expected;
    };
    const Case cases[] = {
        {"abc", 0, "abc"}, {"abc", -1, "abc"}, {"abc", 3, "abc"},   {"abc", 5, "00abc"},
        {"abc", 1, "c"},   {"", 2, "00"},      {"12345", 2, "45"},
    };
    for (const Case& c : cases) EXPECT_EQ(mk::padToWidth(c.text, c.width), c.expected) << c.text << " " << c.width;
}

TEST(ComposeDocumentVariableTexts, ReplacesDataOnlyWithNonEmptyCompositions) {
    LabelDoc doc;
    doc.objects.push_back(objectWithVariables("1", {variable(1, "new")}));
    doc.objects.push_back(objectWithVariables("9", {variable(1, "unused")}));  // nothing matches
    doc.objects.push_back(objectWithVariables("", {variable(1, "x")}));        // variables but no ids
    doc.objects.push_back(objectWithVariables("1", {}));                       // ids but no variables
    doc.objects.push_back(objectWithVariables("", {}, "plain"));
    ASSERT_TRUE(mk::composeDocumentVariableTexts(doc));
    EXPECT_EQ(doc.objects[0].objectdata, "new");
    EXPECT_EQ(doc.objects[1].objectdata, "old");
    EXPECT_EQ(doc.objects[2].objectdata, "old");
    EXPECT_EQ(doc.objects[3].objectdata, "old");
    EXPECT_EQ(doc.objects[4].objectdata, "plain");

    // Composing again uses the variables' current values.
    mk::setObjectVariable(doc.objects[0], "", "newer");
    ASSERT_TRUE(mk::composeDocumentVariableTexts(doc));
    EXPECT_EQ(doc.objects[0].objectdata, "newer");
}

TEST(ComposeDocumentVariableTexts, RefusesALabelWhoseTextsTogetherExceedTheBound) {
    const auto bound = static_cast<int>(mk::kMaxLabelTextBytes);
    for (const int padding : {bound / 2, bound / 2 + 1}) {
        LabelDoc doc;
        doc.objects.push_back(objectWithVariables("1,1", {variable(1, "x", padding)}));
        doc.objects.push_back(objectWithVariables("1", {variable(1, "")}));  // composes nothing
        const bool fits = 2 * static_cast<int64_t>(padding) <= bound;
        EXPECT_EQ(mk::composeDocumentVariableTexts(doc), fits) << padding;
        EXPECT_EQ(doc.objects[0].objectdata.size(), fits ? mk::kMaxLabelTextBytes : 3) << padding;
    }
}

// A document built the way the loader leaves one: objects with named variables.
LabelPtr documentWithVariables() {
    LabelPtr doc(MkLabel_Create());
    doc->objects.push_back(objectWithVariables("1,2", {variable(1, "a1", 0, "Name"), variable(2, "a2", 0, "Name")}));
    doc->objects.push_back(objectWithVariables("1", {variable(1, "b1", 0, "Name")}));
    LabelObject rfid = objectWithVariables("1", {variable(1, "c1", 0, "Name")});
    rfid.ObjectName = "rfid";
    rfid.enable = false;
    doc->objects.push_back(rfid);
    doc->objects.push_back(objectWithVariables("1", {variable(1, "d1", 0, "Other")}));
    return doc;
}

std::string variableValue(const LabelDoc* doc, int object, int index) {
    char name[64];
    char value[64];
    EXPECT_EQ(MkObject_GetVarInfo(doc, object, index, name, sizeof name, value, sizeof value, nullptr, nullptr,
                                  nullptr),
              0);
    return value;
}

TEST(SetVariableAll, SetsTheFirstMatchInEveryObject) {
    LabelPtr doc = documentWithVariables();
    EXPECT_EQ(MkObject_SetVariableAll(doc.get(), "Name", "v"), 0);
    EXPECT_EQ(variableValue(doc.get(), 0, 0), "v");
    EXPECT_EQ(variableValue(doc.get(), 0, 1), "a2");  // second match in the same object stays
    EXPECT_EQ(variableValue(doc.get(), 1, 0), "v");
    EXPECT_EQ(variableValue(doc.get(), 2, 0), "v");  // disabled rfid object too
    EXPECT_EQ(variableValue(doc.get(), 3, 0), "d1");
}

TEST(SetVariable, ComparesNamesExactly) {
    const char* const nearMisses[] = {"name", "NAME", "Name ", " Name", "Nam", "Names", ""};
    for (const char* name : nearMisses) {
        LabelPtr doc = documentWithVariables();
        EXPECT_EQ(MkObject_SetVariable(doc.get(), 0, name, "changed"), 0) << name;
        EXPECT_EQ(MkObject_SetVariableAll(doc.get(), name, "changed"), 0) << name;
        for (int object = 0; object < 4; ++object) {
            EXPECT_NE(variableValue(doc.get(), object, 0), "changed") << name << " object " << object;
        }
    }
}

TEST(SetVariable, ReachesOnlyTheGivenObject) {
    LabelPtr doc = documentWithVariables();
    EXPECT_EQ(MkObject_SetVariable(doc.get(), 1, "Name", "only"), 0);
    EXPECT_EQ(variableValue(doc.get(), 0, 0), "a1");
    EXPECT_EQ(variableValue(doc.get(), 1, 0), "only");
    EXPECT_EQ(variableValue(doc.get(), 2, 0), "c1");
}

TEST(SetVariable, ChecksArgumentsBeforeTheIndex) {
    LabelPtr doc = documentWithVariables();
    struct Case {
        LabelDoc* doc;
        int index;
        const char* name;
        const char* value;
        int expected;
    };
    const Case cases[] = {
        {nullptr, 0, "Name", "v", -1},  {doc.get(), 0, nullptr, "v", -1}, {doc.get(), 0, "Name", nullptr, -1},
        {nullptr, 99, "Name", "v", -1}, {doc.get(), 99, nullptr, "v", -1}, {doc.get(), -1, "Name", "v", -2},
        {doc.get(), 4, "Name", "v", -2}, {doc.get(), 3, "Name", "v", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MkObject_SetVariable(c.doc, c.index, c.name, c.value), c.expected) << c.index;
    }
    EXPECT_EQ(MkObject_SetVariableAll(nullptr, "Name", "v"), -1);
    EXPECT_EQ(MkObject_SetVariableAll(doc.get(), nullptr, "v"), -1);
    EXPECT_EQ(MkObject_SetVariableAll(doc.get(), "Name", nullptr), -1);
    EXPECT_EQ(variableValue(doc.get(), 0, 0), "a1");
}

TEST(GetVarInfo, ReportsTheVariableFields) {
    LabelPtr doc = documentWithVariables();
    doc->objects[0].Variables[1].type = 7;
    doc->objects[0].Variables[1].enable = true;
    char name[16];
    char value[16];
    int id = -9, type = -9, enable = -9;
    EXPECT_EQ(MkObject_GetVarInfo(doc.get(), 0, 1, name, sizeof name, value, sizeof value, &id, &type, &enable), 0);
    EXPECT_STREQ(name, "Name");
    EXPECT_STREQ(value, "a2");
    EXPECT_EQ(id, 2);
    EXPECT_EQ(type, 7);
    EXPECT_EQ(enable, 1);
    EXPECT_EQ(MkObject_GetVarInfo(doc.get(), 0, 0, name, sizeof name, value, sizeof value, &id, &type, &enable), 0);
    EXPECT_EQ(enable, 0);
}

TEST(GetVarInfo, CopiesIntoSmallBuffers) {
    LabelPtr doc = documentWithVariables();
    char name[1] = {'x'};
    char value[2] = {'x', 'x'};
    EXPECT_EQ(MkObject_GetVarInfo(doc.get(), 0, 0, name, 1, value, 2, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(name[0], '\0');
    EXPECT_STREQ(value, "a");
}

TEST(GetVarInfo, ChecksInTheOrderArgumentsObjectVariable) {
    LabelPtr doc = documentWithVariables();
    char name[8];
    char value[8];
    struct Case {
        const char* what;
        LabelDoc* doc;
        int object;
        int variable;
        char* name;
        int nameSize;
        char* value;
        int valueSize;
        int expected;
    };
    const Case cases[] = {
        {"null document", nullptr, 0, 0, name, 8, value, 8, -1},
        {"null name", doc.get(), 0, 0, nullptr, 8, value, 8, -1},
        {"null value with bad indices", doc.get(), 99, 99, name, 8, nullptr, 8, -1},
        {"name size 0", doc.get(), 0, 0, name, 0, value, 8, -1},
        {"value size negative", doc.get(), 0, 0, name, 8, value, -1, -1},
        {"object index = count", doc.get(), 4, 99, name, 8, value, 8, -2},
        {"negative object index", doc.get(), -1, 0, name, 8, value, 8, -2},
        {"variable index = variable count", doc.get(), 0, 2, name, 8, value, 8, -3},
        {"negative variable index", doc.get(), 0, -1, name, 8, value, 8, -3},
        {"last variable", doc.get(), 0, 1, name, 8, value, 8, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MkObject_GetVarInfo(c.doc, c.object, c.variable, c.name, c.nameSize, c.value, c.valueSize, nullptr,
                                      nullptr, nullptr),
                  c.expected)
            << c.what;
    }
}

}  // namespace
