// Label, mapping, distance and formula texts of the main window.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "DecimalText.h"
#include "reg/TrackView.h"

namespace {

TEST(TrackerLabel, FieldsOfSevenWithOneDecimal) {
  TTrackerLabel l = TrackerLabel({1234, -5678, 0});
  EXPECT_EQ(l.text, " x    1.2 y   -5.7 z    0.0 d    5.8");
  EXPECT_FALSE(l.red);
  EXPECT_EQ(TrackerLabel({0, 0, 0}).text, " x    0.0 y    0.0 z    0.0 d    0.0");
  // Wider values are not cut.
  EXPECT_EQ(TrackerLabel({INT32_MIN, 0, 0}).text, " x-2147483.6 y    0.0 z    0.0 d2147483.6");
}

TEST(TrackerLabel, RedOnlyAboveThirty) {
  TTrackerLabel at = TrackerLabel({30000, 0, 0});
  EXPECT_EQ(at.text, " x   30.0 y    0.0 z    0.0 d   30.0");
  EXPECT_FALSE(at.red);
  TTrackerLabel above = TrackerLabel({30001, 0, 0});
  EXPECT_EQ(above.text, " x   30.0 y    0.0 z    0.0 d   30.0");
  EXPECT_TRUE(above.red);
  EXPECT_TRUE(TrackerLabel({0, -21214, 21214}).red);  // d = 30.0009...
  EXPECT_FALSE(TrackerLabel({0, -21213, 21213}).red);  // d = 29.9995...
}

// The label's integer shortcut gives the text of the general conversion of the
// doubles: every coordinate of a wide range (with its ties, where the binary value
// decides: 2.65 is 2.6 but 1.35 is 1.4), both ends of the range, and distances
// at and near ties.
TEST(TrackerLabel, SameTextAsTheGeneralConversion) {
  auto general = [](int32_t x, int32_t y, int32_t z) {
    auto field = [](double v) {
      std::string s = FixedHalfUp(v, 1);
      return std::string(s.size() < 7 ? 7 - s.size() : 0, ' ') + s;
    };
    double fx = x / 1000.0, fy = y / 1000.0, fz = z / 1000.0;
    return " x" + field(fx) + " y" + field(fy) + " z" + field(fz) + " d" +
           field(std::sqrt(fx * fx + fy * fy + fz * fz));
  };
  for (int32_t v = -120000; v <= 120000; v += 7) {
    ASSERT_EQ(TrackerLabel({v, 0, 0}).text, general(v, 0, 0)) << v;
    ASSERT_EQ(TrackerLabel({v, 3 * v / 4, v / 3}).text, general(v, 3 * v / 4, v / 3)) << v;
  }
  for (int32_t v : {2650, 1350, -50, -2650, 150, 250, INT32_MIN, INT32_MAX, INT32_MAX - 49})
    EXPECT_EQ(TrackerLabel({v, v, 0}).text, general(v, v, 0)) << v;
  EXPECT_EQ(TrackerLabel({2650, 0, 0}).text, " x    2.6 y    0.0 z    0.0 d    2.6");
  EXPECT_EQ(TrackerLabel({1350, 0, 0}).text, " x    1.4 y    0.0 z    0.0 d    1.4");
  EXPECT_EQ(TrackerLabel({-30, 0, 0}).text, " x   -0.0 y    0.0 z    0.0 d    0.0");
}

// Likewise the distance text, for the distances between voxels (square roots of
// integers) and values at and beside the ties of both roundings.
TEST(DistanceText, SameTextAsTheGeneralConversion) {
  for (int64_t sq = 0; sq < 200000000; sq = sq * 11 / 10 + 1) {
    double d = std::sqrt(static_cast<double>(sq));
    ASSERT_EQ(DistanceText(d), FormatFloatFixed(d, 4, 1)) << sq;
  }
  for (double d : {0.05, 0.15, 2.25, 999.95, 999.94, 1000.0, 1234.5, 9999.49, 9999.5, 9999.96, 10000.0, 12345.0})
    for (double e : {d, std::nextafter(d, 0.0), std::nextafter(d, 1e9)})
      EXPECT_EQ(DistanceText(e), FormatFloatFixed(e, 4, 1)) << e;
}

TEST(MapReading, SumsInOrderAndRoundsHalvesToEven) {
  double coef[3][4] = {{10, 0.5, 0, 0}, {0, 0, 1, 0}, {-2.5, 0, 0, 1}};
  TVoxel v = MapReading(coef, {5, 7, 0});
  EXPECT_EQ(v.x, 12);  // 12.5 -> 12
  EXPECT_EQ(v.y, 7);
  EXPECT_EQ(v.z, -2);  // -2.5 -> -2
  EXPECT_EQ(MapReading(coef, {7, 0, 1}).x, 14);  // 13.5 -> 14
  EXPECT_EQ(MapReading(coef, {7, 0, 1}).z, -2);  // -1.5 -> -2
  double zero[3][4] = {};
  EXPECT_EQ(MapReading(zero, {32764, -32768, 4}), (TVoxel{0, 0, 0}));
}

TEST(MapReading, ExtendedPrecisionKeepsTheExactHalf) {
  // 3 * (1/3 as a double) is 1 - 2^-54 exactly in extended precision, so the sum
  // with b0 = 0.5 stays below 1.5 and rounds to 1. Rounded to double after the
  // product it would be 1.0 and the sum 1.5, which rounds to 2.
  double coef[3][4] = {{0.5, 1.0 / 3.0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
  EXPECT_EQ(MapReading(coef, {3, 0, 0}).x, 1);  // 1.49999999999999998 -> 1
}

TEST(RoundToVoxel, SaturatesOutsideTheIntegerRange) {
  EXPECT_EQ(RoundToVoxel(3e9L), INT32_MAX);
  EXPECT_EQ(RoundToVoxel(-3e9L), INT32_MIN);
  EXPECT_EQ(RoundToVoxel(2147483647.4L), INT32_MAX);
  EXPECT_EQ(RoundToVoxel(-2147483648.4L), INT32_MIN);
  EXPECT_EQ(RoundToVoxel(2147483646.5L), 2147483646);
  EXPECT_EQ(RoundToVoxel(std::numeric_limits<long double>::infinity()), INT32_MAX);
  EXPECT_EQ(RoundToVoxel(std::numeric_limits<long double>::quiet_NaN()), 0);
  EXPECT_EQ(RoundToVoxel(-0.5L), 0);
}

TEST(VoxelDistance, ExactSumOfSquaresWithoutOverflow) {
  EXPECT_DOUBLE_EQ(VoxelDistance({10, 20, 30}, {10, 20, 33}), 3.0);
  EXPECT_DOUBLE_EQ(VoxelDistance({10, 20, 30}, {13, 24, 30}), 5.0);
  // Corners of the 32-bit range: each difference is 2^32 - 1; the sum of squares
  // needs 66 bits. sqrt(3) * (2^32 - 1).
  double d = VoxelDistance({INT32_MIN, INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX, INT32_MAX});
  EXPECT_NEAR(d, std::sqrt(3.0L) * 4294967295.0L, 1e-6);
  EXPECT_DOUBLE_EQ(VoxelDistance({INT32_MIN, 0, 0}, {INT32_MAX, 0, 0}), 4294967295.0);
}

TEST(DistanceText, OneDecimalAfterFourSignificantDigits) {
  EXPECT_EQ(DistanceText(3.0), "3.0");
  EXPECT_EQ(DistanceText(5.0), "5.0");
  EXPECT_EQ(DistanceText(std::sqrt(2.0)), "1.4");
  EXPECT_EQ(DistanceText(1234.5), "1235.0");  // 4 significant digits, then one decimal
  EXPECT_EQ(DistanceText(123.45), "123.5");
  EXPECT_EQ(DistanceText(12345.0), "1.235E+0004");
}

TEST(FormulaText, ThreeLinesJoinedByCarriageReturns) {
  double coef[3][4] = {{91.25, 0.04123, -0.0019, 0.0003},
                       {-12.5, 0.00125, -0.01, 0},
                       {123.456, 10000, -0.00004, 1}};
  EXPECT_EQ(FormulaText(coef),
            "MRIx = 91.2500 + 0.0412FOBx +-0.0019FOBy +0.0003FOBz\r"
            "MRIy = -12.5000 + 0.0013FOBx +-0.0100FOBy +0.0000FOBz\r"
            "MRIz = 123.5000 + 1.000E+0004FOBx +0.0000FOBy +1.0000FOBz");
}

TEST(CellText, ColonSeparatedIntegers) {
  EXPECT_EQ(CellText(-3, 0, -120), "-3:0:-120");
  EXPECT_EQ(CellText(112, -7, 64), "112:-7:64");
  EXPECT_EQ(CellText(INT32_MIN, INT32_MAX, 0), "-2147483648:2147483647:0");
}

}  // namespace
