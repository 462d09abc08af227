// FitRegistration: refusal, the report's layout, coefficients against an
// independent least-squares solution, and the failure paths of single axes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "MathTestSupport.h"
#include "RegMult.h"
#include "RegMultInternal.h"

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

TEST_F(FitRegistrationTest, TrackerCoordinateZeroInEveryPairIsReportedAndStoredAsZero) {
  FillAffine(20, 5, 0.5);
  for (int k = 1; k <= 20; ++k) PointTable[k].FOBz = 0;
  ASSERT_TRUE(FitRegistration(20, list_, messages_));
  EXPECT_TRUE(messages_.messages.empty());
  ASSERT_EQ(list_.size(), 22u);
  for (int axis = 0; axis < 3; ++axis) {
    EXPECT_EQ(list_[1 + 7 * axis + 6], "b3       0.00000000");
    EXPECT_EQ(RegCoef[axis][3], 0.0);
  }
}

// With FOBx 0 in every pair and small FOBy, FOBz values, the decomposition meets a
// zero diagonal element inside the bidiagonal form (the cancellation step).
TEST_F(FitRegistrationTest, RankDeficientDesignMatchesTheReducedFit) {
  SetRow(1, 10, 20, 30, 0, 0, 0);
  SetRow(2, 12, 19, 33, 0, 1, 1);
  SetRow(3, 9, 22, 29, 0, 0, -1);
  SetRow(4, 11, 18, 34, 0, -1, 1);
  SetRow(5, 8, 21, 28, 0, 0, -1);
  ASSERT_TRUE(FitRegistration(5, list_, messages_));
  EXPECT_TRUE(messages_.messages.empty());
  ExpectCoefficients(5, 1e-12, /*dropFobx=*/true);
  for (int axis = 0; axis < 3; ++axis) EXPECT_EQ(RegCoef[axis][1], 0.0);
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
