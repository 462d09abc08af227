#pragma once
// The parts of the registration fit below FitRegistration, for the tests: the
// per-axis report writer and a FitRegistration whose per-axis fit can be replaced.
#include <string>
#include <vector>

#include "Interfaces.h"
#include "Matrices.h"
#include "Models.h"
#include "RegressStats.h"

// The per-axis fit FitRegistration runs (RunModelFit's signature).
using TAxisFit = FitResult (*)(TDoubleMatrix U, TDoubleVector Y, int N, bool linearEstimate,
                               int maxIter, double tolerance, TDoubleVector Theta,
                               TDoubleVector B, TDoubleMatrix V, TDoubleVector Ycalc,
                               TDoubleVector S, FitStats& stats, IMessagePresenter& messages);

// FitRegistration with `axisFit` in place of RunModelFit.
bool FitRegistrationWith(int n, std::vector<std::string>& list, IMessagePresenter& messages,
                         TAxisFit axisFit);

// Appends one axis's report lines (blank line, formula, header, b0..b3) and stores
// its coefficients in RegCoef[axis - 1]. A parameter whose standard deviation is
// 0 shows its estimate only; when the fit left a residual (stats.ResidualVariance
// > 0) such a parameter is undetermined by the data and is stored as 0, while in an
// exact fit (no residual) the estimate itself is exact and is kept.
void WriteAxisReport(const std::string& axisName, int n, int axis, TDoubleVector B,
                     TDoubleMatrix V, const FitStats& stats, std::vector<std::string>& list);
