#pragma once
// The model layer: selects a model kind and fits it. The program uses the
// multiple linear model (code 1) with constant variance (variance-model code 0);
// no other kind is provided.
#include <string>

#include "Interfaces.h"
#include "Matrices.h"
#include "RegressStats.h"

constexpr int kModelMultipleLinear = 1;
constexpr int kVarianceConstant = 0;

// Stores the model and variance-model codes and reads the model constants:
// constants[0] rounded to the nearest integer is the number of regressors,
// constants[1] == 1.0 means a constant term. Kept until the next call.
void SelectModel(int modelCode, int varianceModelCode, TDoubleVector constants);

// Parameter range, names and value of the selected model.
int FirstParamIndex();
int LastParamIndex();
std::string ParamLabel(int i);
// The model's value for the regressors x[1..nvar] and parameters B.
double ModelValue(TDoubleVector x, TDoubleVector B);

// Fits the selected model to Y[1..N] with the regressors U[j][k] (j = 1..nvar,
// k = 1..N). With linearEstimate the parameters come from SvdRegression, else B
// and V stay as the caller filled them; maxIter and tolerance belong to
// iterative model kinds and are not used. On success it fills Ycalc[1..N], runs
// FitStatistics (which may show its message through `messages`), and sets
// Theta[0] to the residual variance and S[1..N] to its square root.
// The result code; on failure Ycalc, S, Theta and stats are untouched. A model
// code other than the multiple linear one, or a variance model other than the
// constant one, gives kFitNoModel.
FitResult RunModelFit(TDoubleMatrix U, TDoubleVector Y, int N, bool linearEstimate, int maxIter,
                      double tolerance, TDoubleVector Theta, TDoubleVector B, TDoubleMatrix V,
                      TDoubleVector Ycalc, TDoubleVector S, FitStats& stats,
                      IMessagePresenter& messages);
