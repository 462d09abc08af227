// StudentProb, BetaRatio, GammaFunc and LogGammaFunc against Boost.Math. Native
// build only.
#include <gtest/gtest.h>

#include <boost/math/distributions/students_t.hpp>
#include <boost/math/special_functions/beta.hpp>
#include <boost/math/special_functions/gamma.hpp>
#include <cmath>
#include <cstdio>

#include "FMath.h"
#include "IncompleteBeta.h"
#include "RegressStats.h"

namespace {

constexpr double kTolerance = 1e-12;

struct Tracker {
  double worst = 0;
  double at[3] = {0, 0, 0};
  void Note(double rel, double a, double b = 0, double c = 0) {
    if (rel > worst) {
      worst = rel;
      at[0] = a;
      at[1] = b;
      at[2] = c;
    }
  }
};

double Rel(double got, double ref) { return std::fabs(got - ref) / std::fabs(ref); }

}  // namespace

// StudentProb forms x = df / (df + t^2) in double and hands it to BetaRatio. Its
// error against Student's distribution is within 1e-12 from |t| = 0.1 on; below,
// 1 - x is only known to eps / (1 - x) relatively (1 - x = t^2 / df), which bounds
// the agreement. At the x it forms, the result matches ibeta to 1e-12 everywhere.
TEST(BoostStudent, TwoSidedProbabilityOverTheReportsRange) {
  Tracker exact, atX, small;
  const double ts[] = {0.001, 0.01, 0.1, 0.3, 0.5, 0.8, 1, 1.5, 2, 2.5, 3, 4, 5,
                       7, 10, 15, 20, 30, 50, 100, 200, 500, 1000};
  for (int df = 1; df <= 122; ++df) {
    boost::math::students_t dist(df);
    for (double tv : ts)
      for (double sign : {1.0, -1.0}) {
        const double ref = 2 * boost::math::cdf(boost::math::complement(dist, tv));
        if (ref <= 1e-300) continue;
        const double got = StudentProb(df, sign * tv);
        const double v = df;
        const double x = v / (v + tv * tv);
        const double refAtX = boost::math::ibeta(0.5 * v, 0.5, x);
        const double relAtX = Rel(got, refAtX);
        atX.Note(relAtX, df, tv);
        EXPECT_LE(relAtX, kTolerance) << "df " << df << " t " << tv;
        const double rel = Rel(got, ref);
        if (tv >= 0.1) {
          exact.Note(rel, df, tv);
          EXPECT_LE(rel, kTolerance) << "df " << df << " t " << tv << ": " << got << " vs " << ref;
        } else {
          small.Note(rel, df, tv);
          const double bound = kTolerance + 4 * 2.220446049250313e-16 * v / (tv * tv);
          EXPECT_LE(rel, bound) << "df " << df << " t " << tv;
        }
      }
  }
  std::printf("[ figures  ] StudentProb worst relative error %.3g for |t| >= 0.1 (df %g, t %g), "
              "%.3g below (df %g, t %g); against ibeta at its own x %.3g\n",
              exact.worst, exact.at[0], exact.at[1], small.worst, small.at[0], small.at[1],
              atX.worst);
}

// A grid over the branches: the series (b x <= 1, x <= 0.95), both continued
// fractions, the swapped forms, and the logarithmic path (a + b >= MaxGammaArg or
// exponents beyond MaxExpArg).
TEST(BoostBeta, IncompleteBetaOverEveryBranch) {
  Tracker t;
  const double as[] = {0.5, 1, 1.5, 2.5, 4, 7.5, 12, 20.5, 33, 61, 90, 150, 400};
  const double bs[] = {0.5, 1, 2, 3.5, 6, 11, 25, 61, 95, 170, 500};
  const double xs[] = {1e-8, 1e-4, 0.001, 0.01, 0.05, 0.1, 0.2, 0.3, 0.45, 0.5, 0.6,
                       0.7, 0.8, 0.9, 0.94, 0.96, 0.99, 0.999, 0.999999};
  for (double a : as)
    for (double b : bs)
      for (double x : xs) {
        const double ref = boost::math::ibeta(a, b, x);
        if (ref <= 1e-300) continue;
        const double got = BetaRatio(a, b, x);
        const double rel = Rel(got, ref);
        t.Note(rel, a, b, x);
        EXPECT_LE(rel, kTolerance) << "a " << a << " b " << b << " x " << x << ": " << got
                                   << " vs " << ref;
      }
  std::printf("[ figures  ] BetaRatio worst relative error %.3g (a %g, b %g, x %g)\n", t.worst,
              t.at[0], t.at[1], t.at[2]);
}

TEST(BoostGamma, GammaUpToItsOverflow) {
  Tracker t;
  for (double x = 0.05; x < MaxGammaArg; x += 0.0937) {
    const double ref = boost::math::tgamma(x);
    const double rel = Rel(GammaFunc(x), ref);
    t.Note(rel, x);
    EXPECT_LE(rel, kTolerance) << "x " << x;
  }
  for (double x : {0.5, 1.5, 13.0, 13.000001, 61.5, 62.0, 171.0, 171.6}) {
    const double rel = Rel(GammaFunc(x), boost::math::tgamma(x));
    t.Note(rel, x);
    EXPECT_LE(rel, kTolerance) << "x " << x;
  }
  std::printf("[ figures  ] GammaFunc worst relative error %.3g (x %g)\n", t.worst, t.at[0]);
}

// Near its zeros at 1 and 2 ln Gamma is the difference of two terms of order 1,
// so there the error is measured against max(|ln Gamma|, 1).
TEST(BoostGamma, LogGammaOverTheProgramsRangeAndBeyond) {
  Tracker t;
  auto check = [&](double x) {
    const double ref = boost::math::lgamma(x);
    const double rel = std::fabs(LogGammaFunc(x) - ref) / std::max(std::fabs(ref), 1.0);
    t.Note(rel, x);
    EXPECT_LE(rel, kTolerance) << "x " << x;
  };
  for (double x = 0.01; x < 30; x += 0.0173) check(x);
  for (double x = 30; x < 1e6; x *= 1.37) check(x);
  for (double x : {0.5, 1.0, 2.0, 13.0, 12.999999, 1e10, 2e10, 1e15}) check(x);
  std::printf("[ figures  ] LogGammaFunc worst error %.3g relative to max(|lnGamma|, 1) (x %g)\n",
              t.worst, t.at[0]);
}
