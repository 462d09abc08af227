// The decimal rounding used by every number the window shows: half up on the first
// dropped digit of an 18-digit expansion, which differs from printf's
// round-half-even on the binary value.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "DecimalText.h"

namespace {

// The significant digits without trailing zeros.
std::string Significant(const TDecimal& d) {
  std::string s = d.digits;
  while (s.size() > 1 && s.back() == '0') s.pop_back();
  return s;
}

TEST(DecimalText, DigitStringsAreTheCorrectlyRoundedExpansions) {
  TDecimal d = DecimalSignificant(0.1, 18);
  EXPECT_EQ(d.digits, "100000000000000006");  // 0.1000000000000000055511...
  EXPECT_EQ(d.exponent, 0);
  EXPECT_FALSE(d.negative);
  d = DecimalFixed(-0.125, 17);
  EXPECT_EQ(Significant(d), "125");
  EXPECT_EQ(d.exponent, 0);
  EXPECT_TRUE(d.negative);
  d = DecimalSignificant(0.0, 5);
  EXPECT_TRUE(IsZero(d));
}

TEST(DecimalText, HalfUpOnTheFirstDroppedDigit) {
  EXPECT_EQ(FixedHalfUp(0.125, 2), "0.13");   // printf: 0.12
  EXPECT_EQ(FixedHalfUp(1.25, 1), "1.3");     // printf: 1.2
  EXPECT_EQ(FixedHalfUp(0.05, 1), "0.1");
  EXPECT_EQ(FixedHalfUp(9.96, 1), "10.0");    // carry into a new digit
  EXPECT_EQ(FixedHalfUp(999.95, 1), "1000.0");  // 999.950000000000045...
  EXPECT_EQ(FixedHalfUp(0.004, 1), "0.0");
  EXPECT_EQ(FixedHalfUp(-0.04, 1), "-0.0");   // the sign stays, as printf's does
  EXPECT_EQ(FixedHalfUp(-5.678, 1), "-5.7");
  EXPECT_EQ(FixedHalfUp(0.0, 1), "0.0");
  EXPECT_EQ(FixedHalfUp(123456789.0, 0), "123456789");
}

TEST(DecimalText, RoundingDigitsAtAndBeforeTheFirstDigit) {
  TDecimal d = DecimalSignificant(0.06, 18);  // 0.06: first digit is the 2nd decimal
  RoundHalfUpDecimals(d, 1);                  // keep 0 digits: 6 >= 5 gives 0.1
  EXPECT_EQ(FixedNotation(d, 1), "0.1");
  d = DecimalSignificant(0.004, 18);
  RoundHalfUpDecimals(d, 1);  // keep -1 digits: zero
  EXPECT_TRUE(IsZero(d));
  d = DecimalSignificant(99999.5, 18);
  RoundHalfUpSignificant(d, 4);
  EXPECT_EQ(Significant(d), "1");
  EXPECT_EQ(d.exponent, 6);
}

TEST(DecimalText, FixedFormatWithPrecisionAndDecimals) {
  EXPECT_EQ(FormatFloatFixed(123.456, 4, 4), "123.5000");
  EXPECT_EQ(FormatFloatFixed(0.04123456, 4, 4), "0.0412");
  EXPECT_EQ(FormatFloatFixed(-0.0019, 4, 4), "-0.0019");
  EXPECT_EQ(FormatFloatFixed(91.25, 4, 4), "91.2500");
  EXPECT_EQ(FormatFloatFixed(0.0, 4, 4), "0.0000");
  EXPECT_EQ(FormatFloatFixed(-0.00001, 4, 4), "0.0000");  // no sign on a shown zero
  // Rounded once, at the coarser of the two places: 0.000049996 is 0.0000, not the
  // 0.0001 that rounding to 4 significant digits first would give.
  EXPECT_EQ(FormatFloatFixed(0.000049996, 4, 4), "0.0000");
  EXPECT_EQ(FormatFloatFixed(9999.4, 4, 4), "9999.0000");
  EXPECT_EQ(FormatFloatFixed(9999.5, 4, 4), "1.000E+0004");
  EXPECT_EQ(FormatFloatFixed(-123456.0, 4, 4), "-1.235E+0005");
  EXPECT_EQ(FormatFloatFixed(1e300, 4, 1), "1.000E+0300");
  EXPECT_EQ(FormatFloatFixed(std::numeric_limits<double>::quiet_NaN(), 4, 4), "Nan");
  EXPECT_EQ(FormatFloatFixed(-INFINITY, 4, 4), "-Inf");
  EXPECT_EQ(FormatFloatFixed(3.0, 4, 1), "3.0");
  EXPECT_EQ(FormatFloatFixed(1234.56, 4, 1), "1235.0");
}

}  // namespace
