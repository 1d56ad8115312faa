#include "core/base/format_real.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

namespace velmar {
namespace {

struct Case {
  double x;
  const char* expected;
};

TEST(FormatRealTest, MatchesTheNotationRules) {
  const Case cases[] = {
      {0.75, "0.75"},
      {1e-5, "1E-5"},
      {123456789, "1.234568E8"},
      {0, "0"},
      {-0.0, "0"},
      {1, "1"},
      {10, "10"},
      {100, "100"},
      {-2.5, "-2.5"},
      {9.9999999, "10"},
      {0.00099999996, "0.001"},
      {0.001, "0.001"},
      {0.0001, "0.0001"},  // e = -3 is still fixed
      {0.00001234, "1.234E-5"},
      {0.000099999999, "0.0001"},
      {1234567, "1234567"},  // e = 7 is still fixed
      {12345678, "1.234568E7"},
      {9999999.6, "1E7"},  // the carry moves e past 7
      {1234.5678, "1234.568"},
      {-0.000123, "-0.000123"},
      {1e20, "1E20"},
      {-1.5e-20, "-1.5E-20"},
      {3.4028235e38, "3.402823E38"},
      {0.1234567, "0.1234567"},
      {0.12345675, "0.1234568"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatReal(c.x), c.expected) << "x = " << c.x;
  }
}

TEST(FormatRealTest, Float32InputsShowTheirShortDecimal) {
  EXPECT_EQ(FormatReal(0.1f), "0.1");
  EXPECT_EQ(FormatReal(0.3f), "0.3");
  EXPECT_EQ(FormatReal(-1.7f), "-1.7");
  EXPECT_EQ(FormatReal(0.0001f), "0.0001");
  EXPECT_EQ(FormatReal(FLT_MAX), "3.402823E38");
  EXPECT_EQ(FormatReal(-FLT_MAX), "-3.402823E38");
}

TEST(FormatRealTest, DenormalsUseScientificNotation) {
  EXPECT_EQ(FormatReal(std::numeric_limits<float>::denorm_min()), "1.401298E-45");
  EXPECT_EQ(FormatReal(FLT_MIN), "1.175494E-38");
  EXPECT_EQ(FormatReal(std::numeric_limits<double>::denorm_min()), "4.940656E-324");
}

TEST(FormatRealTest, UsesTheGivenDecimalSeparator) {
  EXPECT_EQ(FormatReal(0.75, ','), "0,75");
  EXPECT_EQ(FormatReal(123456789, ','), "1,234568E8");
  EXPECT_EQ(FormatReal(-1234.5, ','), "-1234,5");
  EXPECT_EQ(FormatReal(42, ','), "42");
}

TEST(FormatRealTest, NonFiniteValuesAreReadable) {
  EXPECT_EQ(FormatReal(std::numeric_limits<double>::infinity()), "Inf");
  EXPECT_EQ(FormatReal(-std::numeric_limits<double>::infinity()), "-Inf");
  EXPECT_EQ(FormatReal(std::nan("")), "NaN");
}

}  // namespace
}  // namespace velmar
