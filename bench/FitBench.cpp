// FitRegistration (three SVD fits, statistics and the formatted report) against
// LAPACK: dgelsd for the three axes at once, then the covariance of each axis as
// its residual variance times (A^T A)^-1 (dsyrk, dpotrf, dpotri). The summary
// lines at the end give both times and their ratio for every n.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "Interfaces.h"
#include "BenchSupport.h"
#include "math/RegMult.h"

extern "C" {
void dgelsd_(const int* m, const int* n, const int* nrhs, double* a, const int* lda, double* b,
             const int* ldb, double* s, const double* rcond, int* rank, double* work,
             const int* lwork, int* iwork, int* info);
void dsyrk_(const char* uplo, const char* trans, const int* n, const int* k, const double* alpha,
            const double* a, const int* lda, const double* beta, double* c, const int* ldc);
void dpotrf_(const char* uplo, const int* n, double* a, const int* lda, int* info);
void dpotri_(const char* uplo, const int* n, double* a, const int* lda, int* info);
}

namespace {


void BM_FitRegistration(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  FillHeadCalibration(n, 12345);
  TSilentPresenter quiet;
  std::vector<std::string> report;
  for (auto _ : state) {
    report.clear();
    benchmark::DoNotOptimize(FitRegistration(n, report, quiet));
    benchmark::DoNotOptimize(report.data());
  }
}

void BM_Lapack(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  FillHeadCalibration(n, 12345);
  const int p = 4, nrhs = 3;
  std::vector<double> A0(static_cast<size_t>(n) * p), Y0(static_cast<size_t>(n) * nrhs);
  for (int k = 0; k < n; ++k) {
    const TPointPair& r = PointTable[k + 1];
    A0[k] = 1;
    A0[n + k] = r.FOBx;
    A0[2 * n + k] = r.FOBy;
    A0[3 * n + k] = r.FOBz;
    Y0[k] = r.MRIx;
    Y0[n + k] = r.MRIy;
    Y0[2 * n + k] = r.MRIz;
  }
  std::vector<double> A(A0.size()), Y(Y0.size()), s(p), cov(16), V(3 * 16);
  const double rcond = n * 2.220446049250313e-16;
  int rank = 0, info = 0, lwork = -1, iquery = 0;
  double query = 0;
  dgelsd_(&n, &p, &nrhs, A.data(), &n, Y.data(), &n, s.data(), &rcond, &rank, &query, &lwork,
          &iquery, &info);
  lwork = static_cast<int>(query);
  std::vector<double> work(lwork);
  std::vector<int> iwork(iquery > 0 ? iquery : 1);
  const double one = 1, zero = 0;
  for (auto _ : state) {
    A = A0;
    Y = Y0;
    dgelsd_(&n, &p, &nrhs, A.data(), &n, Y.data(), &n, s.data(), &rcond, &rank, work.data(), &lwork,
            iwork.data(), &info);
    // (A^T A)^-1 from the original design.
    dsyrk_("U", "T", &p, &n, &one, A0.data(), &n, &zero, cov.data(), &p);
    dpotrf_("U", &p, cov.data(), &p, &info);
    dpotri_("U", &p, cov.data(), &p, &info);
    for (int axis = 0; axis < 3; ++axis) {
      double sse = 0;
      for (int k = 0; k < n; ++k) {
        double fit = 0;
        for (int j = 0; j < p; ++j) fit += A0[static_cast<size_t>(j) * n + k] * Y[static_cast<size_t>(axis) * n + j];
        const double r = Y0[static_cast<size_t>(axis) * n + k] - fit;
        sse += r * r;
      }
      const double variance = sse / (n - p);
      for (int i = 0; i < p; ++i)
        for (int j = i; j < p; ++j) V[axis * 16 + i * 4 + j] = variance * cov[j * 4 + i];
    }
    benchmark::DoNotOptimize(V.data());
    benchmark::DoNotOptimize(Y.data());
  }
}

BENCHMARK(BM_FitRegistration)->Arg(5)->Arg(25)->Arg(125);
BENCHMARK(BM_Lapack)->Arg(5)->Arg(25)->Arg(125);

// Remembers every run's time per iteration for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // Single runs, or with --benchmark_repetitions the median of the repetitions.
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      if (r.run_type == Run::RT_Iteration && !medians.count(r.run_name.str()))
        times[r.run_name.str()] = r.GetAdjustedRealTime();  // in the run's time unit (ns)
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
        times[r.run_name.str()] = r.GetAdjustedRealTime();
        medians.insert(r.run_name.str());
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
  std::set<std::string> medians;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nFitRegistration (with its report) against LAPACK dgelsd + covariance:\n");
  for (int n : {5, 25, 125}) {
    const auto fit = reporter.times.find("BM_FitRegistration/" + std::to_string(n));
    const auto lapack = reporter.times.find("BM_Lapack/" + std::to_string(n));
    if (fit == reporter.times.end() || lapack == reporter.times.end()) continue;
    std::printf("  n = %3d: FitRegistration %8.2f us, LAPACK %8.2f us, ratio %.2f%s\n", n,
                fit->second / 1000, lapack->second / 1000, fit->second / lapack->second,
                fit->second <= lapack->second ? "" : "  (slower than LAPACK)");
  }
  benchmark::Shutdown();
  return 0;
}
