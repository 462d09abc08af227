#pragma once
// Generated calibrations for the landmark check tests: tracker positions in a given
// layout, MRI voxels a head-sized affine map of them with noise, rounded as the
// window stores them.
#include <cmath>
#include <random>

#include "Matrices.h"
#include "Regress.h"
#include "Types.h"

namespace landmarktest {

enum class Layout {
  Spread,        // uniform in a cube about the tracker's origin
  Offset,        // a cube far from the origin, as real sessions give
  Slab,          // a rotated slab 1:0.86:0.04 thick (integer positions)
  ThickSlab,     // a rotated slab 1:0.86:0.4 thick
  Rod,           // a rotated rod 1:0.03:0.02
  Plane,         // FOBz = 0 throughout
  TiltedPlane,   // FOBz = 1000 + FOBx - 2 FOBy exactly
  PlanePlusOne,  // TiltedPlane with one row (the middle one) 1500 off it
  Line,          // (t, 2t + 100, 50 - t) exactly
  FarRow,        // Spread with row 3 far outside the others
};

// The layouts whose positions lie exactly in a plane or on a line: FitRegistration
// refuses them, the landmark check still describes them.
inline bool Undetermined(Layout layout) {
  return layout == Layout::Plane || layout == Layout::TiltedPlane || layout == Layout::Line;
}

// The row that PlanePlusOne puts off the plane.
inline int OffPlaneRow(int n) { return (n + 1) / 2; }

inline void FillCalibration(TPointPair* table, int n, Layout layout, unsigned seed,
                            double noise = 0.7) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(-1, 1);
  std::normal_distribution<double> jitter(0, noise);
  // A fixed rotation for the slab and rod layouts.
  const double a = 0.5, b = 0.3, c = 0.8;
  const double R[3][3] = {
      {std::cos(a) * std::cos(b), std::cos(a) * std::sin(b) * std::sin(c) - std::sin(a) * std::cos(c),
       std::cos(a) * std::sin(b) * std::cos(c) + std::sin(a) * std::sin(c)},
      {std::sin(a) * std::cos(b), std::sin(a) * std::sin(b) * std::sin(c) + std::cos(a) * std::cos(c),
       std::sin(a) * std::sin(b) * std::cos(c) - std::cos(a) * std::sin(c)},
      {-std::sin(b), std::cos(b) * std::sin(c), std::cos(b) * std::cos(c)}};
  auto rotated = [&](double e0, double e1, double e2, double p[3]) {
    const double q[3] = {e0 * unit(rng), e1 * unit(rng), e2 * unit(rng)};
    for (int i = 0; i < 3; ++i) p[i] = 500 + R[i][0] * q[0] + R[i][1] * q[1] + R[i][2] * q[2];
  };
  for (int k = 1; k <= n; ++k) {
    double p[3] = {0, 0, 0};
    switch (layout) {
      case Layout::Spread:
      case Layout::FarRow:
        for (double& v : p) v = 3500 * unit(rng);
        if (layout == Layout::FarRow && k == 3) p[0] = 25000, p[1] = -20000, p[2] = 15000;
        break;
      case Layout::Offset:
        p[0] = 2000 + 2000 * unit(rng), p[1] = -5000 + 2500 * unit(rng), p[2] = 1800 + 1700 * unit(rng);
        break;
      case Layout::Slab: rotated(3500, 3000, 150, p); break;
      case Layout::ThickSlab: rotated(3500, 3000, 1400, p); break;
      case Layout::Rod: rotated(3500, 100, 80, p); break;
      case Layout::Plane:
        p[0] = 3500 * unit(rng), p[1] = 3500 * unit(rng), p[2] = 0;
        break;
      case Layout::TiltedPlane:
      case Layout::PlanePlusOne:
        p[0] = std::round(2000 * unit(rng)), p[1] = std::round(2000 * unit(rng));
        p[2] = 1000 + p[0] - 2 * p[1];
        if (layout == Layout::PlanePlusOne && k == OffPlaneRow(n)) p[2] += 1500;
        break;
      case Layout::Line: {
        const double t = std::round(3000 * unit(rng));
        p[0] = t, p[1] = 2 * t + 100, p[2] = 50 - t;
        break;
      }
    }
    TPointPair& r = table[k];
    r.FOBx = static_cast<int32_t>(std::lround(p[0]));
    r.FOBy = static_cast<int32_t>(std::lround(p[1]));
    r.FOBz = static_cast<int32_t>(std::lround(p[2]));
    const double x = r.FOBx, y = r.FOBy, z = r.FOBz;
    r.MRIx = static_cast<int32_t>(std::lround(128 + 0.027 * x - 0.006 * y + 0.001 * z + jitter(rng)));
    r.MRIy = static_cast<int32_t>(std::lround(110 + 0.005 * x + 0.026 * y - 0.004 * z + jitter(rng)));
    r.MRIz = static_cast<int32_t>(std::lround(90 - 0.001 * x + 0.003 * y + 0.028 * z + jitter(rng)));
  }
}

// The coefficients the fit's solver gives for rows 1..n, also where FitRegistration
// refuses them: the minimum-norm least-squares fit per axis (coef as RegCoef).
inline void SolverCoefficients(const TPointPair* table, int n, double (&coef)[3][4]) {
  TDoubleMatrix U = nullptr, V = nullptr;
  TDoubleVector Y = nullptr, B = nullptr;
  AllocMatrix(U, 3, n);
  AllocMatrix(V, 3, 3);
  AllocVector(Y, n);
  AllocVector(B, 3);
  for (int k = 1; k <= n; ++k) U[1][k] = table[k].FOBx, U[2][k] = table[k].FOBy, U[3][k] = table[k].FOBz;
  for (int axis = 0; axis < 3; ++axis) {
    for (int k = 1; k <= n; ++k)
      Y[k] = axis == 0 ? table[k].MRIx : axis == 1 ? table[k].MRIy : table[k].MRIz;
    for (int k = 0; k <= 3; ++k) B[k] = 0;
    SvdRegression(U, Y, n, 3, true, B, V);
    for (int k = 0; k <= 3; ++k) coef[axis][k] = B[k];
  }
  FreeVector(B, 3);
  FreeVector(Y, n);
  FreeMatrix(V, 3, 3);
  FreeMatrix(U, 3, n);
}

}  // namespace landmarktest
