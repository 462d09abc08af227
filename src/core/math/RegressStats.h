#pragma once
// The regression statistics: the residual variance of a fit, the variance-
// covariance matrix of its parameters, their standard deviations, Student's t and
// the probability of a larger |t|.
#include "Interfaces.h"
#include "Matrices.h"

// The statistics of one fit that the report needs.
struct FitStats {
  double ResidualVariance = 0;  // SSE / (n - parameters)
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
