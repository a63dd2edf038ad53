#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lsf/variables_xml.h"
#include "support/lsf_writer.h"

namespace {

using mk::test::element;
using mk::test::variable;

std::string named(const char* name) { return variable(element("sharename", name) + element("enable", true)); }

std::vector<std::string> namesIn(const std::string& chunk, bool expectedResult) {
    std::vector<LabelVariable> list;
    EXPECT_EQ(mk::parseObjectVariablesXml(chunk, list), expectedResult) << chunk;
    std::vector<std::string> names;
    for (const LabelVariable& var : list) names.push_back(var.sharename);
    return names;
}

TEST(VariablesXml, VariablesComeFromTheFirstCompleteBlockInTextOrder) {
    const struct {
        const char* name;
        std::string chunk;
        bool result;
        std::vector<std::string> names;
    } cases[] = {
        {"no block", named("a"), false, {}},
        {"empty block", "<Variables></Variables>", false, {}},
        {"three variables", mk::test::variables({named("a"), named("b"), named("c")}), true, {"a", "b", "c"}},
        {"third unclosed", "<Variables>" + named("a") + named("b") + "<Variable><sharename>c</sharename></Variables>",
         true, {"a", "b"}},
        {"block never closed", "<Variables>" + named("a") + named("b"), false, {}},
        {"closing tag before the block", "</Variables><Variables>" + named("a") + "</Variables>", true, {"a"}},
        {"second block ignored", mk::test::variables({named("a")}) + mk::test::variables({named("b")}), true, {"a"}},
        {"variable outside the block ignored", named("x") + mk::test::variables({named("a")}), true, {"a"}},
        {"same name twice", mk::test::variables({named("a"), named("a")}), true, {"a", "a"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(namesIn("<LabelObject>" + c.chunk + "</LabelObject>", c.result), c.names) << c.name;
    }
}

TEST(VariablesXml, EveryFieldIsReadFromTheVariablesOwnElement) {
    const std::string chunk = mk::test::variables({
        variable(element("enable", "1") + element("type", 2) + element("id", 9) + element("sharename", "lot") +
                 element("data", "A<1>") + element("serialtype", 3) + element("serialstep", -2) +
                 element("fixedlength", 8) + element("serialchars", "0123456789") + element("datetimetype", 4) +
                 element("datetimeoffset", -30) + element("keyboardprompt", "Lot number?")),
        variable(element("sharename", "second")),
    });
    std::vector<LabelVariable> list;
    ASSERT_TRUE(mk::parseObjectVariablesXml(chunk, list));
    ASSERT_EQ(list.size(), 2u);
    const LabelVariable& first = list[0];
    EXPECT_TRUE(first.enable);
    EXPECT_EQ(first.type, 2);
    EXPECT_EQ(first.id, 9);
    EXPECT_EQ(first.sharename, "lot");
    EXPECT_EQ(first.data, "A<1>");
    EXPECT_EQ(first.serialtype, 3);
    EXPECT_EQ(first.serialstep, -2);
    EXPECT_EQ(first.fixedlength, 8);
    EXPECT_EQ(first.serialchars, "0123456789");
    EXPECT_EQ(first.datetimetype, 4);
    EXPECT_EQ(first.datetimeoffset, -30);
    EXPECT_EQ(first.keyboardprompt, "Lot number?");

    // Nothing leaks from the first variable into the second.
    const LabelVariable& second = list[1];
    EXPECT_EQ(second.sharename, "second");
    EXPECT_FALSE(second.enable);
    EXPECT_EQ(second.type, 0);
    EXPECT_EQ(second.id, 0);
    EXPECT_EQ(second.data, "");
    EXPECT_EQ(second.serialstep, 0);
    EXPECT_EQ(second.fixedlength, 0);
    EXPECT_EQ(second.keyboardprompt, "");
}

}  // namespace
