// The least-squares layer and the regression statistics: SvdRegression, the
// model interface, RunModelFit, FitStatistics and ParameterStatistics. The
// reference is the normal-equation solution in extended precision (the LAPACK
// comparison is in LapackReferenceTest.cpp).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "MathTestSupport.h"
#include "Models.h"
#include "Regress.h"
#include "RegressStats.h"

using namespace mathtest;

namespace {

// The regression's inputs: regressors U[j][k] (j = 1..3, k = 1..N) and Y[1..N].
struct Problem {
  explicit Problem(int n) : N(n), U(3, n), Y(n) {}
  int N;
  Mat U;
  Vec Y;
  // The design matrix with a constant column, as the reference sees it.
  Dense Design(bool constTerm) const {
    Dense A;
    for (int k = 1; k <= N; ++k) {
      std::vector<double> row;
      if (constTerm) row.push_back(1.0);
      for (int j = 1; j <= 3; ++j) row.push_back(U.a[j][k]);
      A.push_back(row);
    }
    return A;
  }
  std::vector<double> Obs() const { return std::vector<double>(Y.v + 1, Y.v + N + 1); }
};

Problem RandomProblem(int n, unsigned seed) {
  Problem p(n);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> fob(-3000, 3000);
  std::uniform_real_distribution<double> noise(-0.5, 0.5);
  for (int k = 1; k <= n; ++k) {
    for (int j = 1; j <= 3; ++j) p.U[j][k] = fob(rng);
    p.Y[k] = std::round(100 + 0.03 * p.U[1][k] - 0.01 * p.U[2][k] + 0.02 * p.U[3][k] + noise(rng));
  }
  return p;
}

::testing::AssertionResult NearRel(double a, long double b, double rel) {
  const long double err = std::fabs(a - b);
  const long double scale = std::max<long double>(std::fabs(b), 1e-300L);
  if (err <= rel * scale) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << a << " vs " << static_cast<double>(b) << " rel "
                                       << static_cast<double>(err / scale);
}

}  // namespace

TEST(SvdRegressionTest, FullRankFiveObservationsGiveOrdinaryLeastSquares) {
  Problem p = RandomProblem(5, 7);
  Vec B(3);
  Mat V(3, 3);
  ASSERT_EQ(SvdRegression(p.U.a, p.Y.v, 5, 3, true, B.v, V.a), kFitOk);
  const NormalSolution ref = SolveNormal(p.Design(true), p.Obs());
  for (int i = 0; i <= 3; ++i) {
    EXPECT_TRUE(NearRel(B[i], ref.x[i], 1e-11)) << "b" << i;
    for (int j = 0; j <= 3; ++j) EXPECT_TRUE(NearRel(V[i][j], ref.inverse[i][j], 1e-10)) << i << j;
  }
  // Symmetric by construction.
  for (int i = 0; i <= 3; ++i)
    for (int j = 0; j <= 3; ++j) EXPECT_EQ(V[i][j], V[j][i]);
}

TEST(SvdRegressionTest, ExactAffineDataIsReproduced) {
  Problem p = RandomProblem(20, 11);
  for (int k = 1; k <= 20; ++k)
    p.Y[k] = 2.5 - 1.25 * p.U[1][k] + 0.5 * p.U[2][k] + 3 * p.U[3][k];
  Vec B(3);
  Mat V(3, 3);
  ASSERT_EQ(SvdRegression(p.U.a, p.Y.v, 20, 3, true, B.v, V.a), kFitOk);
  EXPECT_NEAR(B[0], 2.5, 1e-9);
  EXPECT_NEAR(B[1], -1.25, 1e-12);
  EXPECT_NEAR(B[2], 0.5, 1e-12);
  EXPECT_NEAR(B[3], 3, 1e-12);
  double constants[2] = {3.0, 1.0};
  SelectModel(1, 0, constants);
  Vec x(3);
  for (int k = 1; k <= 20; ++k) {
    for (int j = 1; j <= 3; ++j) x[j] = p.U[j][k];
    EXPECT_NEAR(ModelValue(x.v, B.v), p.Y[k], 1e-9 * std::fabs(p.Y[k]) + 1e-9);
  }
}

TEST(SvdRegressionTest, AZeroRegressorGetsExactlyZero) {
  Problem p = RandomProblem(12, 3);
  for (int k = 1; k <= 12; ++k) p.U[3][k] = 0;
  Vec B(3);
  Mat V(3, 3);
  ASSERT_EQ(SvdRegression(p.U.a, p.Y.v, 12, 3, true, B.v, V.a), kFitOk);
  EXPECT_EQ(B[3], 0.0);
  EXPECT_EQ(V[3][3], 0.0);
  // The other coefficients are those of the fit without it.
  Dense A = p.Design(true);
  for (auto& row : A) row.pop_back();
  const NormalSolution ref = SolveNormal(A, p.Obs());
  for (int i = 0; i <= 2; ++i) {
    EXPECT_TRUE(NearRel(B[i], ref.x[i], 1e-11)) << "b" << i;
    for (int j = 0; j <= 2; ++j) EXPECT_TRUE(NearRel(V[i][j], ref.inverse[i][j], 1e-10));
  }
}

TEST(SvdRegressionTest, WithoutConstantTermRowsAndColumnsStartAtOne) {
  Problem p = RandomProblem(9, 5);
  Vec B(3);
  Mat V(3, 3);
  B[0] = 42;
  V[0][0] = 43;
  ASSERT_EQ(SvdRegression(p.U.a, p.Y.v, 9, 3, false, B.v, V.a), kFitOk);
  EXPECT_EQ(B[0], 42.0);
  EXPECT_EQ(V[0][0], 43.0);
  Dense A = p.Design(false);
  const NormalSolution ref = SolveNormal(A, p.Obs());
  for (int i = 1; i <= 3; ++i) EXPECT_TRUE(NearRel(B[i], ref.x[i - 1], 1e-11)) << "b" << i;
}

TEST(SvdRegressionTest, FewerObservationsThanParametersIsRefused) {
  Problem p = RandomProblem(3, 5);
  Vec B(3);
  Mat V(3, 3);
  EXPECT_EQ(SvdRegression(p.U.a, p.Y.v, 3, 3, true, B.v, V.a), kFitSingular);
  for (int i = 0; i <= 3; ++i) EXPECT_EQ(B[i], 0.0);
}

// ---- The model interface -----------------------------------------------------------

namespace {
double g_constants[2] = {3.0, 1.0};
}

TEST(ModelInterface, MultipleLinearWithConstant) {
  SelectModel(1, 0, g_constants);
  EXPECT_EQ(FirstParamIndex(), 0);
  EXPECT_EQ(LastParamIndex(), 3);
  EXPECT_EQ(ParamLabel(0), "b0");
  EXPECT_EQ(ParamLabel(12), "b12");
  Vec x(3), B(3);
  x[0] = 1e300;  // not read
  x[1] = 2;
  x[2] = 3;
  x[3] = 4;
  B[0] = 1;
  B[1] = 10;
  B[2] = 100;
  B[3] = 1000;
  EXPECT_EQ(ModelValue(x.v, B.v), 4321.0);
  double noConstant[2] = {2.6, 0.0};  // 2.6 rounds to 3 regressors
  SelectModel(1, 0, noConstant);
  EXPECT_EQ(FirstParamIndex(), 1);
  EXPECT_EQ(LastParamIndex(), 3);
  EXPECT_EQ(ModelValue(x.v, B.v), 4320.0);
}

TEST(ModelInterface, ModelValueAddsEachProductInExtendedPrecision) {
  SelectModel(1, 0, g_constants);
  Vec x(3), B(3);
  // b1 x1 = (1 + 2^-30)^2 = 1 + 2^-29 + 2^-60 needs 61 bits: a double product
  // drops 2^-60, the extended one keeps it, and b0 = -1 cancels the leading 1.
  B[0] = -1;
  B[1] = 1 + std::ldexp(1.0, -30);
  x[1] = 1 + std::ldexp(1.0, -30);
  EXPECT_EQ(ModelValue(x.v, B.v), std::ldexp(1.0, -29) + std::ldexp(1.0, -60));
}

TEST(ModelInterface, RunModelFitFillsFittedValuesAndScalesV) {
  SelectModel(1, 0, g_constants);
  Problem p = RandomProblem(15, 21);
  Vec B(3), Ycalc(15), S(15), Theta(0);
  Mat V(3, 3);
  FitStats stats;
  RecordingPresenter messages;
  ASSERT_EQ(RunModelFit(p.U.a, p.Y.v, 15, true, 1, 0.1, Theta.v, B.v, V.a, Ycalc.v, S.v, stats,
                        messages),
            kFitOk);
  EXPECT_TRUE(messages.messages.empty());
  long double sse = 0;
  for (int k = 1; k <= 15; ++k) {
    const long double r = p.Y[k] - (B[0] + B[1] * p.U[1][k] + B[2] * p.U[2][k] + B[3] * p.U[3][k]);
    sse += r * r;
    EXPECT_NEAR(Ycalc[k], p.Y[k] - static_cast<double>(r), 1e-10);
  }
  EXPECT_TRUE(NearRel(stats.ResidualVariance, sse / 11, 1e-9));
  EXPECT_EQ(Theta[0], stats.ResidualVariance);
  for (int k = 1; k <= 15; ++k) EXPECT_EQ(S[k], std::sqrt(stats.ResidualVariance));
  const NormalSolution ref = SolveNormal(p.Design(true), p.Obs());
  for (int i = 0; i <= 3; ++i)
    for (int j = 0; j <= 3; ++j)
      EXPECT_TRUE(NearRel(V[i][j], ref.inverse[i][j] * stats.ResidualVariance, 1e-9));
}

TEST(ModelInterface, RunModelFitWithoutLinearEstimateKeepsTheCallersParameters) {
  SelectModel(1, 0, g_constants);
  Problem p = RandomProblem(6, 2);
  Vec B(3), Ycalc(6), S(6), Theta(0);
  Mat V(3, 3);
  B[0] = 1;
  V[0][0] = 2;
  FitStats stats;
  RecordingPresenter messages;
  ASSERT_EQ(RunModelFit(p.U.a, p.Y.v, 6, false, 1, 0.1, Theta.v, B.v, V.a, Ycalc.v, S.v, stats,
                        messages),
            kFitOk);
  EXPECT_EQ(B[0], 1.0);
  EXPECT_EQ(B[1], 0.0);
  for (int k = 1; k <= 6; ++k) EXPECT_EQ(Ycalc[k], 1.0);
}

TEST(ModelInterface, RunModelFitFailureLeavesOutputsUntouched) {
  SelectModel(1, 0, g_constants);
  Problem p = RandomProblem(6, 2);
  p.U[2][3] = std::numeric_limits<double>::quiet_NaN();
  Vec B(3), Ycalc(6), S(6), Theta(0);
  Mat V(3, 3);
  for (int k = 1; k <= 6; ++k) Ycalc[k] = S[k] = -7;
  Theta[0] = -7;
  FitStats stats;
  stats.ResidualVariance = -7;
  RecordingPresenter messages;
  EXPECT_EQ(RunModelFit(p.U.a, p.Y.v, 6, true, 1, 0.1, Theta.v, B.v, V.a, Ycalc.v, S.v, stats,
                        messages),
            kFitNoConvergence);
  for (int k = 1; k <= 6; ++k) EXPECT_EQ(Ycalc[k] + S[k], -14.0);
  EXPECT_EQ(Theta[0], -7.0);
  EXPECT_EQ(stats.ResidualVariance, -7.0);
  EXPECT_TRUE(messages.messages.empty());
}

TEST(ModelInterface, OtherModelKindsAreNotProvided) {
  SelectModel(2, 0, g_constants);
  Problem p = RandomProblem(6, 2);
  Vec B(3), Ycalc(6), S(6), Theta(0);
  Mat V(3, 3);
  FitStats stats;
  RecordingPresenter messages;
  EXPECT_EQ(RunModelFit(p.U.a, p.Y.v, 6, true, 1, 0.1, Theta.v, B.v, V.a, Ycalc.v, S.v, stats,
                        messages),
            kFitNoModel);
  SelectModel(1, 0, g_constants);
}

// ---- Statistics ------------------------------------------------------------------------

TEST(FitStatisticsTest, LowerTriangleIsACopyOfTheScaledUpperTriangle) {
  Vec Y(6), Yfit(6);
  const double y[] = {0, 1, 2, 4, 3, 6, 5};
  const double f[] = {0, 1.5, 2, 3, 3.5, 5.5, 5.5};
  for (int i = 1; i <= 6; ++i) {
    Y[i] = y[i];
    Yfit[i] = f[i];
  }
  Mat V(3, 3);
  for (int i = 0; i <= 3; ++i)
    for (int j = 0; j <= 3; ++j) V[i][j] = i <= j ? 1 + i + 10 * j : -999;
  FitStats stats;
  RecordingPresenter messages;
  FitStatistics(Y.v, Yfit.v, 6, 0, 3, V.a, stats, messages);
  // SSE = 0.25 + 0 + 1 + 0.25 + 0.25 + 0.25 = 2, df = 2.
  EXPECT_EQ(stats.ResidualVariance, 1.0);
  for (int i = 0; i <= 3; ++i)
    for (int j = 0; j <= 3; ++j) EXPECT_EQ(V[i][j], V[std::min(i, j)][std::max(i, j)]);
  EXPECT_EQ(V[1][3], 32.0);
  EXPECT_TRUE(messages.messages.empty());
}

TEST(FitStatisticsTest, ExactFitGivesZeroVariance) {
  Vec Y(5), Yfit(5);
  for (int i = 1; i <= 5; ++i) Y[i] = Yfit[i] = i * i;
  Mat V(3, 3);
  for (int i = 0; i <= 3; ++i)
    for (int j = 0; j <= 3; ++j) V[i][j] = 5;
  FitStats stats;
  stats.ResidualVariance = 9;
  RecordingPresenter messages;
  FitStatistics(Y.v, Yfit.v, 5, 0, 3, V.a, stats, messages);
  EXPECT_EQ(stats.ResidualVariance, 0.0);
  for (int i = 0; i <= 3; ++i)
    for (int j = 0; j <= 3; ++j) EXPECT_EQ(V[i][j], 0.0);
}

TEST(FitStatisticsTest, NoSpreadShowsTheMessageAndChangesNothing) {
  Vec Y(5), Yfit(5);
  for (int i = 1; i <= 5; ++i) {
    Y[i] = 17;
    Yfit[i] = 17 + i;
  }
  Mat V(3, 3);
  V[2][1] = 4;
  V[1][2] = 3;
  FitStats stats;
  stats.ResidualVariance = 9;
  RecordingPresenter messages;
  FitStatistics(Y.v, Yfit.v, 5, 0, 3, V.a, stats, messages);
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0], "Error: are all you data points in the same plane?");
  EXPECT_EQ(stats.ResidualVariance, 9.0);
  EXPECT_EQ(V[2][1], 4.0);
  EXPECT_EQ(V[1][2], 3.0);
}

TEST(ParameterStatisticsTest, NonPositiveOrUndefinedVarianceGivesZeroZeroOne) {
  Vec B(3), sd(3), t(3), prob(3);
  Mat V(3, 3);
  B[0] = 10;
  V[0][0] = 4;
  B[1] = 5;
  V[1][1] = 0;
  B[2] = 5;
  V[2][2] = -1;
  B[3] = 5;
  V[3][3] = std::numeric_limits<double>::quiet_NaN();
  ParameterStatistics(B.v, V.a, 7, 0, 3, sd.v, t.v, prob.v);
  EXPECT_EQ(sd[0], 2.0);
  EXPECT_EQ(t[0], 5.0);
  EXPECT_EQ(prob[0], StudentProb(3, 5.0));
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(sd[i], 0.0) << i;
    EXPECT_EQ(t[i], 0.0) << i;
    EXPECT_EQ(prob[i], 1.0) << i;
  }
}
