#pragma once
// The multiple linear model y = b0 + b1 x1 + ... + bn xn (b0 only with a constant
// term): its parameter range, parameter names and value.
#include <string>

#include "Matrices.h"

// 0 with a constant term, 1 without.
int MulFitFirstParam(bool constTerm);
// The number of regressors.
int MulFitLastParam(int nvar);
// "b" followed by i in decimal.
std::string MulFitParamName(int i);
// B[0] (with a constant term, else 0) plus B[j] * x[j] for j = 1..nvar, each
// product added in extended precision and the sum rounded to double after each
// addition. x[0] is not read.
double MulFitFunc(TDoubleVector x, TDoubleVector B, int nvar, bool constTerm);
