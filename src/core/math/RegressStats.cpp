#include "RegressStats.h"

#include <cmath>

#include "IncompleteBeta.h"

void FitStatistics(TDoubleVector Y, TDoubleVector Yfit, int n, int First, int Last,
                   TDoubleMatrix V, FitStats& Stats, IMessagePresenter& messages) {
  const int P = Last - First + 1;
  double sum = 0;
  for (int i = 1; i <= n; ++i) sum = sum + Y[i];
  const double Ybar = sum / n;
  double SST = 0, SSE = 0;
  for (int i = 1; i <= n; ++i) {
    const double d = Y[i] - Ybar;
    SST = SST + d * d;
    const double r = Y[i] - Yfit[i];
    SSE = SSE + r * r;
  }
  if (SST == 0) {
    messages.ShowMessage("Error: are all you data points in the same plane?");
    return;
  }
  const int df = n - P;
  Stats.ResidualVariance = SSE / df;
  for (int i = First; i <= Last; ++i)
    for (int j = i; j <= Last; ++j) V[i][j] = V[i][j] * Stats.ResidualVariance;
  for (int i = First + 1; i <= Last; ++i)
    for (int j = First; j <= i - 1; ++j) V[i][j] = V[j][i];
}

void ParameterStatistics(TDoubleVector B, TDoubleMatrix V, int n, int First, int Last,
                         TDoubleVector StdDev, TDoubleVector TValue, TDoubleVector TProb) {
  const int df = n - (Last - First + 1);
  for (int i = First; i <= Last; ++i) {
    if (V[i][i] > 0) {
      StdDev[i] = std::sqrt(V[i][i]);
      TValue[i] = B[i] / StdDev[i];
      TProb[i] = StudentProb(df, TValue[i]);
    } else {
      StdDev[i] = 0;
      TValue[i] = 0;
      TProb[i] = 1;
    }
  }
}

double StudentProb(int df, double t) {
  if (df <= 0) return 0.0;
  const double v = df;
  return BetaRatio(0.5 * v, 0.5, v / (v + t * t));
}
