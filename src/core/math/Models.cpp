#include "Models.h"

#include <cmath>

#include "ExtendedPrecision.h"
#include "FitMult.h"
#include "Regress.h"

namespace {

// The model selection, kept between calls.
struct ModelSelection {
  int model = kModelMultipleLinear;
  int varianceModel = kVarianceConstant;
  int nvar = 0;
  bool constTerm = true;
};
ModelSelection g_model;

// The fit's row vector: on the stack for the usual few parameters, else
// allocated and freed on every way out.
struct RowVector {
  double local[16];
  TDoubleVector v = nullptr;
  TDoubleVector heap = nullptr;
  int ub = 0;
  explicit RowVector(int u) : ub(u) {
    if (ub >= 0 && ub < 16) {
      for (int i = 0; i <= ub; ++i) local[i] = 0;
      v = local;
    } else {
      AllocVector(heap, ub);
      v = heap;
    }
  }
  ~RowVector() { FreeVector(heap, ub); }
  RowVector(const RowVector&) = delete;
  RowVector& operator=(const RowVector&) = delete;
};

}  // namespace

void SelectModel(int modelCode, int varianceModelCode, TDoubleVector constants) {
  g_model.model = modelCode;
  g_model.varianceModel = varianceModelCode;
  g_model.nvar = static_cast<int>(std::lround(constants[0]));
  g_model.constTerm = constants[1] == 1.0;
}

int FirstParamIndex() { return MulFitFirstParam(g_model.constTerm); }

int LastParamIndex() { return MulFitLastParam(g_model.nvar); }

std::string ParamLabel(int i) { return MulFitParamName(i); }

double ModelValue(TDoubleVector x, TDoubleVector B) {
  return MulFitFunc(x, B, g_model.nvar, g_model.constTerm);
}

FitResult RunModelFit(TDoubleMatrix U, TDoubleVector Y, int N, bool linearEstimate, int /*maxIter*/,
                      double /*tolerance*/, TDoubleVector Theta, TDoubleVector B, TDoubleMatrix V,
                      TDoubleVector Ycalc, TDoubleVector S, FitStats& stats,
                      IMessagePresenter& messages) {
  if (g_model.model != kModelMultipleLinear || g_model.varianceModel != kVarianceConstant)
    return kFitNoModel;
  ExtendedPrecisionScope precision;  // once for all the fitted values
  RowVector row(LastParamIndex());
  if (!row.v) return kFitNoMemory;

  FitResult result = kFitOk;
  if (linearEstimate)
    result = SvdRegression(U, Y, N, g_model.nvar, g_model.constTerm, B, V);
  if (result == kFitOk) {
    const int first = FirstParamIndex();
    const int last = LastParamIndex();
    for (int i = 1; i <= N; ++i) {
      CopyColumn(row.v, U, first, last, i);
      Ycalc[i] = ModelValue(row.v, B);
    }
    FitStatistics(Y, Ycalc, N, first, last, V, stats, messages);
    Theta[0] = stats.ResidualVariance;
    const double sd = std::sqrt(stats.ResidualVariance);
    for (int i = 1; i <= N; ++i) S[i] = sd;
  }
  return result;
}
