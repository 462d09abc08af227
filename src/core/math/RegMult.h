#pragma once
// The affine registration: the calibration point store, the coefficient set and
// the fit with its report.
#include <string>
#include <vector>

#include "Interfaces.h"
#include "Types.h"

// The calibration rows, entries 1..127 (entry 0 is not used). Entry r belongs to
// grid row r. All zero at program start.
extern TPointPair PointTable[kPointTableEntries + 1];

// The coefficients b0..b3 per MRI axis: RegCoef[axis - 1][k], axis 1 = MRIx,
// 2 = MRIy, 3 = MRIz. All zero at program start.
extern double RegCoef[3][4];

// Fits MRI = b0 + b1*FOBx + b2*FOBy + b3*FOBz per axis over PointTable entries
// 1..n, appends the report lines to `list`, stores the coefficients of every axis
// that was fitted in RegCoef, and shows its messages through `messages`. False only
// when it refused to run (n < 5, or n beyond the table's 127 entries).
bool FitRegistration(int n, std::vector<std::string>& list, IMessagePresenter& messages);
