#include <gtest/gtest.h>

#include <set>
#include <string>

#include "model/label_doc.h"
#include "model/label_object.h"

namespace {

TEST(LabelObject, DefaultsOfANewObject) {
    LabelObject object;
    mk::initLabelObject(object);
    EXPECT_TRUE(object.ObjectName.empty());
    EXPECT_TRUE(object.enable);
    EXPECT_EQ(object.id, 1);
    EXPECT_EQ(object.Xposition, 2.0f);
    EXPECT_EQ(object.Yposition, 2.0f);
    EXPECT_EQ(object.textfont, "\xE9\xBB\x91\xE4\xBD\x93");
    EXPECT_EQ(object.fontsize, 10.0f);
    EXPECT_EQ(object.textalign, 2);
    EXPECT_EQ(object.code39widthratio, 3);
    EXPECT_EQ(object.pdf417_rows_auto, 3);
    EXPECT_EQ(object.pdf417_columns_auto, 1);
    EXPECT_EQ(object.lineColorArgb, 0xFF000000u);
    EXPECT_EQ(object.textColor, 0xFF000000u);
    EXPECT_EQ(object.barcodeColor, 0xFF000000u);
    EXPECT_EQ(object.cornerRadius, 2.0f);
    EXPECT_EQ(object.lineWidth, 0.4f);
    EXPECT_EQ(object.endXposition, 3.0f);
    EXPECT_EQ(object.RFIDerrortimes, 2);
    EXPECT_EQ(object.ReadIDTimeout, 1000);
    EXPECT_TRUE(object.aspectRatio);
    EXPECT_TRUE(object.transparent);
    EXPECT_TRUE(object.code39StartStop);
    EXPECT_EQ(object.RFIDaccessnewpwd, "5A1C9E27");
    EXPECT_EQ(object.RFIDUserdatareadpwd, "5A1C9E27");
    EXPECT_EQ(object.RFIDUser2oldwritepwd, "5A1C9E27");
}

TEST(LabelObject, CopySharesNothingWithItsSource) {
    LabelObject source;
    source.objectdata = "original";
    source.imagedata = {1, 2, 3};
    LabelVariable variable;
    variable.sharename = "name";
    variable.data = "value";
    source.Variables.push_back(variable);

    LabelObject copy;
    mk::copyLabelObject(copy, source);
    copy.objectdata = "changed";
    copy.imagedata[0] = 9;
    copy.Variables[0].data = "other";

    EXPECT_EQ(source.objectdata, "original");
    EXPECT_EQ(source.imagedata[0], 1);
    EXPECT_EQ(source.Variables[0].data, "value");
}

TEST(LabelObject, MoveLeavesTheSourceEmptyAndKeepsScalars) {
    LabelObject source;
    source.ObjectName = "text1";
    source.RFIDkillpwd = "00000000";
    source.imagedata = {7};
    source.Variables.resize(2);
    source.fontsize = 14.0f;

    LabelObject target;
    mk::moveLabelObject(target, source);
    EXPECT_EQ(target.ObjectName, "text1");
    EXPECT_EQ(target.RFIDkillpwd, "00000000");
    EXPECT_EQ(target.Variables.size(), 2u);
    EXPECT_EQ(target.fontsize, 14.0f);
    EXPECT_TRUE(source.ObjectName.empty());
    EXPECT_TRUE(source.RFIDkillpwd.empty());
    EXPECT_TRUE(source.textfont.empty());
    EXPECT_TRUE(source.imagedata.empty());
    EXPECT_TRUE(source.Variables.empty());
}

TEST(LabelObject, HandlingIsChosenByTheNamePrefix) {
    struct Case {
        const char* name;
        ObjectKind kind;
    };
    const Case cases[] = {
        {"barcode", ObjectKind::Barcode},  {"barcode12", ObjectKind::Barcode}, {"Barcode1", ObjectKind::None},
        {"text", ObjectKind::Text},        {"tex", ObjectKind::None},          {"textbarcode", ObjectKind::Text},
        {"rectangle2", ObjectKind::Rectangle}, {"rect", ObjectKind::None},    {"line", ObjectKind::Line},
        {"image", ObjectKind::Image},      {"imag", ObjectKind::None},         {"rfid_epc", ObjectKind::Rfid},
        {"", ObjectKind::None},            {"logo", ObjectKind::None},
    };
    for (const Case& c : cases) EXPECT_EQ(mk::objectKindOf(c.name), c.kind) << c.name;
}

TEST(LabelObject, FieldTableListsEveryKeyOnceInRecordOrder) {
    std::set<std::string> keys;
    for (const mk::ObjectField& field : mk::kObjectFields) EXPECT_TRUE(keys.insert(field.key).second) << field.key;
    EXPECT_EQ(mk::kObjectFields.front().key, std::string("ObjectName"));
    EXPECT_EQ(mk::kObjectFields.back().key, std::string("RFIDUserdatareadpwd"));
    // Record order: each listed member lies behind the one listed before it.
    const LabelObject object;
    const char* previous = nullptr;
    for (const mk::ObjectField& field : mk::kObjectFields) {
        const char* address =
            std::visit([&](auto member) { return reinterpret_cast<const char*>(&(object.*member)); }, field.member);
        if (previous != nullptr) {
            EXPECT_LT(previous, address) << field.key;
        }
        previous = address;
    }
    for (const char* noKey : {"eciOption", "code39StartStop", "barcodeColor", "textGap", "textColor", "cornerRadius",
                              "Variables"}) {
        EXPECT_EQ(keys.count(noKey), 0u) << noKey;
    }

    // Kinds as the object XML reads them: 25 texts (image bytes among them),
    // 15 flags, 19 reals, 48 integers (colours included).
    int texts = 0, flags = 0, reals = 0, integers = 0;
    for (const mk::ObjectField& field : mk::kObjectFields) {
        switch (field.member.index()) {
            case 0: case 5: ++texts; break;
            case 1: ++flags; break;
            case 3: ++reals; break;
            default: ++integers; break;
        }
    }
    EXPECT_EQ(texts, 25);
    EXPECT_EQ(flags, 15);
    EXPECT_EQ(reals, 19);
    EXPECT_EQ(integers, 48);
}

TEST(LabelDoc, ObjectsKeepTheirIndexWhenTheListGrows) {
    LabelDoc doc;
    for (int i = 0; i < 100; ++i) {
        LabelObject object;
        object.ObjectName = "text" + std::to_string(i);
        EXPECT_EQ(mk::appendObject(doc, object), i);
    }
    EXPECT_EQ(mk::objectAt(&doc, 57)->ObjectName, "text57");
    EXPECT_EQ(mk::objectAt(&doc, 100), nullptr);
    EXPECT_EQ(mk::objectAt(&doc, -1), nullptr);
    EXPECT_EQ(mk::objectAt(static_cast<LabelDoc*>(nullptr), 0), nullptr);
}

}  // namespace
