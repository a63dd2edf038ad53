#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "mklabel.h"
#include "support/handles.h"
#include "model/label_doc.h"

namespace {

using mk::test::LabelPtr;

std::string readName(const LabelDoc* doc, int index) {
    char buffer[64];
    EXPECT_GE(MkObject_GetName(doc, index, buffer, sizeof buffer), 0);
    return buffer;
}

TEST(AddObject, ReturnsConsecutiveIndices) {
    LabelPtr doc(MkLabel_Create());
    EXPECT_EQ(MkLabel_AddText(doc.get(), "text1", "Hello", 1, 2, 12, "Arial", 0, 20), 0);
    EXPECT_EQ(MkLabel_AddBarcode(doc.get(), "barcode1", "123", 1, 2, "Code128", 2, 10, 0), 1);
    EXPECT_EQ(MkLabel_AddLine(doc.get(), "line1", 1, 1, 50, 1, 0.5f), 2);
    EXPECT_EQ(MkLabel_AddRect(doc.get(), "rectangle1", 1, 1, 5, 5, 0.3f), 3);
    EXPECT_EQ(MkLabel_AddImage(doc.get(), "image1", 1, 1, 0.5f, "AAAA"), 4);
    EXPECT_EQ(MkLabel_AddRfid(doc.get(), "rfid1", "ABCD", 0, 1, 2), 5);
    EXPECT_EQ(MkLabelDoc_GetObjectCount(doc.get()), 6);
    const char* names[] = {"text1", "barcode1", "line1", "rectangle1", "image1", "rfid1"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(readName(doc.get(), i), names[i]);
        EXPECT_EQ(MkLabelDoc_GetObjectType(doc.get(), i), i) << names[i];
        EXPECT_EQ(MkObject_GetVarCount(doc.get(), i), 0) << names[i];
    }
}

TEST(AddObject, RefusesNullDocumentAndRequiredStrings) {
    LabelPtr doc(MkLabel_Create());
    LabelDoc* d = doc.get();
    struct Case {
        const char* what;
        int result;
    };
    const Case cases[] = {
        {"text: null doc", MkLabel_AddText(nullptr, "t", "x", 0, 0, 10, "Arial", 0, 10)},
        {"text: null name", MkLabel_AddText(d, nullptr, "x", 0, 0, 10, "Arial", 0, 10)},
        {"text: null text", MkLabel_AddText(d, "t", nullptr, 0, 0, 10, "Arial", 0, 10)},
        {"barcode: null doc", MkLabel_AddBarcode(nullptr, "b", "1", 0, 0, "QR", 1, 1, 0)},
        {"barcode: null name", MkLabel_AddBarcode(d, nullptr, "1", 0, 0, "QR", 1, 1, 0)},
        {"barcode: null data", MkLabel_AddBarcode(d, "b", nullptr, 0, 0, "QR", 1, 1, 0)},
        {"barcode: null kind", MkLabel_AddBarcode(d, "b", "1", 0, 0, nullptr, 1, 1, 0)},
        {"line: null doc", MkLabel_AddLine(nullptr, "l", 0, 0, 1, 1, 1)},
        {"line: null name", MkLabel_AddLine(d, nullptr, 0, 0, 1, 1, 1)},
        {"rect: null doc", MkLabel_AddRect(nullptr, "r", 0, 0, 1, 1, 1)},
        {"rect: null name", MkLabel_AddRect(d, nullptr, 0, 0, 1, 1, 1)},
        {"image: null doc", MkLabel_AddImage(nullptr, "i", 0, 0, 1, "AAAA")},
        {"image: null name", MkLabel_AddImage(d, nullptr, 0, 0, 1, "AAAA")},
        {"image: null data", MkLabel_AddImage(d, "i", 0, 0, 1, nullptr)},
        {"image: not base64", MkLabel_AddImage(d, "i", 0, 0, 1, "not base64!")},
        {"image: incomplete group", MkLabel_AddImage(d, "i", 0, 0, 1, "AAAAA")},
        {"rfid: null doc", MkLabel_AddRfid(nullptr, "r", "00", 0, 0, 0)},
        {"rfid: null name", MkLabel_AddRfid(d, nullptr, "00", 0, 0, 0)},
        {"rfid: null data", MkLabel_AddRfid(d, "r", nullptr, 0, 0, 0)},
    };
    for (const Case& c : cases) EXPECT_EQ(c.result, -1) << c.what;
    EXPECT_EQ(MkLabelDoc_GetObjectCount(d), 0);
}

TEST(AddObject, StoresNamesAndKindsAsGiven) {
    LabelPtr doc(MkLabel_Create());
    // The name is not checked against the kind, nor the kind against known names.
    EXPECT_EQ(MkLabel_AddText(doc.get(), "image9", "", 0, 0, 10, "", 0, 10), 0);
    EXPECT_EQ(MkLabel_AddBarcode(doc.get(), "", "", 0, 0, "no such kind", -1, -1, 7), 1);
    EXPECT_EQ(readName(doc.get(), 0), "image9");
    EXPECT_EQ(MkLabelDoc_GetObjectType(doc.get(), 0), 0);
    EXPECT_EQ(doc->objects[0].textfont, "");  // an empty face is not NULL
    EXPECT_EQ(doc->objects[1].barcodekind, "no such kind");
    EXPECT_EQ(doc->objects[1].barcodescale, -1.0f);
    EXPECT_EQ(doc->objects[1].textposition, 7);
}

TEST(AddText, SetsItsFieldsAndTakesNullFontAsArial) {
    LabelPtr doc(MkLabel_Create());
    ASSERT_EQ(MkLabel_AddText(doc.get(), "text1", "Hi", 3.5f, 4.5f, 14.0f, nullptr, 1, 30.0f), 0);
    const LabelObject& text = doc->objects[0];
    EXPECT_EQ(text.objectdata, "Hi");
    EXPECT_EQ(text.textfont, "Arial");
    EXPECT_EQ(text.fontsize, 14.0f);
    EXPECT_EQ(text.texttype, 1);
    EXPECT_EQ(text.textwidth, 30.0f);
    EXPECT_EQ(MkObject_GetX(doc.get(), 0), 3.5f);
    EXPECT_EQ(MkObject_GetY(doc.get(), 0), 4.5f);
    EXPECT_EQ(text.fontstyle, 0);  // untouched fields keep the defaults
    EXPECT_EQ(text.barcodescale, 1.0f);
}

TEST(AddText, CopiesTheCallersStrings) {
    LabelPtr doc(MkLabel_Create());
    char name[] = "text1";
    char text[] = "Hello";
    char font[] = "Liberation Sans";
    ASSERT_EQ(MkLabel_AddText(doc.get(), name, text, 0, 0, 10, font, 0, 10), 0);
    std::memset(name, 'x', 5);
    std::memset(text, 'x', 5);
    std::memset(font, 'x', 5);
    EXPECT_EQ(doc->objects[0].ObjectName, "text1");
    EXPECT_EQ(doc->objects[0].objectdata, "Hello");
    EXPECT_EQ(doc->objects[0].textfont, "Liberation Sans");
}

TEST(AddBarcode, SetsItsFields) {
    LabelPtr doc(MkLabel_Create());
    ASSERT_EQ(MkLabel_AddBarcode(doc.get(), "barcode1", "12345", 5, 6, "EAN13", 3, 12.5f, 2), 0);
    const LabelObject& barcode = doc->objects[0];
    EXPECT_EQ(barcode.objectdata, "12345");
    EXPECT_EQ(barcode.Xposition, 5.0f);
    EXPECT_EQ(barcode.Yposition, 6.0f);
    EXPECT_EQ(barcode.barcodekind, "EAN13");
    EXPECT_EQ(barcode.barcodescale, 3.0f);
    EXPECT_EQ(barcode.barcodeheight, 12.5f);
    EXPECT_EQ(barcode.textposition, 2);
    EXPECT_EQ(barcode.objectclass, 1);
}

TEST(AddLineAndRect, SetTheEndPointsAndKeepTheDefaultPosition) {
    LabelPtr doc(MkLabel_Create());
    ASSERT_EQ(MkLabel_AddLine(doc.get(), "line1", 1, 1, 50, 1, 0.5f), 0);
    ASSERT_EQ(MkLabel_AddRect(doc.get(), "rectangle1", 2, 3, 4, 5, 0.25f), 1);
    char data[8] = "junk";
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(MkObject_GetData(doc.get(), i, data, sizeof data), 0);
        EXPECT_STREQ(data, "");
        EXPECT_EQ(MkObject_GetX(doc.get(), i), 2.0f);
        EXPECT_EQ(MkObject_GetY(doc.get(), i), 2.0f);
    }
    const LabelObject& rect = doc->objects[1];
    EXPECT_EQ(rect.startXposition, 2.0f);
    EXPECT_EQ(rect.startYposition, 3.0f);
    EXPECT_EQ(rect.endXposition, 4.0f);
    EXPECT_EQ(rect.endYposition, 5.0f);
    EXPECT_EQ(rect.lineWidth, 0.25f);
    EXPECT_EQ(doc->objects[0].endXposition, 50.0f);
}

TEST(AddImage, StoresTheDecodedBytes) {
    LabelPtr doc(MkLabel_Create());
    ASSERT_EQ(MkLabel_AddImage(doc.get(), "image1", 7, 8, 0.75f, "Qk0=\r\n"), 0);
    const LabelObject& image = doc->objects[0];
    EXPECT_EQ(image.imagedata, (decltype(image.imagedata){'B', 'M'}));
    EXPECT_EQ(image.scale, 0.75f);
    EXPECT_EQ(image.hscale, 1.0f);
    EXPECT_EQ(image.Xposition, 7.0f);
    EXPECT_EQ(image.Yposition, 8.0f);
    EXPECT_TRUE(image.objectdata.empty());
}

TEST(AddRfid, StoresTypeBeforeBlockEnabledWithOneRetry) {
    LabelPtr doc(MkLabel_Create());
    ASSERT_EQ(MkLabel_AddRfid(doc.get(), "rfid1", "0011", 2, 3, 4), 0);
    const LabelObject& rfid = doc->objects[0];
    EXPECT_EQ(rfid.objectdata, "0011");
    EXPECT_EQ(rfid.RFIDEncodertype, 2);
    EXPECT_EQ(rfid.RFIDDatatype, 3);
    EXPECT_EQ(rfid.RFIDDatablock, 4);
    EXPECT_TRUE(rfid.enable);
    EXPECT_EQ(rfid.RFIDerrortimes, 1);
    EXPECT_EQ(rfid.objectclass, 5);
}

// A document holding one object of each kind, for the setters and getters.
LabelPtr documentWithObjects() {
    LabelPtr doc(MkLabel_Create());
    MkLabel_AddText(doc.get(), "text1", "Hello", 1, 2, 12, "Arial", 0, 20);
    MkLabel_AddBarcode(doc.get(), "barcode1", "123", 3, 4, "Code128", 2, 10, 0);
    MkLabel_AddRect(doc.get(), "rectangle1", 1, 1, 5, 5, 0.3f);
    return doc;
}

TEST(StyleSetters, StoreIntoTheObjectWhateverItsKind) {
    for (int index = 0; index < 3; ++index) {
        LabelPtr doc = documentWithObjects();
        EXPECT_EQ(MkLabel_SetFontStyle(doc.get(), index, 3), 0);
        EXPECT_EQ(MkLabel_SetTextAlign(doc.get(), index, 2), 0);
        EXPECT_EQ(MkLabel_SetLineDash(doc.get(), index, 4), 0);
        EXPECT_EQ(MkLabel_SetRectShape(doc.get(), index, 2), 0);
        EXPECT_EQ(MkLabel_SetRectRadius(doc.get(), index, 1.5f), 0);
        EXPECT_EQ(MkLabel_SetRectFill(doc.get(), index, 5), 0);
        EXPECT_EQ(MkLabel_SetImageScale(doc.get(), index, 0.5f, 0.25f), 0);
        EXPECT_EQ(MkLabel_SetBarcodeText(doc.get(), index, "Mono", 8.0f, 0.5f, 1), 0);
        EXPECT_EQ(MkLabel_SetRfidHf(doc.get(), index, 4, 20), 0);
        const LabelObject& object = doc->objects[static_cast<size_t>(index)];
        EXPECT_EQ(object.fontstyle, 3);
        EXPECT_EQ(object.texttextalign, 2);
        EXPECT_EQ(object.textalign, 1);  // the box alignment and the barcode text alignment are separate
        EXPECT_EQ(object.lineDashStyle, 4);
        EXPECT_EQ(object.rectangleclass, 2);
        EXPECT_EQ(object.cornerRadius, 1.5f);
        EXPECT_TRUE(object.fillRectangle);
        EXPECT_EQ(object.scale, 1.0f);
        EXPECT_EQ(object.hscale, 0.5f);
        EXPECT_EQ(object.vscale, 0.25f);
        EXPECT_EQ(object.textfont, "Mono");
        EXPECT_EQ(object.fontsize, 8.0f);
        EXPECT_EQ(object.textGap, 0.5f);
        EXPECT_EQ(object.HFstartblock, 4);
        EXPECT_EQ(object.HFModulepower, 20);

        // The neighbours are untouched.
        for (size_t other = 0; other < 3; ++other) {
            if (other != static_cast<size_t>(index)) {
                EXPECT_EQ(doc->objects[other].fontstyle, 0);
            }
        }
    }
}

TEST(StyleSetters, StoreValuesAsGiven) {
    LabelPtr doc = documentWithObjects();
    EXPECT_EQ(MkLabel_SetRectFill(doc.get(), 2, 0), 0);
    EXPECT_FALSE(doc->objects[2].fillRectangle);
    EXPECT_EQ(MkLabel_SetRectFill(doc.get(), 2, -1), 0);
    EXPECT_TRUE(doc->objects[2].fillRectangle);
    EXPECT_EQ(MkLabel_SetFontStyle(doc.get(), 0, -7), 0);
    EXPECT_EQ(doc->objects[0].fontstyle, -7);
    EXPECT_EQ(MkLabel_SetRectRadius(doc.get(), 2, -2.5f), 0);
    EXPECT_EQ(doc->objects[2].cornerRadius, -2.5f);
}

TEST(SetBarcodeText, NullFontKeepsTheFace) {
    LabelPtr doc = documentWithObjects();
    // The text object was added with "Arial", the barcode keeps a new object's face.
    const char* faces[] = {"Arial", "\xE9\xBB\x91\xE4\xBD\x93"};
    for (int index : {0, 1}) {
        EXPECT_EQ(MkLabel_SetBarcodeText(doc.get(), index, nullptr, 6.0f, 1.0f, 0), 0);
        const LabelObject& object = doc->objects[static_cast<size_t>(index)];
        EXPECT_EQ(object.textfont, faces[index]);
        EXPECT_EQ(object.fontsize, 6.0f);
        EXPECT_EQ(object.textGap, 1.0f);
        EXPECT_EQ(object.textalign, 0);
    }
}

TEST(StyleSetters, RefuseNullDocumentAndBadIndices) {
    LabelPtr doc = documentWithObjects();
    using Setter = int (*)(LabelDoc*, int);
    const Setter setters[] = {
        [](LabelDoc* d, int i) { return MkLabel_SetFontStyle(d, i, 1); },
        [](LabelDoc* d, int i) { return MkLabel_SetTextAlign(d, i, 1); },
        [](LabelDoc* d, int i) { return MkLabel_SetLineDash(d, i, 1); },
        [](LabelDoc* d, int i) { return MkLabel_SetRectShape(d, i, 1); },
        [](LabelDoc* d, int i) { return MkLabel_SetRectRadius(d, i, 1); },
        [](LabelDoc* d, int i) { return MkLabel_SetRectFill(d, i, 1); },
        [](LabelDoc* d, int i) { return MkLabel_SetImageScale(d, i, 2, 2); },
        [](LabelDoc* d, int i) { return MkLabel_SetBarcodeText(d, i, "x", 1, 1, 1); },
        [](LabelDoc* d, int i) { return MkLabel_SetRfidHf(d, i, 1, 1); },
    };
    for (size_t s = 0; s < std::size(setters); ++s) {
        EXPECT_EQ(setters[s](nullptr, 0), -1) << "setter " << s;
        EXPECT_EQ(setters[s](doc.get(), -1), -1) << "setter " << s;
        EXPECT_EQ(setters[s](doc.get(), 3), -1) << "setter " << s;
        EXPECT_EQ(setters[s](doc.get(), INT32_MIN), -1) << "setter " << s;
    }
    LabelPtr fresh = documentWithObjects();
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(doc->objects[i].fontstyle, fresh->objects[i].fontstyle);
        EXPECT_EQ(doc->objects[i].textfont, fresh->objects[i].textfont);
        EXPECT_EQ(doc->objects[i].hscale, fresh->objects[i].hscale);
    }
}

TEST(StringGetters, CopyWhatFitsAndReturnTheCount) {
    LabelPtr doc = documentWithObjects();
    doc->objects[1].codedata = "kept";
    doc->objects[1].datachild_IDs = "1,2";
    using Getter = int (*)(const LabelDoc*, int, char*, int);
    struct Case {
        const char* what;
        Getter getter;
        int index;
        const char* expected;
    };
    const Case cases[] = {
        {"name", MkObject_GetName, 1, "barcode1"},        {"data", MkObject_GetData, 0, "Hello"},
        {"kind", MkObject_GetBarcodeKind, 1, "Code128"},  {"code data", MkObject_GetCodeData, 1, "kept"},
        {"ids", MkObject_GetDataChildIDs, 1, "1,2"},      {"empty kind", MkObject_GetBarcodeKind, 0, ""},
    };
    for (const Case& c : cases) {
        char buffer[32];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(c.getter(doc.get(), c.index, buffer, sizeof buffer), static_cast<int>(std::strlen(c.expected)))
            << c.what;
        EXPECT_STREQ(buffer, c.expected) << c.what;

        // Size 1: only the NUL.
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(c.getter(doc.get(), c.index, buffer, 1), 0) << c.what;
        EXPECT_EQ(buffer[0], '\0') << c.what;
        EXPECT_EQ(buffer[1], 'x') << c.what;
    }
}

TEST(StringGetters, CutLongTextsAtTheBufferSize) {
    LabelPtr doc = documentWithObjects();  // "barcode1": eight bytes
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(MkObject_GetName(doc.get(), 1, buffer, 4), 3);
    EXPECT_STREQ(buffer, "bar");
    EXPECT_EQ(buffer[4], 'x');
    EXPECT_EQ(MkObject_GetName(doc.get(), 1, buffer, 8), 7);
    EXPECT_STREQ(buffer, "barcode");
}

TEST(StringGetters, CheckBufferBeforeIndex) {
    LabelPtr doc = documentWithObjects();
    const auto getters = {MkObject_GetName, MkObject_GetData, MkObject_GetBarcodeKind, MkObject_GetCodeData,
                          MkObject_GetDataChildIDs};
    for (auto getter : getters) {
        char buffer[4] = {'x', 'x', 'x', 'x'};
        EXPECT_EQ(getter(nullptr, 0, buffer, 4), -1);
        EXPECT_EQ(getter(doc.get(), 0, nullptr, 4), -1);
        EXPECT_EQ(getter(doc.get(), 0, buffer, 0), -1);
        EXPECT_EQ(getter(doc.get(), 0, buffer, -5), -1);
        EXPECT_EQ(getter(doc.get(), 99, buffer, 0), -1);  // size before index
        EXPECT_EQ(getter(nullptr, 99, buffer, 4), -1);
        EXPECT_EQ(buffer[0], 'x');  // refused calls leave the buffer alone
        EXPECT_EQ(getter(doc.get(), 3, buffer, 4), -2);
        EXPECT_EQ(getter(doc.get(), -1, buffer, 4), -2);
        EXPECT_EQ(getter(doc.get(), INT32_MIN, buffer, 4), -2);
    }
}

TEST(ScalarGetters, FailOnNullDocumentAndBadIndices) {
    LabelPtr doc = documentWithObjects();
    for (int index : {-1, 3, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(MkObject_GetX(doc.get(), index), -1.0f) << index;
        EXPECT_EQ(MkObject_GetY(doc.get(), index), -1.0f) << index;
        EXPECT_EQ(MkObject_GetVarCount(doc.get(), index), -1) << index;
        EXPECT_EQ(MkLabelDoc_GetObjectType(doc.get(), index), -1) << index;
    }
    EXPECT_EQ(MkObject_GetX(nullptr, 0), -1.0f);
    EXPECT_EQ(MkObject_GetY(nullptr, 0), -1.0f);
    EXPECT_EQ(MkObject_GetVarCount(nullptr, 0), -1);
    EXPECT_EQ(MkLabelDoc_GetObjectType(nullptr, 0), -1);
    EXPECT_EQ(MkObject_GetX(doc.get(), 2), 2.0f);  // the last valid index
}

TEST(ScalarGetters, ReportTheStoredTypeNotTheName) {
    LabelPtr doc(MkLabel_Create());
    ASSERT_EQ(MkLabel_AddText(doc.get(), "image1", "x", 0, 0, 10, nullptr, 0, 10), 0);
    doc->objects[0].Variables.resize(2);
    EXPECT_EQ(MkLabelDoc_GetObjectType(doc.get(), 0), 0);
    EXPECT_EQ(MkObject_GetVarCount(doc.get(), 0), 2);
}

}  // namespace
