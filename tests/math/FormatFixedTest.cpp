// The report's number fields: the value's 17-decimal (below 10) or 18-digit
// decimal string, cut half up on the first dropped digit, padded to the width.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "FormatFixed.h"

namespace {
std::string Pad(int blanks, const std::string& s) { return std::string(blanks, ' ') + s; }
}  // namespace

TEST(FormatFixed, HalfUpOnTheDecimalStringNotOnTheBinaryValue) {
  // 0.125 is exact: half up gives 0.13 (printf's exact rounding gives 0.12).
  EXPECT_EQ(FormatFixed(0.125, 0, 2), "0.13");
  // 0.045 is 0.04499999999999999833 in binary; its 17-decimal string is
  // 0.04500000000000000, so half up gives 0.05.
  EXPECT_EQ(FormatFixed(0.045, 0, 2), "0.05");
  // The double just below 0.005 (0.004999999999999999237) has the 17-decimal
  // string 0.00500000000000000: 0.01.
  EXPECT_EQ(FormatFixed(std::nextafter(0.005, 0.0), 0, 2), "0.01");
  // The double just below 0.125 is 0.12499999999999999 to 17 decimals: 0.12.
  EXPECT_EQ(FormatFixed(std::nextafter(0.125, 0.0), 0, 2), "0.12");
  // 2.675 and 9.995 are 2.67499999999999982 and 9.99499999999999922.
  EXPECT_EQ(FormatFixed(2.675, 0, 2), "2.67");
  EXPECT_EQ(FormatFixed(9.995, 0, 2), "9.99");
}

TEST(FormatFixed, CarriesThroughNines) {
  EXPECT_EQ(FormatFixed(9.999, 0, 2), "10.00");
  EXPECT_EQ(FormatFixed(0.99999, 0, 2), "1.00");
  EXPECT_EQ(FormatFixed(-99.9996, 0, 3), "-100.000");
}

TEST(FormatFixed, MinusSignAlsoWhenEveryShownDigitIsZero) {
  EXPECT_EQ(FormatFixed(-0.004, 17, 2), Pad(12, "-0.00"));
  EXPECT_EQ(FormatFixed(-1e-300, 17, 8), Pad(6, "-0.00000000"));
  EXPECT_EQ(FormatFixed(0.004, 17, 2), Pad(13, "0.00"));
  // Negative zero is not negative.
  EXPECT_EQ(FormatFixed(-0.0, 17, 8), Pad(7, "0.00000000"));
}

TEST(FormatFixed, ReportFields) {
  EXPECT_EQ(FormatFixed(-12.5, 17, 8), Pad(5, "-12.50000000"));
  EXPECT_EQ(FormatFixed(0.00125, 17, 8), Pad(7, "0.00125000"));
  EXPECT_EQ(FormatFixed(-50, 17, 2), Pad(11, "-50.00"));
  EXPECT_EQ(FormatFixed(1, 17, 4), Pad(11, "1.0000"));
  // Above 10 the string has 18 significant digits: 123456789012.345673 and
  // -98765.4321000000054.
  EXPECT_EQ(FormatFixed(123456789012.345678, 17, 4), "123456789012.3457");
  EXPECT_EQ(FormatFixed(123456789012.345678, 0, 8), "123456789012.34567300");
  EXPECT_EQ(FormatFixed(-98765.4321, 17, 8), "  -98765.43210000");
  // Below 1 there are 17 decimals only: 1e-8 to 8 decimals, 1e-18 to zero.
  EXPECT_EQ(FormatFixed(1e-8, 17, 8), Pad(7, "0.00000001"));
  EXPECT_EQ(FormatFixed(4e-18, 0, 20), "0.00000000000000000000");
}

TEST(FormatFixed, LongerTextIsNeverCut) {
  EXPECT_EQ(FormatFixed(-1234567890123.25, 5, 2), "-1234567890123.25");
  EXPECT_EQ(FormatFixed(3.14159, 2, 3), "3.142");
}

TEST(FormatFixed, NotANumberAndInfinities) {
  EXPECT_EQ(FormatFixed(std::numeric_limits<double>::quiet_NaN(), 17, 8), Pad(14, "Nan"));
  EXPECT_EQ(FormatFixed(std::numeric_limits<double>::infinity(), 17, 2), Pad(13, "+Inf"));
  EXPECT_EQ(FormatFixed(-std::numeric_limits<double>::infinity(), 17, 4), Pad(13, "-Inf"));
  EXPECT_EQ(FormatFixed(std::numeric_limits<double>::quiet_NaN(), 2, 8), "Nan");
}

TEST(FormatFixed, ScientificFromOneE36) {
  // 1e36 is 1.00000000000000004e36; width 17 leaves 9 significant digits.
  EXPECT_EQ(FormatFixed(1e36, 17, 8), " 1.00000000E+0036");
  EXPECT_EQ(FormatFixed(-2.5e300, 17, 2), "-2.50000000E+0300");
  EXPECT_EQ(FormatFixed(1.797693134862315E308, 17, 4), " 1.79769313E+0308");
  // At least 2 and at most 18 significant digits; padded to the width.
  EXPECT_EQ(FormatFixed(1.25e40, 9, 2), " 1.3E+0040");
  EXPECT_EQ(FormatFixed(1.25e40, 10, 2), " 1.3E+0040");
  EXPECT_EQ(FormatFixed(1e36, 40, 2), Pad(14, " 1.00000000000000004E+0036"));
  // Just below 1E36 the fixed form is kept (9.99999999999999895e35).
  EXPECT_EQ(FormatFixed(std::nextafter(1e36, 0.0), 0, 2),
            "999999999999999895000000000000000000.00");
}

// ---- The fast path against the digit strings of the C library -----------------

#include <cstdint>
#include <cstring>
#include <random>

#include "DecimalText.h"

namespace {

// The rule spelled out on the library's digit strings.
std::string Reference(double value, int width, int decimals) {
  TDecimal d = std::fabs(value) < 10 ? DecimalFixed(value, 17) : DecimalSignificant(value, 18);
  RoundHalfUpDecimals(d, decimals);
  d.negative = value < 0;
  std::string text = FixedNotation(d, decimals);
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), ' ');
  return text;
}

double FromBits(uint64_t bits) {
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

}  // namespace

TEST(FormatFixed, AgreesWithTheLibraryDigitStrings) {
  std::mt19937_64 rng(4711);
  std::uniform_real_distribution<double> exponent(-20, 17);
  int checked = 0;
  auto check = [&](double v) {
    for (int decimals : {0, 2, 4, 8, 16, 17, 20}) {
      ASSERT_EQ(FormatFixed(v, 17, decimals), Reference(v, 17, decimals))
          << "value " << v << " decimals " << decimals;
      ++checked;
    }
  };
  // Magnitudes spread over the fast path's range, both signs.
  for (int i = 0; i < 20000; ++i) {
    const double v = std::pow(10.0, exponent(rng)) * (rng() % 2 ? 1 : -1);
    check(v);
    check(std::nextafter(v, 0.0));
  }
  // Random bit patterns of small exponents (subnormals included).
  for (int i = 0; i < 2000; ++i) check(FromBits(rng() >> 2));
  // Exact ties at the 17th decimal or the 18th significant digit: odd multiples
  // of 2^-18 below 10 and of 2^-k above (the conversion rounds them to even).
  for (uint64_t m = 1; m < 4000; m += 2) {
    check(std::ldexp(static_cast<double>(m), -18));
    check(std::ldexp(static_cast<double>(m) * 1048575, -18));
    check(std::ldexp(static_cast<double>(m | (uint64_t{1} << 52)), -52 + static_cast<int>(m % 60)));
  }
  // Decade boundaries and values that round up into the next decade.
  for (int e = -18; e <= 17; ++e) {
    const double p = std::pow(10.0, e);
    for (double v : {p, std::nextafter(p, 0.0), std::nextafter(p, 1e300), 9.5 * p, 9.9999999999999 * p})
      check(v);
  }
  check(0.0);
  check(-0.0);
  check(1e17);
  check(std::nextafter(1e17, 0.0));
  EXPECT_GT(checked, 100000);
}

// As a column: a text shorter than the width is FormatFixed's; one that fills or
// overflows it gets one blank before it, so that it never joins what stands before.
TEST(FormatFixed, ColumnsNeverRunTogether) {
  struct Case {
    double value;
    int width, decimals;
    const char* text;
  };
  const Case cases[] = {
      {-12.5, 17, 8, "     -12.50000000"},            // fits: unchanged
      {12345678.25, 17, 8, " 12345678.25000000"},      // exactly as wide: set off
      {-12345678.25, 17, 8, " -12345678.25000000"},    // overflows by one
      {6144284328516368.0, 17, 2, " 6144284328516368.00"},
      {12345.7, 9, 2, " 12345.70"},                   // one short of the width
      {1234567.7, 9, 2, " 1234567.70"},
      {2.5e40, 17, 8, " 2.50000000E+0040"},           // its sign place is the blank
      {-2.5e40, 17, 8, " -2.50000000E+0040"},
      {std::numeric_limits<double>::quiet_NaN(), 2, 0, " Nan"},
      {-std::numeric_limits<double>::infinity(), 4, 0, " -Inf"},
      {7, 0, 0, " 7"},
  };
  for (const Case& c : cases) {
    std::string line = "b0";
    AppendFormatColumn(line, c.value, c.width, c.decimals);
    EXPECT_EQ(line, std::string("b0") + c.text) << c.value << " width " << c.width;
    // What follows the label reads back as the field FormatFixed writes.
    const std::string plain = FormatFixed(c.value, c.width, c.decimals);
    EXPECT_EQ(line.substr(line.size() - plain.size()), plain);
    EXPECT_EQ(line[2], ' ');
  }
}
