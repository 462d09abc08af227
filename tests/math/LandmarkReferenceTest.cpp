// The landmark check against LAPACK: residuals against the dgelsd fit of all rows,
// leave-one-out errors against dgelsd fits of the other rows (one per row), and
// the spread against dgesvd of the centred tracker positions. Native build only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "LandmarkCheck.h"
#include "LandmarkTestData.h"
#include "MathTestSupport.h"
#include "RegMult.h"

using namespace landmarktest;
using namespace mathtest;

extern "C" {
void dgelsd_(const int* m, const int* n, const int* nrhs, double* a, const int* lda, double* b,
             const int* ldb, double* s, const double* rcond, int* rank, double* work,
             const int* lwork, int* iwork, int* info);
void dgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, double* a,
             const int* lda, double* s, double* u, const int* ldu, double* vt, const int* ldvt,
             double* work, const int* lwork, int* info);
}

namespace {

// Minimum-norm least squares of the three MRI axes on [1, FOBx, FOBy, FOBz] over
// the rows 1..n but `skip` (0: none), singular values below rows * epsilon times
// the largest dropped, as the fit's solver does: coef[axis][0..3].
std::vector<std::vector<double>> LapackFit(const TPointPair* t, int n, int skip) {
  const int m = skip ? n - 1 : n, p = 4, nrhs = 3;
  std::vector<double> a(static_cast<size_t>(m) * p), b(static_cast<size_t>(m) * nrhs), s(p);
  for (int i = 1, r = 0; i <= n; ++i, ++r) {
    if (i == skip) {
      --r;
      continue;
    }
    const double row[4] = {1.0, double(t[i].FOBx), double(t[i].FOBy), double(t[i].FOBz)};
    const double y[3] = {double(t[i].MRIx), double(t[i].MRIy), double(t[i].MRIz)};
    for (int j = 0; j < p; ++j) a[static_cast<size_t>(j) * m + r] = row[j];
    for (int j = 0; j < nrhs; ++j) b[static_cast<size_t>(j) * m + r] = y[j];
  }
  const double rcond = m * kEps;
  int rank = 0, info = 0, lwork = -1, iquery = 0;
  double query = 0;
  dgelsd_(&m, &p, &nrhs, a.data(), &m, b.data(), &m, s.data(), &rcond, &rank, &query, &lwork,
          &iquery, &info);
  lwork = static_cast<int>(query);
  std::vector<double> work(lwork);
  std::vector<int> iwork(std::max(1, iquery));
  dgelsd_(&m, &p, &nrhs, a.data(), &m, b.data(), &m, s.data(), &rcond, &rank, work.data(), &lwork,
          iwork.data(), &info);
  EXPECT_EQ(info, 0);
  std::vector<std::vector<double>> coef(3, std::vector<double>(4));
  for (int axis = 0; axis < 3; ++axis)
    for (int j = 0; j < p; ++j) coef[axis][j] = b[static_cast<size_t>(axis) * m + j];
  return coef;
}

// Observed minus mapped, per axis, in long double.
std::vector<long double> Miss(const std::vector<std::vector<double>>& coef, const TPointPair& r) {
  const long double y[3] = {static_cast<long double>(r.MRIx), static_cast<long double>(r.MRIy),
                            static_cast<long double>(r.MRIz)};
  std::vector<long double> d(3);
  for (int axis = 0; axis < 3; ++axis)
    d[axis] = y[axis] - (coef[axis][0] + static_cast<long double>(coef[axis][1]) * r.FOBx +
                         static_cast<long double>(coef[axis][2]) * r.FOBy +
                         static_cast<long double>(coef[axis][3]) * r.FOBz);
  return d;
}

long double Length(const std::vector<long double>& d) {
  return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

// Singular values of the centred tracker positions, descending.
std::vector<double> CentredSpread(const TPointPair* t, int n) {
  long double mean[3] = {0, 0, 0};
  for (int i = 1; i <= n; ++i) mean[0] += t[i].FOBx, mean[1] += t[i].FOBy, mean[2] += t[i].FOBz;
  std::vector<double> a(static_cast<size_t>(n) * 3), s(3), work(1);
  for (int i = 1; i <= n; ++i) {
    a[i - 1] = static_cast<double>(t[i].FOBx - mean[0] / n);
    a[n + i - 1] = static_cast<double>(t[i].FOBy - mean[1] / n);
    a[2 * n + i - 1] = static_cast<double>(t[i].FOBz - mean[2] / n);
  }
  const int m = n, cols = 3, one = 1;
  int lwork = -1, info = 0;
  double u = 0, vt = 0, query = 0;
  dgesvd_("N", "N", &m, &cols, a.data(), &m, s.data(), &u, &one, &vt, &one, &query, &lwork, &info);
  lwork = static_cast<int>(query);
  work.resize(lwork);
  dgesvd_("N", "N", &m, &cols, a.data(), &m, s.data(), &u, &one, &vt, &one, work.data(), &lwork,
          &info);
  EXPECT_EQ(info, 0);
  return s;
}

class SilentPresenter : public IMessagePresenter {
 public:
  void ShowMessage(const std::string&) override {}
  void ShowError(const std::string&) override {}
};

}  // namespace

// Every layout and size: the check of the registration FitRegistration leaves
// agrees with the LAPACK fits to 1e-9 relative. PlanePlusOne's off-plane row holds
// the normal direction alone, so its leave-one-out error is a refit of the others
// (a minimum-norm fit of coplanar rows); FarRow's far row is closed form at high
// leverage. A residual is relative to the larger of its length and the RMS
// residual: the rows the fit (nearly) interpolates, such as those two, have a
// residual near 0 that is only as exact as the fitted map there, and the map's
// own rounding far out (a few 1e-10 voxels at the far row) is what shows.
TEST(LandmarkReference, ResidualsAndLeaveOneOutMatchLapackRefits) {
  struct Case {
    Layout layout;
    const char* name;
  };
  const Case cases[] = {{Layout::Spread, "spread"},       {Layout::Offset, "offset"},
                        {Layout::Slab, "slab"},           {Layout::Rod, "rod"},
                        {Layout::Plane, "plane"},         {Layout::TiltedPlane, "tilted plane"},
                        {Layout::PlanePlusOne, "plane + 1"}, {Layout::Line, "line"},
                        {Layout::FarRow, "far row"}};
  TPointPair saved[kPointTableEntries + 1];
  double savedCoef[3][4];
  std::memcpy(saved, PointTable, sizeof saved);
  std::memcpy(savedCoef, RegCoef, sizeof savedCoef);
  double worstResidual = 0, worstLoo = 0, worstSpread = 0, offPlaneLoo = 0;
  unsigned seed = 1;
  for (const Case& c : cases)
    for (int n : {6, 7, 9, 12, 25, 60, 125}) {
      SCOPED_TRACE(std::string(c.name) + " n " + std::to_string(n));
      FillCalibration(PointTable, n, c.layout, seed++);
      SilentPresenter quiet;
      std::vector<std::string> report;
      ASSERT_EQ(FitRegistration(n, report, quiet), !Undetermined(c.layout));
      if (Undetermined(c.layout)) SolverCoefficients(PointTable, n, RegCoef);
      const TLandmarkCheck check = CheckLandmarks(PointTable, n, RegCoef);
      ASSERT_EQ(check.rows.size(), static_cast<size_t>(n));

      const auto all = LapackFit(PointTable, n, 0);
      long double sumSq = 0;
      for (int i = 1; i <= n; ++i) sumSq += Length(Miss(all, PointTable[i])) * Length(Miss(all, PointTable[i]));
      const double rms = static_cast<double>(std::sqrt(sumSq / n));
      for (int i = 1; i <= n; ++i) {
        const TLandmarkRow& r = check.rows[i - 1];
        const std::vector<long double> ref = Miss(all, PointTable[i]);
        const double len = static_cast<double>(Length(ref));
        const double scale = std::max(len, rms);
        for (int axis = 0; axis < 3; ++axis) {
          const double rel = std::fabs(r.residual[axis] - static_cast<double>(ref[axis])) / scale;
          worstResidual = std::max(worstResidual, rel);
          EXPECT_LE(rel, 1e-9) << "row " << i << " axis " << axis;
        }
        EXPECT_LE(std::fabs(r.length - len), 1e-9 * scale) << "row " << i;

        ASSERT_TRUE(r.hasLeaveOneOut) << "row " << i;
        const double loo = static_cast<double>(Length(Miss(LapackFit(PointTable, n, i), PointTable[i])));
        const double rel = std::fabs(r.leaveOneOut - loo) / loo;
        worstLoo = std::max(worstLoo, rel);
        EXPECT_LE(rel, 1e-9) << "row " << i << ": " << r.leaveOneOut << " vs " << loo;
        if (c.layout == Layout::PlanePlusOne && i == OffPlaneRow(n))
          offPlaneLoo = std::max(offPlaneLoo, rel);
      }

      const std::vector<double> s = CentredSpread(PointTable, n);
      const double spreadDiff = std::max(std::fabs(check.largestSpread - s[0]),
                                         std::fabs(check.smallestSpread - s[2]));
      worstSpread = std::max(worstSpread, spreadDiff / s[0]);
      EXPECT_LE(spreadDiff, 1e-12 * s[0]);
    }
  std::memcpy(PointTable, saved, sizeof saved);
  std::memcpy(RegCoef, savedCoef, sizeof savedCoef);
  std::printf("[ figures  ] landmark check worst relative to LAPACK: residuals %.3g, "
              "leave-one-out %.3g (refitted off-plane rows %.3g), spread %.3g\n",
              worstResidual, worstLoo, offPlaneLoo, worstSpread);
}
