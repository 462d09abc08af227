// The landmark check after a registration: residuals, the leave-one-out error of
// every row (closed form), the spread; and the same with one row that only a refit
// of the others can answer (a coplanar calibration with one row off the plane).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "Interfaces.h"
#include "math/LandmarkCheck.h"
#include "math/RegMult.h"

namespace {

class QuietPresenter : public IMessagePresenter {
 public:
  void ShowMessage(const std::string&) override {}
  void ShowError(const std::string&) override {}
};

// A head-sized calibration of n rows, fitted; with `offPlane` the tracker
// positions lie on a plane but for the last row.
void FitCalibration(int n, bool offPlane) {
  std::mt19937 rng(2024);
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
  QuietPresenter quiet;
  std::vector<std::string> report;
  FitRegistration(n, report, quiet);
}

void RunCheck(benchmark::State& state, bool offPlane) {
  const int n = static_cast<int>(state.range(0));
  FitCalibration(n, offPlane);
  for (auto _ : state) {
    TLandmarkCheck check = CheckLandmarks(PointTable, n, RegCoef);
    benchmark::DoNotOptimize(check.rows.data());
  }
}

void BM_CheckLandmarks(benchmark::State& state) { RunCheck(state, false); }
void BM_CheckLandmarksOneRefit(benchmark::State& state) { RunCheck(state, true); }

}  // namespace

BENCHMARK(BM_CheckLandmarks)->Arg(5)->Arg(25)->Arg(125);
BENCHMARK(BM_CheckLandmarksOneRefit)->Arg(25)->Arg(125);
