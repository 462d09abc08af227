#pragma once
// Multiple linear regression by singular value decomposition, the regression
// statistics (residual variance, standard deviations, Student's t and its
// probability), the incomplete beta function behind that probability, and the
// fixed-point rendering of the report's numbers.
#include <string>

#include "Interfaces.h"
#include "Matrices.h"

// The statistics of one fit that the report needs.
struct FitStats {
  double ResidualVariance = 0;  // SSE / (n - parameters)
};

// Least squares for Y[k] ~ b0 + sum_j B[j] U[j][k] (k = 1..N, j = 1..nvar; b0 only
// with constTerm; B[0] untouched without it). Fills B and the unscaled covariance
// factor V = (A^T A)^-1 over the parameter range (the pseudo-inverse when singular
// values below N * MachineEpsilon times the largest were dropped).
// kFitOk, kFitNoConvergence from the decomposition, kFitSingular when there are
// fewer observations than parameters, or kFitNoMemory when the design matrix
// cannot be allocated (N above the matrix limits).
FitResult SvdRegression(TDoubleMatrix U, TDoubleVector Y, int N, int nvar, bool constTerm,
                        TDoubleVector B, TDoubleMatrix V);

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

// Residual variance of the fit Yfit of Y (1..n) with parameters First..Last, and
// V scaled in place by it (upper triangle scaled, lower triangle a copy of it).
// When every Y is the same it shows "Error: are all you data points in the same
// plane?" through `messages` and returns at once, leaving V and Stats as they were.
void FitStatistics(TDoubleVector Y, TDoubleVector Yfit, int n, int First, int Last,
                   TDoubleMatrix V, FitStats& Stats, IMessagePresenter& messages);

// For i = First..Last: StdDev = sqrt(V[i][i]), TValue = B[i] / StdDev and TProb =
// StudentProb(n - parameters, TValue); a variance that is not positive (or NaN)
// gives 0, 0 and 1.
void ParameterStatistics(TDoubleVector B, TDoubleMatrix V, int n, int First, int Last,
                         TDoubleVector StdDev, TDoubleVector TValue, TDoubleVector TProb);

// Probability that |T| > |t| for Student's T with df degrees of freedom; 0 when
// df <= 0.
double StudentProb(int df, double t);

// The regularized incomplete beta integral I_x(a, b): 0 outside a > 0, b > 0,
// 0 <= x <= 1; x itself at x = 0 and x = 1.
double BetaRatio(double a, double b, double x);
// Its power series (for b x <= 1 and x <= 0.95). Arguments outside 0 <= x <= 0.95
// give the value the series reaches after a bounded number of terms.
double BetaSeries(double a, double b, double x);
// Its two continued fractions (at most 401 iterations; the last approximant is
// returned when the stop test is not met). BetaFraction2 is x / (1 - x) based
// and its result is divided by 1 - x by the caller.
double BetaFraction1(double a, double b, double x);
double BetaFraction2(double a, double b, double x);

// The value with exactly `decimals` decimals, rounded half up on the first dropped
// digit of its 17-decimal (below 10) or 18-significant-digit decimal string, a
// minus sign for every negative value, padded on the left to `width` (never cut).
// "Nan", "+Inf", "-Inf" padded likewise; magnitudes of 1E36 and more in the
// scientific form " d.ddddE+dddd" with width - 8 significant digits (2..18).
std::string FormatFixed(double value, int width, int decimals);
// The same text appended to `out`.
void AppendFormatFixed(std::string& out, double value, int width, int decimals);
