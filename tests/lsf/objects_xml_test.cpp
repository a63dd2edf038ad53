#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "lsf/flat_xml.h"
#include "lsf/objects_xml.h"
#include "support/lsf_writer.h"

namespace {

using mk::test::element;
using mk::test::labelObject;
using mk::test::rawElement;

// What an element written by the test writer holds between its tags.
std::string rawValueOf(const std::string& element) {
    const std::size_t start = element.find('>') + 1;
    return element.substr(start, element.rfind("</") - start);
}

std::vector<LabelObject> parse(const std::string& text) {
    std::vector<LabelObject> objects;
    EXPECT_TRUE(mk::parseLabelObjectsXml(text, objects));
    return objects;
}

TEST(ObjectsXml, ObjectsAreCutFromCompleteElementsInTextOrder) {
    const std::string first = labelObject(element("ObjectName", "text1"));
    const std::string second = labelObject(element("ObjectName", "line2"));
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> names;
    } cases[] = {
        {"empty text", "", {}},
        {"no object element", "<LabelObjects>junk</LabelObjects>", {}},
        {"two objects then an unclosed one", "<L>" + first + "x" + second + "<LabelObject>" + element("ObjectName", "lost"),
         {"text1", "line2"}},
        {"a nested opening tag belongs to its chunk",
         "<LabelObject>" + element("ObjectName", "outer") + labelObject(element("ObjectName", "inner")) + "</LabelObject>",
         {"outer"}},
        {"texts holding markup are each object's own",
         labelObject(rawElement("ObjectName", "x<b/>&amp;1")) + labelObject(rawElement("ObjectName", "x<b/>&amp;2")),
         {"x<b/>&1", "x<b/>&2"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> names;
        for (const LabelObject& object : parse(c.text)) names.push_back(object.ObjectName);
        EXPECT_EQ(names, c.names) << c.name;
    }
}

TEST(ObjectsXml, ObjectsAlreadyInTheListStay) {
    std::vector<LabelObject> objects(1);
    objects[0].ObjectName = "kept";
    ASSERT_TRUE(mk::parseLabelObjectsXml(labelObject(element("ObjectName", "new")), objects));
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0].ObjectName, "kept");
    EXPECT_EQ(objects[1].ObjectName, "new");
}

TEST(ObjectsXml, MissingElementsAssignZeroWhileUnkeyedFieldsKeepTheirDefaults) {
    const std::vector<LabelObject> objects = parse(labelObject(""));
    ASSERT_EQ(objects.size(), 1u);
    const LabelObject& object = objects[0];
    for (const mk::ObjectField& field : mk::kObjectFields) {
        std::visit(
            [&](auto member) {
                using Value = std::remove_cvref_t<decltype(object.*member)>;
                EXPECT_EQ(object.*member, Value{}) << field.key;
            },
            field.member);
    }
    EXPECT_TRUE(object.Variables.empty());
    EXPECT_EQ(object.cornerRadius, 2.0f);
    EXPECT_EQ(object.textColor, 0xFF000000u);
    EXPECT_EQ(object.barcodeColor, 0xFF000000u);
    EXPECT_EQ(object.eciOption, 0);
    EXPECT_TRUE(object.code39StartStop);
    EXPECT_EQ(object.textGap, 0.0f);
}

TEST(ObjectsXml, NamedElementsFillTheirFields) {
    const std::vector<LabelObject> objects = parse(labelObject(
        element("ObjectName", "text1") + element("objectdata", "A & B\r\n") + element("Xposition", 12.5f) +
        element("fontsize", 9) + element("isverticaltext", "TRUE") + element("textfont", "Liberation Sans") +
        element("RFIDkillpwd", "00000000") + element("ReadIDTimeout", 250) + element("lineColorArgb", -16777216)));
    ASSERT_EQ(objects.size(), 1u);
    const LabelObject& object = objects[0];
    EXPECT_EQ(object.ObjectName, "text1");
    EXPECT_EQ(object.objectdata, "A & B\r\n");
    EXPECT_EQ(object.Xposition, 12.5f);
    EXPECT_EQ(object.fontsize, 9.0f);
    EXPECT_TRUE(object.isverticaltext);
    EXPECT_EQ(object.textfont, "Liberation Sans");
    EXPECT_EQ(object.RFIDkillpwd, "00000000");
    EXPECT_EQ(object.ReadIDTimeout, 250);
    EXPECT_EQ(object.lineColorArgb, 0xFF000000u);
}

TEST(ObjectsXml, ObjectTypeFallsBackToTheCapitalisedKeyOnlyWhenZero) {
    const struct {
        std::string xml;
        int type;
    } cases[] = {
        {element("objectclass", 2) + element("objectClass", 3), 2},
        {element("objectClass", 3), 3},
        {element("objectclass", 0) + element("objectClass", 3), 3},
        {element("objectclass", "x") + element("objectClass", 4), 4},
        {element("objectclass", 0) + element("objectClass", -9), -9},
        {element("objectclass", -1) + element("objectClass", 3), -1},  // only 0 looks further
        {"", 0},
    };
    for (const auto& c : cases) {
        const std::vector<LabelObject> objects = parse(labelObject(c.xml));
        ASSERT_EQ(objects.size(), 1u);
        EXPECT_EQ(objects[0].objectclass, c.type) << c.xml;
    }
}

TEST(ObjectsXml, ColourIsASignedDecimal) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"-16777216", 0xFF000000u}, {"4278190080", 0x7FFFFFFFu}, {"-1", 0xFFFFFFFFu}, {"255", 0x000000FFu}};
    for (const auto& [text, argb] : cases) {
        EXPECT_EQ(parse(labelObject(element("lineColorArgb", text)))[0].lineColorArgb, argb) << text;
    }
}

TEST(ObjectsXml, ObjectEnableAndIdComeFromTheFirstElementInTheChunk) {
    const std::string vars = mk::test::variables(
        {mk::test::variable(element("enable", true) + element("id", 7) + element("sharename", "v"))});
    const struct {
        std::string xml;
        bool enable;
        int id;
    } cases[] = {
        {vars, true, 7},
        {element("enable", false) + element("id", 2) + vars, false, 2},
        {vars + element("enable", false) + element("id", 2), true, 7},
    };
    for (const auto& c : cases) {
        const LabelObject object = parse(labelObject(c.xml)).at(0);
        EXPECT_EQ(object.enable, c.enable) << c.xml;
        EXPECT_EQ(object.id, c.id) << c.xml;
        EXPECT_EQ(object.Variables.size(), 1u);
    }
}

TEST(ObjectsXml, ImageTextIsDecodedLeniently) {
    const struct {
        const char* text;
        decltype(LabelObject::imagedata) bytes;
    } cases[] = {
        {"TWFu", {0x4D, 0x61, 0x6E}},
        {"TW Fu", {0x4D, 0x61, 0x6E}},
        {"TW\r\nFu", {0x4D, 0x61, 0x6E}},
        {"TWFu==", {0x4D, 0x61, 0x6E}},
        {"TQ", {0x4D}},
        {"TQ==", {0x4D}},
        {"QQ==QQ==", {0x41, 0x04, 0x10}},  // '=' does not end a group
        {"====", {}},
        {"*", {}},
        {"", {}},
        {"/+9z\x80\xff", {0xFF, 0xEF, 0x73}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(mk::base64Decode(c.text), c.bytes) << c.text;
        EXPECT_EQ(parse(labelObject(rawElement("imagedata", c.text)))[0].imagedata, c.bytes) << c.text;
    }
    EXPECT_TRUE(parse(labelObject(rawElement("imagedata", "==\r\n==&#xA;")))[0].imagedata.empty());
    // Entities are decoded before the text is: "A" of "&#xA;" is no digit.
    const decltype(LabelObject::imagedata) man = {0x4D, 0x61, 0x6E};
    EXPECT_EQ(parse(labelObject(rawElement("imagedata", "TW&#xA;Fu")))[0].imagedata, man);
    EXPECT_EQ(parse(labelObject(rawElement("imagedata", "TW&amp;Fu")))[0].imagedata, man);
}

// Records count their size, not their list's room; a picture counts the bytes
// it holds, a text the room it holds (a decoded "&amp;" keeps the room of the
// five bytes it was read from), and a text holding markup also the text
// decoded for it.
TEST(ObjectsXml, TheBoundCountsRecordsAndPictureBytes) {
    std::string pictureText;
    for (int i = 0; i < 1000; ++i) pictureText += "QUFB";
    const std::size_t pictureBytes = mk::base64Decode(pictureText).capacity();
    const std::string picture = labelObject(rawElement("imagedata", pictureText));
    const std::string fiveObjects = labelObject("") + labelObject("") + labelObject("") + labelObject("") + labelObject("");
    const std::string ampersands = element("ObjectName", std::string(100, '&'));
    const std::size_t ampersandBytes = mk::decodeXmlEntities(rawValueOf(ampersands)).capacity();
    const std::string variableText = element("sharename", std::string(100, 's'));
    const std::size_t variableBytes = sizeof(LabelObject) + sizeof(LabelVariable) + std::string(100, 's').capacity();
    const std::string markup = "<b/>" + rawValueOf(ampersands);
    const struct {
        const char* name;
        std::string xml;
        std::size_t limit;
        bool fits;
    } cases[] = {
        {"five records", fiveObjects, 5 * sizeof(LabelObject), true},
        {"five records, a byte short", fiveObjects, 5 * sizeof(LabelObject) - 1, false},
        {"a picture", picture, sizeof(LabelObject) + pictureBytes, true},
        {"a picture, a byte short", picture, sizeof(LabelObject) + pictureBytes - 1, false},
        {"decoded text", labelObject(ampersands), sizeof(LabelObject) + ampersandBytes, true},
        {"decoded text, a byte short", labelObject(ampersands), sizeof(LabelObject) + ampersandBytes - 1, false},
        {"a variable's text", labelObject(mk::test::variables({mk::test::variable(variableText)})), variableBytes, true},
        {"a variable's text, a byte short", labelObject(mk::test::variables({mk::test::variable(variableText)})),
         variableBytes - 1, false},
        {"a text holding markup", labelObject(rawElement("ObjectName", markup)), sizeof(LabelObject) + 2 * markup.size(),
         true},
        {"a text holding markup, counted alone", labelObject(rawElement("ObjectName", markup)),
         sizeof(LabelObject) + markup.size(), false},
    };
    for (const auto& c : cases) {
        std::vector<LabelObject> objects;
        EXPECT_EQ(mk::parseLabelObjectsXml(c.xml, objects, c.limit), c.fits) << c.name;
    }
}

// Every failed request leaves the budget exceeded, even for one that would fit.
TEST(ObjectsXml, ABudgetOnceExceededRefusesEveryRequest) {
    mk::LoadBudget budget(10);
    EXPECT_FALSE(budget.exceeded());
    EXPECT_TRUE(budget.take(4));
    EXPECT_FALSE(budget.take(7));
    EXPECT_TRUE(budget.exceeded());
    EXPECT_FALSE(budget.take(1));
    EXPECT_FALSE(budget.takeText(std::string()));
    EXPECT_TRUE(budget.exceeded());
}

// Every keyed field gets a value unlike its default and unlike its neighbours.
LabelObject objectWithEveryFieldSet() {
    LabelObject object;
    int n = 0;
    for (const mk::ObjectField& field : mk::kObjectFields) {
        ++n;
        std::visit(
            [&](auto member) {
                auto& value = object.*member;
                using Value = std::remove_cvref_t<decltype(value)>;
                if constexpr (std::is_same_v<Value, std::string>) {
                    value = std::string(field.key) + " <\"&'>\r\n\xE4\xB8\xAD";
                } else if constexpr (std::is_same_v<Value, bool>) {
                    value = !value;
                } else if constexpr (std::is_same_v<Value, uint32_t>) {
                    value = 0x80000000u + static_cast<uint32_t>(n);
                } else if constexpr (std::is_same_v<Value, decltype(LabelObject::imagedata)>) {
                    for (int i = 0; i < 300; ++i) value.push_back(static_cast<uint8_t>(i * 7 + n));
                } else if constexpr (std::is_same_v<Value, float>) {
                    value = -1.0f / 3.0f * static_cast<float>(n);
                } else {
                    value = -1000 * n - 1;
                }
            },
            field.member);
    }
    object.objectclass = 5;
    LabelVariable variable;
    variable.enable = true;
    variable.id = 4;
    variable.sharename = "serial";
    variable.data = "0001";
    variable.fixedlength = 6;
    object.Variables = {variable, variable};
    object.Variables[1].id = 5;
    return object;
}

TEST(ObjectsXml, WholeObjectReadsBackFieldByField) {
    const LabelObject written = objectWithEveryFieldSet();
    // An empty object last: nothing of the objects before leaks into it.
    const std::vector<LabelObject> objects = parse(mk::test::objectsXmlOf({written, written}) + labelObject(""));
    ASSERT_EQ(objects.size(), 3u);
    for (const LabelObject& read : std::span(objects).first(2)) {
        for (const mk::ObjectField& field : mk::kObjectFields) {
            std::visit([&](auto member) { EXPECT_EQ(read.*member, written.*member) << field.key; }, field.member);
        }
        ASSERT_EQ(read.Variables.size(), 2u);
        EXPECT_EQ(read.Variables[1].id, 5);
        EXPECT_EQ(read.Variables[0].sharename, "serial");
    }
    for (const mk::ObjectField& field : mk::kObjectFields) {
        std::visit(
            [&](auto member) {
                EXPECT_EQ(objects[2].*member, std::remove_cvref_t<decltype(written.*member)>{}) << field.key;
            },
            field.member);
    }
    EXPECT_TRUE(objects[2].Variables.empty());
}

}  // namespace
