#pragma once
// What the benchmarks share: a message presenter that shows nothing, and a
// head-sized calibration in PointTable.
#include <cmath>
#include <random>
#include <string>

#include "Interfaces.h"
#include "math/RegMult.h"

class TSilentPresenter : public IMessagePresenter {
 public:
  void ShowMessage(const std::string&) override {}
  void ShowError(const std::string&) override {}
};

// Rows 1..n: noisy samples of a rotation and scale of tracker positions within
// +-3500 units. With `offPlane` the positions lie on a plane but for the last row.
inline void FillHeadCalibration(int n, unsigned seed, bool offPlane = false) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> fob(-3500, 3500);
  std::normal_distribution<double> noise(0, 0.7);
  for (int k = 1; k <= n; ++k) {
    TPointPair& p = PointTable[k];
    p.FOBx = fob(rng);
    p.FOBy = fob(rng);
    p.FOBz = offPlane ? (k == n ? 3000 : 200 + p.FOBx - 2 * p.FOBy) : fob(rng);
    p.MRIx = static_cast<int>(std::lround(128 + 0.027 * p.FOBx - 0.006 * p.FOBy + noise(rng)));
    p.MRIy = static_cast<int>(std::lround(110 + 0.005 * p.FOBx + 0.026 * p.FOBy - 0.004 * p.FOBz + noise(rng)));
    p.MRIz = static_cast<int>(std::lround(90 - 0.001 * p.FOBx + 0.028 * p.FOBz + noise(rng)));
  }
}
