#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "lsf/printer_params_xml.h"
#include "support/lsf_writer.h"

namespace {

using mk::test::element;

TEST(PrinterParamsXml, EmptyTextIsRefusedAndTouchesNothing) {
    LabelDoc doc;
    doc.printerDPI = 600;
    doc.labelrowgap = 9.0f;
    EXPECT_FALSE(mk::parsePrinterParamsXml("", doc));
    EXPECT_EQ(doc.printerDPI, 600);
    EXPECT_EQ(doc.labelrowgap, 9.0f);
}

TEST(PrinterParamsXml, MissingKeysAssignZeroOrTheirReplacement) {
    LabelDoc doc;
    doc.printSpeed = 7;
    doc.pageDirection = 2;
    doc.leftoffset = 3.0f;
    doc.labelshape = 4;
    ASSERT_TRUE(mk::parsePrinterParamsXml("<PrinterParams></PrinterParams>", doc));
    EXPECT_EQ(doc.printerDPI, 203);
    EXPECT_EQ(doc.printSpeed, 7);     // kept
    EXPECT_EQ(doc.pageDirection, 2);  // kept
    EXPECT_EQ(doc.printDarkness, 0);
    EXPECT_FALSE(doc.labelhavegap);
    EXPECT_EQ(doc.labelwidth, 104.0f);
    EXPECT_EQ(doc.labelheight, 75.0f);
    EXPECT_EQ(doc.labelcolumngap, 0.0f);
    EXPECT_EQ(doc.labelrowgap, 0.0f);
    EXPECT_EQ(doc.labelcolumnnum, 1);
    EXPECT_EQ(doc.labelrownum, 1);
    EXPECT_EQ(doc.leftoffset, 0.0f);
    EXPECT_EQ(doc.topoffset, 0.0f);
    EXPECT_EQ(doc.pageleftedges, 0.0f);
    EXPECT_EQ(doc.pagerightedges, 0.0f);
    EXPECT_EQ(doc.pagestartlocation, 0);
    EXPECT_EQ(doc.pagelabelorder, 0);
    EXPECT_EQ(doc.labelshape, 0);
}

struct RuleCase {
    std::string xml;
    int LabelDoc::*intField;
    float LabelDoc::*floatField;
    float expected;  // the field after reading, from a new document
};

TEST(PrinterParamsXml, ReplacementRulesPerKey) {
    const RuleCase cases[] = {
        {element("printerDPI", 0), &LabelDoc::printerDPI, nullptr, 203},
        {element("printerDPI", -5), &LabelDoc::printerDPI, nullptr, 203},
        {element("printerDPI", 300), &LabelDoc::printerDPI, nullptr, 300},
        {element("printerDPI", 100000), &LabelDoc::printerDPI, nullptr, 100000},
        {element("printSpeed", 0), &LabelDoc::printSpeed, nullptr, 4},
        {element("printSpeed", -2), &LabelDoc::printSpeed, nullptr, 4},
        {element("printSpeed", 6), &LabelDoc::printSpeed, nullptr, 6},
        {element("printSpeed", 99), &LabelDoc::printSpeed, nullptr, 99},
        {element("printDarkness", -1), &LabelDoc::printDarkness, nullptr, 10},
        {element("printDarkness", 0), &LabelDoc::printDarkness, nullptr, 0},
        {element("printDarkness", 15), &LabelDoc::printDarkness, nullptr, 15},
        {element("pageDirection", 0), &LabelDoc::pageDirection, nullptr, 1},
        {element("pageDirection", 2), &LabelDoc::pageDirection, nullptr, 2},
        {element("labelcolumnnum", 0), &LabelDoc::labelcolumnnum, nullptr, 1},
        {element("labelcolumnnum", 3), &LabelDoc::labelcolumnnum, nullptr, 3},
        {element("labelrownum", -4), &LabelDoc::labelrownum, nullptr, 1},
        {element("pagestartlocation", -3), &LabelDoc::pagestartlocation, nullptr, -3},
        {element("labelwidth", "mm"), nullptr, &LabelDoc::labelwidth, 104.0f},
        {element("labelwidth", 0.0f), nullptr, &LabelDoc::labelwidth, 104.0f},
        {element("labelwidth", 50.5f), nullptr, &LabelDoc::labelwidth, 50.5f},
        {element("labelheight", -3), nullptr, &LabelDoc::labelheight, 75.0f},
        {element("labelheight", 30), nullptr, &LabelDoc::labelheight, 30.0f},
        {element("labelrowgap", -1.5f), nullptr, &LabelDoc::labelrowgap, -1.5f},
        {element("leftoffset", "2.25"), nullptr, &LabelDoc::leftoffset, 2.25f},
    };
    for (const RuleCase& c : cases) {
        LabelDoc doc;
        ASSERT_TRUE(mk::parsePrinterParamsXml(c.xml, doc)) << c.xml;
        const float actual = c.intField ? static_cast<float>(doc.*c.intField) : doc.*c.floatField;
        EXPECT_EQ(actual, c.expected) << c.xml;
    }
}

TEST(PrinterParamsXml, NotANumberWidthStaysAsRead) {
    LabelDoc doc;
    ASSERT_TRUE(mk::parsePrinterParamsXml(element("labelwidth", "nan"), doc));
    EXPECT_TRUE(std::isnan(doc.labelwidth));
}

TEST(PrinterParamsXml, GapFlagReadsTrueOrOne) {
    const std::pair<const char*, bool> cases[] = {{"TRUE", true}, {"1", true}, {"yes", false}, {"false", false}};
    for (const auto& [text, expected] : cases) {
        LabelDoc doc;
        ASSERT_TRUE(mk::parsePrinterParamsXml(element("labelhavegap", text), doc));
        EXPECT_EQ(doc.labelhavegap, expected) << text;
    }
}

TEST(PrinterParamsXml, WholeRecordReadsBack) {
    LabelDoc written;
    written.printerDPI = 300;
    written.printSpeed = 5;
    written.printDarkness = 12;
    written.pageDirection = 2;
    written.labelhavegap = false;
    written.labelwidth = 60.5f;
    written.labelheight = 40.25f;
    written.labelcolumngap = 1.5f;
    written.labelrowgap = 3.0f;
    written.labelcolumnnum = 2;
    written.labelrownum = 3;
    written.leftoffset = -1.0f;
    written.topoffset = 0.5f;
    written.pageleftedges = 1.25f;
    written.pagerightedges = 2.75f;
    written.pagestartlocation = 1;
    written.pagelabelorder = 2;
    written.labelshape = 1;
    LabelDoc read;
    ASSERT_TRUE(mk::parsePrinterParamsXml(mk::test::paramsXmlOf(written), read));
    for (const mk::PrinterParamField& param : mk::kPrinterParamFields) {
        std::visit([&](auto member) { EXPECT_EQ(read.*member, written.*member) << param.key; }, param.member);
    }
}

}  // namespace
