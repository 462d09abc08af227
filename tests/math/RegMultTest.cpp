// FitRegistration: refusal, the report's layout, coefficients against an
// independent least-squares solution, and the failure paths of single axes.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>

#include "MathTestSupport.h"
#include "RegMult.h"
#include "RegMultInternal.h"
#include "Regress.h"

using namespace mathtest;

namespace {

const char* const kHeader =
    "Parameter    Est.value         Std.dev.        t Student       Prob(>|t|)";

class FitRegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memcpy(savedTable_, PointTable, sizeof PointTable);
    std::memcpy(savedCoef_, RegCoef, sizeof RegCoef);
    for (auto& p : PointTable) p = TPointPair{};
    for (int a = 0; a < 3; ++a)
      for (int k = 0; k < 4; ++k) RegCoef[a][k] = 1000 + 10 * a + k;  // sentinels
  }
  void TearDown() override {
    std::memcpy(PointTable, savedTable_, sizeof PointTable);
    std::memcpy(RegCoef, savedCoef_, sizeof RegCoef);
  }

  void SetRow(int k, int mx, int my, int mz, int fx, int fy, int fz) {
    PointTable[k] = TPointPair{mx, my, mz, fx, fy, fz};
  }

  // Noisy samples of a known affine map, rounded to voxels.
  void FillAffine(int n, unsigned seed, double noise) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> fob(-3000, 3000);
    std::uniform_real_distribution<double> jitter(-noise, noise);
    for (int k = 1; k <= n; ++k) {
      const int fx = fob(rng), fy = fob(rng), fz = fob(rng);
      const int mx = static_cast<int>(std::lround(120 + 0.041 * fx - 0.002 * fy + 0.0003 * fz + jitter(rng)));
      const int my = static_cast<int>(std::lround(-35 + 0.001 * fx + 0.038 * fy - 0.004 * fz + jitter(rng)));
      const int mz = static_cast<int>(std::lround(64 - 0.003 * fx + 0.002 * fy + 0.043 * fz + jitter(rng)));
      SetRow(k, mx, my, mz, fx, fy, fz);
    }
  }

  // The least-squares coefficients of one axis (1..3) by the normal equations.
  std::vector<long double> Reference(int n, int axis, bool dropFobx = false) {
    Dense A;
    std::vector<double> y;
    for (int k = 1; k <= n; ++k) {
      const TPointPair& p = PointTable[k];
      std::vector<double> row = {1.0};
      if (!dropFobx) row.push_back(p.FOBx);
      row.push_back(p.FOBy);
      row.push_back(p.FOBz);
      A.push_back(row);
      y.push_back(axis == 1 ? p.MRIx : axis == 2 ? p.MRIy : p.MRIz);
    }
    std::vector<long double> x = SolveNormal(A, y).x;
    if (dropFobx) x.insert(x.begin() + 1, 0.0L);
    return x;
  }

  void ExpectCoefficients(int n, double rel, bool dropFobx = false) {
    for (int axis = 1; axis <= 3; ++axis) {
      const std::vector<long double> ref = Reference(n, axis, dropFobx);
      for (int k = 0; k < 4; ++k) {
        const long double tol = rel * std::max<long double>(std::fabs(ref[k]), 1e-6L);
        EXPECT_LE(std::fabs(RegCoef[axis - 1][k] - ref[k]), tol)
            << "axis " << axis << " b" << k << ": " << RegCoef[axis - 1][k] << " vs "
            << static_cast<double>(ref[k]);
      }
    }
  }

  std::vector<std::string> list_;
  RecordingPresenter messages_;

 private:
  TPointPair savedTable_[kPointTableEntries + 1];
  double savedCoef_[3][4];
};

void ExpectSentinelRow(int axis) {
  for (int k = 0; k < 4; ++k) EXPECT_EQ(RegCoef[axis - 1][k], 1000 + 10 * (axis - 1) + k) << k;
}

}  // namespace

TEST_F(FitRegistrationTest, FewerThanFiveSamplesAreRefused) {
  FillAffine(10, 1, 0.4);
  for (int n : {4, 0, -3}) {
    messages_.messages.clear();
    EXPECT_FALSE(FitRegistration(n, list_, messages_));
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_EQ(messages_.messages[0], "At least 5 samples required for 3D registration.");
    EXPECT_TRUE(list_.empty());
    for (int axis = 1; axis <= 3; ++axis) ExpectSentinelRow(axis);
  }
}

TEST_F(FitRegistrationTest, NoCountBeyondTheTableIsRead) {
  FillAffine(127, 1, 0.4);
  EXPECT_FALSE(FitRegistration(128, list_, messages_));
  EXPECT_EQ(messages_.messages.size(), 1u);
  EXPECT_TRUE(list_.empty());
  ExpectSentinelRow(1);
  // The whole table is fine.
  messages_.messages.clear();
  EXPECT_TRUE(FitRegistration(127, list_, messages_));
  EXPECT_TRUE(messages_.messages.empty());
  EXPECT_EQ(list_[0], "Number of observations =   127");
}

TEST_F(FitRegistrationTest, FiveSamplesGiveTheFullReportLayout) {
  FillAffine(5, 2, 0.4);
  ASSERT_TRUE(FitRegistration(5, list_, messages_));
  EXPECT_TRUE(messages_.messages.empty());
  ASSERT_EQ(list_.size(), 22u);
  EXPECT_EQ(list_[0], "Number of observations =     5");
  const char* names[] = {"MRIx", "MRIy", "MRIz"};
  for (int axis = 0; axis < 3; ++axis) {
    const size_t base = 1 + 7 * axis;
    EXPECT_EQ(list_[base], "");
    EXPECT_EQ(list_[base + 1], std::string(names[axis]) + "  = b0 + b1*FOBx + b2*FOBy + b3*FOBz");
    EXPECT_EQ(list_[base + 2], kHeader);
    EXPECT_EQ(list_[base + 2].size(), 73u);
    for (int k = 0; k < 4; ++k) {
      const std::string& line = list_[base + 3 + k];
      ASSERT_EQ(line.size(), 70u) << line;
      EXPECT_EQ(line.substr(0, 2), (std::string{'b', static_cast<char>('0' + k)}));
      // Four right-aligned fields of 17 ending at 19, 36, 53 and 70, with 8, 8, 2
      // and 4 decimals.
      const int decimals[] = {8, 8, 2, 4};
      for (int f = 0; f < 4; ++f) {
        const std::string field = line.substr(2 + 17 * f, 17);
        EXPECT_EQ(field[16 - decimals[f]], '.') << field;
        EXPECT_NE(field[0], '.');
        EXPECT_EQ(field.find_first_not_of(' '), field.find_first_of("-0123456789")) << field;
      }
      const double prob = std::stod(line.substr(2 + 51, 17));
      EXPECT_GE(prob, 0.0);
      EXPECT_LE(prob, 1.0);
    }
  }
  ExpectCoefficients(5, 1e-9);
}

TEST_F(FitRegistrationTest, ObservationCountIsRightAlignedInFive) {
  FillAffine(12, 3, 0.4);
  ASSERT_TRUE(FitRegistration(12, list_, messages_));
  EXPECT_EQ(list_[0], "Number of observations =    12");
}

TEST_F(FitRegistrationTest, NoisyAffineMapIsRecovered) {
  FillAffine(100, 4, 0.5);
  ASSERT_TRUE(FitRegistration(100, list_, messages_));
  EXPECT_TRUE(messages_.messages.empty());
  ExpectCoefficients(100, 1e-10);
  EXPECT_NEAR(RegCoef[0][0], 120, 0.5);
  EXPECT_NEAR(RegCoef[0][1], 0.041, 2e-4);
  EXPECT_NEAR(RegCoef[1][2], 0.038, 2e-4);
  EXPECT_NEAR(RegCoef[2][3], 0.043, 2e-4);
}

// A tracker coordinate 0 in every pair puts the positions in one plane: no
// coefficient of that coordinate can be told, and the fit is refused.
TEST_F(FitRegistrationTest, TrackerCoordinateZeroInEveryPairIsRefused) {
  FillAffine(20, 5, 0.5);
  for (int k = 1; k <= 20; ++k) PointTable[k].FOBz = 0;
  EXPECT_FALSE(FitRegistration(20, list_, messages_));
  ASSERT_EQ(messages_.messages.size(), 1u);
  EXPECT_EQ(messages_.messages[0],
            "The landmarks' tracker positions lie in one plane (FOBz is 0 in every row), so the "
            "registration cannot be determined. Record landmarks off that plane, then fit again.");
  EXPECT_EQ(list_, (std::vector<std::string>{"Number of observations =    20", "",
                                              messages_.messages[0]}));
  for (int axis = 1; axis <= 3; ++axis) ExpectSentinelRow(axis);
}

// With FOBx 0 in every pair and small FOBy, FOBz values, the decomposition meets a
// zero diagonal element inside the bidiagonal form (the cancellation step). The
// solver gives the fit without FOBx; FitRegistration refuses such positions.
TEST_F(FitRegistrationTest, RankDeficientDesignMatchesTheReducedFit) {
  SetRow(1, 10, 20, 30, 0, 0, 0);
  SetRow(2, 12, 19, 33, 0, 1, 1);
  SetRow(3, 9, 22, 29, 0, 0, -1);
  SetRow(4, 11, 18, 34, 0, -1, 1);
  SetRow(5, 8, 21, 28, 0, 0, -1);
  Mat U(3, 5), V(3, 3);
  Vec Y(5), B(3);
  for (int k = 1; k <= 5; ++k) {
    U[1][k] = PointTable[k].FOBx;
    U[2][k] = PointTable[k].FOBy;
    U[3][k] = PointTable[k].FOBz;
  }
  for (int axis = 1; axis <= 3; ++axis) {
    for (int k = 1; k <= 5; ++k)
      Y[k] = axis == 1 ? PointTable[k].MRIx : axis == 2 ? PointTable[k].MRIy : PointTable[k].MRIz;
    ASSERT_EQ(SvdRegression(U.a, Y.v, 5, 3, true, B.v, V.a), kFitOk);
    for (int k = 0; k < 4; ++k) RegCoef[axis - 1][k] = B[k];
  }
  ExpectCoefficients(5, 1e-12, /*dropFobx=*/true);
  for (int axis = 0; axis < 3; ++axis) EXPECT_EQ(RegCoef[axis][1], 0.0);

  std::memset(RegCoef, 0, sizeof RegCoef);
  EXPECT_FALSE(FitRegistration(5, list_, messages_));
  ASSERT_EQ(messages_.messages.size(), 1u);
  EXPECT_NE(messages_.messages[0].find("lie in one plane (FOBx is 0 in every row)"), std::string::npos)
      << messages_.messages[0];
  for (int axis = 0; axis < 3; ++axis)
    for (int k = 0; k < 4; ++k) EXPECT_EQ(RegCoef[axis][k], 0.0);
}

// The MRIy values are exactly 20 + 2 FOBy: the residual variance is exactly 0, the
// standard deviations are 0, and the estimates themselves are exact: they are shown
// alone and kept (zeroing them would map every reading to MRIy 0).
TEST_F(FitRegistrationTest, ExactFitKeepsItsExactEstimates) {
  const int rows[8][6] = {{12, 20, 30, 2, 0, 2},   {8, 18, 26, -2, -1, 2}, {9, 20, 31, -1, 0, -2},
                          {12, 16, 31, 2, -2, 1},  {12, 20, 33, 2, 0, -1}, {10, 24, 29, 0, 2, 1},
                          {10, 20, 32, 0, 0, -2},  {8, 16, 27, -2, -2, 1}};
  for (int k = 0; k < 8; ++k)
    SetRow(k + 1, rows[k][0], rows[k][1], rows[k][2], rows[k][3], rows[k][4], rows[k][5]);
  ASSERT_TRUE(FitRegistration(8, list_, messages_));
  EXPECT_TRUE(messages_.messages.empty());
  ASSERT_EQ(list_.size(), 22u);
  // MRIy: four lines with the estimate only.
  for (int k = 0; k < 4; ++k) EXPECT_EQ(list_[8 + 3 + k].size(), 19u) << list_[8 + 3 + k];
  EXPECT_EQ(list_[11], "b0      20.00000000");
  EXPECT_EQ(list_[13], "b2       2.00000000");
  EXPECT_NEAR(RegCoef[1][0], 20, 1e-13);
  EXPECT_NEAR(RegCoef[1][1], 0, 1e-15);
  EXPECT_NEAR(RegCoef[1][2], 2, 1e-14);
  EXPECT_NEAR(RegCoef[1][3], 0, 1e-15);
}

TEST_F(FitRegistrationTest, ConstantMriAxisShowsTheMessageAndStoresItsValue) {
  FillAffine(15, 6, 0.5);
  for (int k = 1; k <= 15; ++k) PointTable[k].MRIz = 50;
  ASSERT_TRUE(FitRegistration(15, list_, messages_));
  ASSERT_EQ(messages_.messages.size(), 1u);
  EXPECT_EQ(messages_.messages[0], "Error: are all you data points in the same plane?");
  ASSERT_EQ(list_.size(), 22u);
  EXPECT_EQ(list_[16], "MRIz  = b0 + b1*FOBx + b2*FOBy + b3*FOBz");
  EXPECT_NEAR(RegCoef[2][0], 50, 1e-11);
  for (int k = 1; k < 4; ++k) EXPECT_NEAR(RegCoef[2][k], 0, 1e-14) << k;
}

namespace {

int g_calls = 0;
FitResult g_forced = kFitOk;

// The second axis gets a NaN in its regressors, so that the real decomposition
// fails to converge; the matrix is restored for the third axis.
FitResult FitWithNaNOnSecondAxis(TDoubleMatrix U, TDoubleVector Y, int N, bool lin, int it,
                                 double tol, TDoubleVector Theta, TDoubleVector B, TDoubleMatrix V,
                                 TDoubleVector Ycalc, TDoubleVector S, FitStats& stats,
                                 IMessagePresenter& messages) {
  ++g_calls;
  if (g_calls != 2) return RunModelFit(U, Y, N, lin, it, tol, Theta, B, V, Ycalc, S, stats, messages);
  const double saved = U[1][1];
  U[1][1] = std::numeric_limits<double>::quiet_NaN();
  const FitResult r = RunModelFit(U, Y, N, lin, it, tol, Theta, B, V, Ycalc, S, stats, messages);
  U[1][1] = saved;
  return r;
}

// The third axis returns the forced code instead of fitting.
FitResult FitForcingThirdAxis(TDoubleMatrix U, TDoubleVector Y, int N, bool lin, int it, double tol,
                              TDoubleVector Theta, TDoubleVector B, TDoubleMatrix V,
                              TDoubleVector Ycalc, TDoubleVector S, FitStats& stats,
                              IMessagePresenter& messages) {
  ++g_calls;
  if (g_calls == 3) return g_forced;
  return RunModelFit(U, Y, N, lin, it, tol, Theta, B, V, Ycalc, S, stats, messages);
}

}  // namespace

TEST_F(FitRegistrationTest, FailingSecondAxisLeavesItsRowAndWritesNoLines) {
  FillAffine(30, 7, 0.5);
  g_calls = 0;
  ASSERT_TRUE(FitRegistrationWith(30, list_, messages_, &FitWithNaNOnSecondAxis));
  EXPECT_EQ(g_calls, 3);
  ASSERT_EQ(messages_.messages.size(), 1u);
  EXPECT_EQ(messages_.messages[0], "Non-convergence of SVD algorithm !");
  ASSERT_EQ(list_.size(), 15u);
  EXPECT_EQ(list_[2], "MRIx  = b0 + b1*FOBx + b2*FOBy + b3*FOBz");
  EXPECT_EQ(list_[9], "MRIz  = b0 + b1*FOBx + b2*FOBy + b3*FOBz");
  for (const std::string& line : list_) EXPECT_EQ(line.find("MRIy"), std::string::npos);
  ExpectSentinelRow(2);
  const std::vector<long double> x = Reference(30, 1), z = Reference(30, 3);
  for (int k = 0; k < 4; ++k) {
    EXPECT_NEAR(RegCoef[0][k], static_cast<double>(x[k]), 1e-10 * std::fabs(static_cast<double>(x[k])));
    EXPECT_NEAR(RegCoef[2][k], static_cast<double>(z[k]), 1e-10 * std::fabs(static_cast<double>(z[k])));
  }
}

TEST_F(FitRegistrationTest, SingularResultShowsItsMessage) {
  FillAffine(9, 8, 0.5);
  g_calls = 0;
  g_forced = kFitSingular;
  ASSERT_TRUE(FitRegistrationWith(9, list_, messages_, &FitForcingThirdAxis));
  ASSERT_EQ(messages_.messages.size(), 1u);
  EXPECT_EQ(messages_.messages[0], "Singular matrix !");
  EXPECT_EQ(list_.size(), 15u);
  ExpectSentinelRow(3);
}

TEST_F(FitRegistrationTest, OtherResultCodesWriteNothingAndSayNothing) {
  FillAffine(9, 8, 0.5);
  g_calls = 0;
  g_forced = kFitNoModel;
  ASSERT_TRUE(FitRegistrationWith(9, list_, messages_, &FitForcingThirdAxis));
  EXPECT_TRUE(messages_.messages.empty());
  EXPECT_EQ(list_.size(), 15u);
  ExpectSentinelRow(3);
}

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
// The extended-precision evaluation does not depend on the x87 precision control
// the caller left (Windows threads may start with 53 bits): the fit holds it at 64
// bits and gives the same bits as with the usual setting.
TEST_F(FitRegistrationTest, SameBitsWhenTheCallerLoweredTheX87Precision) {
  FillAffine(40, 9, 0.5);
  ASSERT_TRUE(FitRegistration(40, list_, messages_));
  double coef[3][4];
  std::memcpy(coef, RegCoef, sizeof coef);
  const std::vector<std::string> report = list_;

  unsigned short saved;
  __asm__ volatile("fnstcw %0" : "=m"(saved));
  const unsigned short lowered = static_cast<unsigned short>((saved & ~0x0300u) | 0x0200u);
  __asm__ volatile("fldcw %0" : : "m"(lowered));
  std::vector<std::string> again;
  const bool ran = FitRegistration(40, again, messages_);
  unsigned short after;
  __asm__ volatile("fnstcw %0" : "=m"(after));
  __asm__ volatile("fldcw %0" : : "m"(saved));

  ASSERT_TRUE(ran);
  EXPECT_EQ(after, lowered) << "the caller's setting is restored";
  EXPECT_EQ(again, report);
  EXPECT_EQ(std::memcmp(coef, RegCoef, sizeof coef), 0);
}
#endif

namespace {

// The texts FitRegistration refuses with.
std::string PlaneText(const std::string& same) {
  return "The landmarks' tracker positions lie in one plane" + same +
         ", so the registration cannot be determined. Record landmarks off that plane, then fit "
         "again.";
}
std::string LineText(const std::string& same) {
  return "The landmarks' tracker positions lie on one line" + same +
         ", so the registration cannot be determined. Record landmarks off that line, spread in "
         "all three directions, then fit again.";
}
std::string PointText(const std::string& position) {
  return "All landmarks have the same tracker position (" + position +
         "), so the registration cannot be determined. Record landmarks at different positions, "
         "spread in all three directions, then fit again.";
}

// Reshapes the tracker positions (and for identical rows the voxels) of row k.
using TShape = void (*)(TPointPair& p, int k);

}  // namespace

// Positions in a plane, on a line or at one point cannot determine the map: one
// message, no report beyond the count and that message, RegCoef as it was, and the
// window stays in Calibrate view (false). Full-rank sets, even nearly flat ones, fit.
TEST_F(FitRegistrationTest, UndeterminedMapsAreRefused) {
  struct Case {
    const char* name;
    int n;
    TShape shape;
    std::string text;  // empty: the fit runs
  };
  const Case cases[] = {
      {"FOBx the same", 12, [](TPointPair& p, int) { p.FOBx = 1234; },
       PlaneText(" (FOBx is 1234 in every row)")},
      {"FOBy the same", 9, [](TPointPair& p, int) { p.FOBy = -250; },
       PlaneText(" (FOBy is -250 in every row)")},
      {"FOBz the same", 30, [](TPointPair& p, int) { p.FOBz = 0; },
       PlaneText(" (FOBz is 0 in every row)")},
      {"tilted plane", 40, [](TPointPair& p, int) { p.FOBz = 100 + p.FOBx - 2 * p.FOBy; },
       PlaneText("")},
      {"125 collinear rows", 125,
       [](TPointPair& p, int k) { p.FOBx = 40 * k - 2500, p.FOBy = 2 * p.FOBx + 100, p.FOBz = 50 - p.FOBx; },
       LineText("")},
      {"line along FOBx", 7, [](TPointPair& p, int) { p.FOBy = 5, p.FOBz = 0; },
       LineText(" (FOBy is 5 and FOBz is 0 in every row)")},
      {"one position, voxels differ", 8,
       [](TPointPair& p, int) { p.FOBx = 4000, p.FOBy = 2000, p.FOBz = -1000; },
       PointText("4000, 2000, -1000")},
      {"six identical rows", 6, [](TPointPair& p, int) { p = TPointPair{120, 96, 40, 1500, -2500, 700}; },
       PointText("1500, -2500, 700")},
      {"five rows in space", 5, [](TPointPair&, int) {}, ""},
      {"one row one unit off a plane", 25,
       [](TPointPair& p, int k) { p.FOBz = 100 + p.FOBx - 2 * p.FOBy + (k == 25 ? 1 : 0); }, ""},
  };
  unsigned seed = 50;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    list_.clear();
    messages_.messages.clear();
    FillAffine(c.n, seed++, 0.5);
    for (int k = 1; k <= c.n; ++k) c.shape(PointTable[k], k);
    const bool fitted = FitRegistration(c.n, list_, messages_);
    char count[40];
    std::snprintf(count, sizeof count, "Number of observations = %5d", c.n);
    if (c.text.empty()) {
      EXPECT_TRUE(fitted);
      EXPECT_TRUE(messages_.messages.empty());
      EXPECT_EQ(list_.size(), 22u);
      EXPECT_NE(RegCoef[0][0], 1000.0);
      continue;
    }
    EXPECT_FALSE(fitted);
    ASSERT_EQ(messages_.messages.size(), 1u) << messages_.messages.back();
    EXPECT_EQ(messages_.messages[0], c.text);
    EXPECT_EQ(list_, (std::vector<std::string>{count, "", c.text}));
    for (int axis = 1; axis <= 3; ++axis) ExpectSentinelRow(axis);
  }
}

namespace {

// The dimension of the affine span of integer positions, exactly: differences of
// coordinates within +-32767 stay below 2^17, their cross products below 2^35 and
// the triple products below 2^54, all exact in 64-bit integers.
int ExactSpanDimension(const std::vector<std::array<int64_t, 3>>& pts) {
  std::vector<std::array<int64_t, 3>> d;
  for (const auto& p : pts) d.push_back({p[0] - pts[0][0], p[1] - pts[0][1], p[2] - pts[0][2]});
  auto cross = [](const std::array<int64_t, 3>& a, const std::array<int64_t, 3>& b) {
    return std::array<int64_t, 3>{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                                  a[0] * b[1] - a[1] * b[0]};
  };
  const std::array<int64_t, 3> zero{0, 0, 0};
  size_t first = 0;
  while (first < d.size() && d[first] == zero) ++first;
  if (first == d.size()) return 0;
  for (const auto& q : d) {
    const std::array<int64_t, 3> normal = cross(d[first], q);
    if (normal == zero) continue;
    for (const auto& r : d)
      if (normal[0] * r[0] + normal[1] * r[1] + normal[2] * r[2] != 0) return 3;
    return 2;
  }
  return 1;
}

}  // namespace

// TrackerSpan against the exact span of integer positions, over random sets of
// every shape within the Flock's signed 16-bit range, with the nearest misses: a
// plane or a line with one position one unit off it.
TEST(TrackerSpan, MatchesTheExactSpanOfIntegerPositions) {
  std::mt19937 rng(77);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const TTrackerSpan byDimension[4] = {TTrackerSpan::Point, TTrackerSpan::Line,
                                       TTrackerSpan::Plane, TTrackerSpan::Space};
  int counts[4] = {0, 0, 0, 0};
  std::vector<TPointPair> table(kPointTableEntries + 1);
  for (int trial = 0; trial < 3000; ++trial) {
    const int n = uniform(1, 125), shape = trial % 6;
    // An origin, two small integer directions and integer steps keep every
    // position on the shape exactly.
    const int o[3] = {uniform(-9000, 9000), uniform(-9000, 9000), uniform(-9000, 9000)};
    const int u[3] = {uniform(-40, 40), uniform(-40, 40), uniform(-40, 40)};
    const int v[3] = {uniform(-40, 40), uniform(-40, 40), uniform(-40, 40)};
    std::vector<std::array<int64_t, 3>> pts;
    for (int k = 1; k <= n; ++k) {
      const int a = uniform(-100, 100), b = shape == 1 || shape == 4 ? 0 : uniform(-100, 100);
      int p[3];
      for (int c = 0; c < 3; ++c) p[c] = o[c] + a * u[c] + b * v[c];
      if (shape == 0) p[0] = uniform(-32767, 32767), p[1] = uniform(-32767, 32767), p[2] = uniform(-32767, 32767);
      if (shape == 2) p[0] = o[0], p[1] = o[1], p[2] = o[2];
      if ((shape == 3 || shape == 4) && k == n) p[uniform(0, 2)] += 1;  // one unit off
      if (shape == 5) p[2] = o[2];  // a coordinate the same throughout
      table[k] = TPointPair{0, 0, 0, p[0], p[1], p[2]};
      pts.push_back({p[0], p[1], p[2]});
    }
    const int dimension = ExactSpanDimension(pts);
    ++counts[dimension];
    ASSERT_EQ(TrackerSpan(table.data(), n), byDimension[dimension])
        << "trial " << trial << " shape " << shape << " n " << n;
  }
  for (int d = 0; d < 4; ++d) EXPECT_GT(counts[d], 100) << "dimension " << d;
}

TEST(TrackerSpan, FewRowsAndNoRows) {
  std::vector<TPointPair> t(kPointTableEntries + 1);
  EXPECT_EQ(TrackerSpan(t.data(), 0), TTrackerSpan::Space);
  EXPECT_EQ(TrackerSpan(nullptr, 5), TTrackerSpan::Space);
  t[1] = TPointPair{0, 0, 0, 10, 20, 30};
  EXPECT_EQ(TrackerSpan(t.data(), 1), TTrackerSpan::Point);
  t[2] = TPointPair{0, 0, 0, 11, 20, 30};
  EXPECT_EQ(TrackerSpan(t.data(), 2), TTrackerSpan::Line);
  t[3] = TPointPair{0, 0, 0, 10, 21, 30};
  EXPECT_EQ(TrackerSpan(t.data(), 3), TTrackerSpan::Plane);
  t[4] = TPointPair{0, 0, 0, 10, 20, 31};
  EXPECT_EQ(TrackerSpan(t.data(), 4), TTrackerSpan::Space);
  EXPECT_EQ(UndeterminedMapText(t.data(), 4, TTrackerSpan::Space), "");
}

// A number wider than its column is never cut and never runs into what stands
// before it; the numbers that fit keep their places.
TEST(WriteAxisReport, OverflowingColumnsStaySeparated) {
  struct Case {
    double b, variance;
    const char* line;
  };
  const Case cases[] = {
      {1e15, 1.0, "b0 1000000000000000.00000000       1.00000000 1000000000000000.00           0.0000"},
      {-12345678.5, 1e18,
       "b0 -12345678.50000000 1000000000.00000000            -0.01           0.9905"},
      {123456789.0, 0.0, "b0 123456789.00000000"},
      {12345678.25, 0.0, "b0 12345678.25000000"},  // exactly as wide as its column
      {-0.5, 0.0625, "b0      -0.50000000       0.25000000            -2.00           0.0805"},
  };
  SelectModel(kModelMultipleLinear, kVarianceConstant, [] {
    static double constants[2] = {3.0, 1.0};
    return constants;
  }());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Vec B(3);
    Mat V(3, 3);
    for (int k = 0; k <= 3; ++k) B[k] = c.b, V[k][k] = c.variance;
    FitStats stats;
    stats.ResidualVariance = c.variance > 0 ? 1 : 0;  // 0: an exact fit keeps its estimates
    std::vector<std::string> list;
    double saved[4];
    std::memcpy(saved, RegCoef[0], sizeof saved);
    WriteAxisReport("MRIx", 12, 1, B.v, V.a, stats, list);
    std::memcpy(RegCoef[0], saved, sizeof saved);
    ASSERT_EQ(list.size(), 7u);
    EXPECT_EQ(list[3], c.line);
    // Every field reads back as its value.
    std::istringstream fields(list[3].substr(2));
    double value = 0;
    ASSERT_TRUE(fields >> value);
    EXPECT_EQ(value, c.b);
  }
}
