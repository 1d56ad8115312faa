#include "core/base/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace velmar {
namespace {

// What each place accepts, side by side: the cases that tell the rules apart.
TEST(NumberTextTest, EachPlaceKeepsItsOwnBlanksSignAndInfinityRules) {
  struct Case {
    const char* text;
    std::optional<double> dialog, uniform, bump, shown, command_line;
  };
  const std::nullopt_t no = std::nullopt;
  const Case cases[] = {
      {"12", 12, 12, 12, 12, 12},          {" 12\t", 12, 12, 12, no, no},
      {"\r\n12\n", 12, 12, no, no, no},    {"\v12\f", no, 12, no, no, no},
      {"+12", 12, 12, 12, no, 12},         {"-12", -12, -12, -12, -12, -12},
      {"+-12", no, no, no, no, no},        {"++12", no, no, no, no, no},
      {"+", no, no, no, no, no},           {"", no, no, no, no, no},
      {"   ", no, no, no, no, no},         {"1 2", no, no, no, no, no},
      {"1E+2", 100, 100, 100, 100, 100},   {"2.5e+0", 2.5, 2.5, 2.5, 2.5, 2.5},
      {"1e-1", 0.1, 0.1, 0.1, 0.1, 0.1},   {"1e", no, no, no, no, no},
      {"0x10", no, no, no, no, no},        {"inf", no, no, no, INFINITY, no},
      {"-Inf", no, no, no, -INFINITY, no}, {"1e999", no, no, no, no, no},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseRealText(c.text, kNetworkDialogSyntax, '.'), c.dialog);
    EXPECT_EQ(ParseRealText(c.text, kUniformDialogSyntax, '.'), c.uniform);
    EXPECT_EQ(ParseRealText(c.text, kBumpDialogSyntax, '.'), c.bump);
    EXPECT_EQ(ParseRealText(c.text, kShownNumberSyntax, '.'), c.shown);
    EXPECT_EQ(ParseRealText(c.text, kCommandLineSyntax, '.'), c.command_line);
  }
  const std::optional<double> nan = ParseRealText("NaN", kShownNumberSyntax, '.');
  ASSERT_TRUE(nan.has_value());
  EXPECT_TRUE(std::isnan(*nan));
  EXPECT_FALSE(ParseRealText("nan", kNetworkDialogSyntax, '.'));
}

TEST(NumberTextTest, TheSeparatorAndThePointAreBothDecimalPoints) {
  EXPECT_EQ(ParseRealText("0,25", kNetworkDialogSyntax, ','), 0.25);
  EXPECT_EQ(ParseRealText("0.25", kNetworkDialogSyntax, ','), 0.25);
  EXPECT_EQ(ParseRealText("0,25", kNetworkDialogSyntax, '.'), std::nullopt);
  EXPECT_EQ(ParseRealText("1,5e+1", kBumpDialogSyntax, ','), 15.0);
}

TEST(NumberTextTest, FloatsAreReadToTheNearestFloatNotThroughADouble) {
  // Just above the midpoint of two floats; its nearest double is the midpoint
  // itself, which would round down to even.
  const char* text = "1.00000005960464477539062500000000001";
  EXPECT_EQ(ParseFloatText(text, kNetworkDialogSyntax, '.'), 1.00000011920928955078125f);
  EXPECT_EQ(ParseFloatText("3.5e38", kNetworkDialogSyntax, '.'), std::nullopt);
  EXPECT_EQ(ParseRealText("3.5e38", kNetworkDialogSyntax, '.'), 3.5e38);
}

TEST(NumberTextTest, IntegersTakeDigitsAndOneSignOnly) {
  struct Case {
    const char* text;
    std::optional<int64_t> dialog, command_line;
  };
  const Case cases[] = {
      {"42", 42, 42},
      {" 42 ", 42, std::nullopt},
      {"+42", 42, 42},
      {"-42", -42, -42},
      {"+-42", std::nullopt, std::nullopt},
      {"4.2", std::nullopt, std::nullopt},
      {"1e2", std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt},
      {"9223372036854775807", INT64_MAX, INT64_MAX},
      {"9223372036854775808", std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseIntegerText(c.text, kNetworkDialogSyntax), c.dialog);
    EXPECT_EQ(ParseIntegerText(c.text, kCommandLineSyntax), c.command_line);
  }
}

}  // namespace
}  // namespace velmar
