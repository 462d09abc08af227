// The landmark check after a registration: residuals, the leave-one-out error of
// every row (closed form), the spread; and the same with one row that only a refit
// of the others can answer (a coplanar calibration with one row off the plane).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "BenchSupport.h"
#include "math/LandmarkCheck.h"
#include "math/RegMult.h"

namespace {

// A head-sized calibration of n rows, fitted; with `offPlane` the tracker
// positions lie on a plane but for the last row.
void FitCalibration(int n, bool offPlane) {
  FillHeadCalibration(n, 2024, offPlane);
  TSilentPresenter quiet;
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
