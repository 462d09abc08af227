#pragma once
// Multiple linear regression by singular value decomposition: the least-squares
// coefficients and their unscaled covariance factor. The statistics of the fit are
// in RegressStats.h, the report's number fields in FormatFixed.h.
#include "Matrices.h"

// Least squares for Y[k] ~ b0 + sum_j B[j] U[j][k] (k = 1..N, j = 1..nvar; b0 only
// with constTerm; B[0] untouched without it). Fills B and the unscaled covariance
// factor V = (A^T A)^-1 over the parameter range (the pseudo-inverse when singular
// values below N * MachineEpsilon times the largest were dropped).
// kFitOk, kFitNoConvergence from the decomposition, kFitSingular when there are
// fewer observations than parameters, or kFitNoMemory when the design matrix
// cannot be allocated (N above the matrix limits).
FitResult SvdRegression(TDoubleMatrix U, TDoubleVector Y, int N, int nvar, bool constTerm,
                        TDoubleVector B, TDoubleMatrix V);

// How many singular values of that regression's design ([1, U^T] with constTerm,
// U^T without) its rule drops: those below N * MachineEpsilon times the largest,
// and those that are 0. 0 when the design has full column rank as the solver sees
// it; each dropped value is one independent linear relation among the columns.
// The result code and `dropped` = 0 on failure, as SvdRegression would return them.
// Within an SvdReuseScope the decomposition is kept for the regressions that follow.
FitResult SvdRegressionDropped(TDoubleMatrix U, int N, int nvar, bool constTerm, int& dropped);

// While a scope lives (on this thread), SvdRegression keeps the decomposition of
// the last design it factored, with its storage, and reuses it for a regression
// on bit-for-bit the same regressors: the three MRI axes of one registration
// share their tracker coordinates. The results are the bits a fresh decomposition
// gives; only the work and the allocations are saved. Scopes may nest.
class SvdReuseScope {
 public:
  SvdReuseScope();
  ~SvdReuseScope();
  SvdReuseScope(const SvdReuseScope&) = delete;
  SvdReuseScope& operator=(const SvdReuseScope&) = delete;
  struct State;

 private:
  State* state_;
  State* previous_;
};
