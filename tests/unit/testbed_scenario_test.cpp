// The scenario format of the stand-ins.

#include <gtest/gtest.h>

#include "scenario.h"

namespace zandrel::testbed {
namespace {

const std::vector<Verb> kVerbs = {{"start", 0, 1, "[MODE]"}, {"call", 1, SIZE_MAX, "MEMBER [ARGUMENT...]"},
                                  {"wait", 1, 1, "MILLISECONDS"}};

TEST(Scenario, StepsWordsAndQuotedText) {
  auto steps = ParseScenario("# comment\n\nstart\r\ncall  Name\ncall Execute \"open file\" 12 \"say \\\"hi\\\"\" # tail\n", kVerbs);
  ASSERT_TRUE(steps.ok()) << steps.error().description;
  ASSERT_EQ(steps->size(), 3u);
  EXPECT_EQ((*steps)[0].line, 3);
  EXPECT_EQ((*steps)[1].verb, "call");
  EXPECT_EQ((*steps)[1].args[0].text, "Name");
  const Step& last = (*steps)[2];
  EXPECT_EQ(last.line, 5);
  ASSERT_EQ(last.args.size(), 4u);
  EXPECT_EQ(last.args[1].text, "open file");
  EXPECT_TRUE(last.args[1].quoted);
  EXPECT_EQ(last.args[3].text, "say \"hi\"");
}

TEST(Scenario, ABadStepNamesItsLine) {
  auto unknown = ParseScenario("start\n\nfly away\n", kVerbs);
  ASSERT_FALSE(unknown.ok());
  EXPECT_EQ(unknown.error().description, "line 3: unknown step 'fly'");
  auto arity = ParseScenario("wait\n", kVerbs);
  ASSERT_FALSE(arity.ok());
  EXPECT_EQ(arity.error().description, "line 1: 'wait' takes MILLISECONDS");
  auto quote = ParseScenario("call \"Name\ncall x", kVerbs);
  ASSERT_FALSE(quote.ok());
  EXPECT_EQ(quote.error().description, "line 1: unclosed quote");
}

TEST(Scenario, ArgumentValues) {
  using automation::VarType;
  EXPECT_EQ(ArgumentValue({"12", false}).AsLong(), 12);
  EXPECT_EQ(ArgumentValue({"-3", false}).AsLong(), -3);
  EXPECT_EQ(ArgumentValue({"12", true}).AsString(), "12");
  EXPECT_DOUBLE_EQ(ArgumentValue({"2.5", false}).AsDouble(), 2.5);
  EXPECT_TRUE(ArgumentValue({"true", false}).AsBoolean());
  EXPECT_TRUE(ArgumentValue({"empty", false}).IsEmpty());
  EXPECT_EQ(ArgumentValue({"nothing", false}).type(), VarType::Object);
  EXPECT_EQ(ArgumentValue({"99999999999", false}).AsString(), "99999999999");
  EXPECT_EQ(ArgumentValue({"word", false}).AsString(), "word");
}

}  // namespace
}  // namespace zandrel::testbed
