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

// The fewest calibration rows a registration is fitted from.
constexpr int kMinRegistrationRows = 5;

// What the tracker positions of calibration rows span, as the fit's solver sees
// them: the whole tracker space, or only a plane, a line or a single point. The
// map is determined only in the first case.
//
// The decision is the solver's own rank rule (SvdRegression): the design matrix
// [1, FOBx, FOBy, FOBz] of the rows is decomposed, and every singular value below
// n * MachineEpsilon times the largest is one the solver drops. No relation among
// the columns can leave out the tracker columns b1..b3 (the constant column alone
// is never zero), so each dropped value is an independent relation c0 + c1*FOBx +
// c2*FOBy + c3*FOBz = 0 that every position fulfils: a plane holding them all. One
// dropped value is a plane, two a line (two planes), three a single point. Sets
// that are merely close to a plane keep their smallest singular value and are
// fitted; the landmark check warns about them.
enum class TTrackerSpan { Space, Plane, Line, Point };

// The span of the tracker positions of table[1..n]. Fewer than four rows are
// judged by their positions all the same (repeating a row changes no span); n < 1
// and a decomposition that fails give Space (nothing to refuse for).
TTrackerSpan TrackerSpan(const TPointPair* table, int n);

// The message that refuses a fit of table[1..n] whose tracker positions span only
// `span` (not Space): what is wrong, with the tracker coordinates that are the same
// in every row, and what to do. Empty for Space.
std::string UndeterminedMapText(const TPointPair* table, int n, TTrackerSpan span);

// Fits MRI = b0 + b1*FOBx + b2*FOBy + b3*FOBz per axis over PointTable entries
// 1..n, appends the report lines to `list`, stores the coefficients of every axis
// that was fitted in RegCoef, and shows its messages through `messages`.
// False when it refused to fit, with one message shown and RegCoef as it was:
// - n < 5 ("At least 5 samples required for 3D registration."), or n beyond the
//   table's 127 entries; nothing is appended to `list`;
// - tracker positions that cannot determine the map (TrackerSpan not Space): the
//   message is UndeterminedMapText, and `list` receives the observation count, an
//   empty line and the same text.
bool FitRegistration(int n, std::vector<std::string>& list, IMessagePresenter& messages);
