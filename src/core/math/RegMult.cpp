#include "RegMult.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "FormatFixed.h"
#include "RegMultInternal.h"
#include "Regress.h"

TPointPair PointTable[kPointTableEntries + 1];
double RegCoef[3][4];

namespace {

constexpr const char* kHeader =
    "Parameter    Est.value         Std.dev.        t Student       Prob(>|t|)";

// A vector or matrix released when the scope ends.
struct Vec {
  TDoubleVector v = nullptr;
  int ub;
  explicit Vec(int u) : ub(u) { AllocVector(v, ub); }
  ~Vec() { FreeVector(v, ub); }
  Vec(const Vec&) = delete;
  Vec& operator=(const Vec&) = delete;
};
struct Mat {
  TDoubleMatrix a = nullptr;
  int ub1, ub2;
  Mat(int u1, int u2) : ub1(u1), ub2(u2) { AllocMatrix(a, ub1, ub2); }
  ~Mat() { FreeMatrix(a, ub1, ub2); }
  Mat(const Mat&) = delete;
  Mat& operator=(const Mat&) = delete;
};

// The tracker coordinate c (0..2) of row p.
int32_t TrackerCoordinate(const TPointPair& p, int c) {
  return c == 0 ? p.FOBx : c == 1 ? p.FOBy : p.FOBz;
}

}  // namespace

TTrackerSpan TrackerSpan(const TPointPair* table, int n) {
  if (!table || n < 1) return TTrackerSpan::Space;
  // At least as many rows as the design has columns: further copies of the last
  // row span nothing new.
  const int rows = n < 4 ? 4 : n;
  Mat U(3, rows);
  if (!U.a) return TTrackerSpan::Space;
  for (int k = 1; k <= rows; ++k)
    for (int c = 0; c < 3; ++c) U.a[c + 1][k] = TrackerCoordinate(table[k <= n ? k : n], c);
  int dropped = 0;
  if (SvdRegressionDropped(U.a, rows, 3, true, dropped) != kFitOk) return TTrackerSpan::Space;
  switch (dropped) {
    case 0: return TTrackerSpan::Space;
    case 1: return TTrackerSpan::Plane;
    case 2: return TTrackerSpan::Line;
    default: return TTrackerSpan::Point;
  }
}

std::string UndeterminedMapText(const TPointPair* table, int n, TTrackerSpan span) {
  if (span == TTrackerSpan::Space || !table || n < 1) return {};
  static const char* const kNames[3] = {"FOBx", "FOBy", "FOBz"};
  const TPointPair& first = table[1];
  if (span == TTrackerSpan::Point)
    return "All landmarks have the same tracker position (" + std::to_string(first.FOBx) + ", " +
           std::to_string(first.FOBy) + ", " + std::to_string(first.FOBz) +
           "), so the registration cannot be determined. Record landmarks at different "
           "positions, spread in all three directions, then fit again.";
  // The coordinates that are the same in every row, as the likely cause.
  std::string same;
  for (int c = 0; c < 3; ++c) {
    bool constant = true;
    for (int k = 2; k <= n && constant; ++k)
      constant = TrackerCoordinate(table[k], c) == TrackerCoordinate(first, c);
    if (!constant) continue;
    same += same.empty() ? " (" : " and ";
    same += std::string(kNames[c]) + " is " + std::to_string(TrackerCoordinate(first, c));
  }
  if (!same.empty()) same += " in every row)";
  if (span == TTrackerSpan::Line)
    return "The landmarks' tracker positions lie on one line" + same +
           ", so the registration cannot be determined. Record landmarks off that line, "
           "spread in all three directions, then fit again.";
  return "The landmarks' tracker positions lie in one plane" + same +
         ", so the registration cannot be determined. Record landmarks off that plane, "
         "then fit again.";
}

void WriteAxisReport(const std::string& axisName, int n, int axis, TDoubleVector B,
                     TDoubleMatrix V, const FitStats& stats, std::vector<std::string>& list) {
  const int first = FirstParamIndex();
  const int last = LastParamIndex();
  list.emplace_back();
  list.push_back(axisName + "  = b0 + b1*FOBx + b2*FOBy + b3*FOBz");
  Vec stdDev(last), tValue(last), tProb(last);
  if (!stdDev.v || !tValue.v || !tProb.v) return;
  ParameterStatistics(B, V, n, first, last, stdDev.v, tValue.v, tProb.v);
  list.push_back(kHeader);
  const bool exactFit = stats.ResidualVariance == 0;
  for (int k = first; k <= last; ++k) {
    std::string line = ParamLabel(k);
    line.reserve(line.size() + 4 * 17);
    if (stdDev.v[k] > 0) {
      AppendFormatColumn(line, B[k], 17, 8);
      AppendFormatColumn(line, stdDev.v[k], 17, 8);
      AppendFormatColumn(line, tValue.v[k], 17, 2);
      AppendFormatColumn(line, tProb.v[k], 17, 4);
    } else {
      // No spread left for this parameter. With a residual it is undetermined and
      // dropped; in an exact fit its estimate is exact and stays.
      if (!exactFit) B[k] = 0;
      AppendFormatColumn(line, B[k], 17, 8);
    }
    list.push_back(std::move(line));
    if (k >= 0 && k <= 3) RegCoef[axis - 1][k] = B[k];
  }
}

bool FitRegistrationWith(int n, std::vector<std::string>& list, IMessagePresenter& messages,
                         TAxisFit axisFit) {
  if (n < kMinRegistrationRows) {
    messages.ShowMessage("At least 5 samples required for 3D registration.");
    return false;
  }
  if (n > kPointTableEntries) {
    // The table has no more entries; reading past it would fit foreign memory.
    messages.ShowMessage("At most 127 samples can be registered.");
    return false;
  }

  Vec constants(1);
  Mat X(3, n);
  Vec Y(n);
  if (!constants.v || !X.a || !Y.v) return false;
  constants.v[0] = 3.0;
  constants.v[1] = 1.0;
  for (int k = 1; k <= n; ++k) {
    X.a[1][k] = PointTable[k].FOBx;
    X.a[2][k] = PointTable[k].FOBy;
    X.a[3][k] = PointTable[k].FOBz;
  }

  char count[48];
  std::snprintf(count, sizeof count, "Number of observations = %5d", n);

  // The three axes share their regressors and so their decomposition, the one
  // that decides whether the positions determine the map at all; the per-axis
  // items are zeroed afresh for each axis.
  SvdReuseScope reuse;
  const TTrackerSpan span = TrackerSpan(PointTable, n);
  if (span != TTrackerSpan::Space) {
    const std::string text = UndeterminedMapText(PointTable, n, span);
    messages.ShowMessage(text);
    list.emplace_back(count);
    list.emplace_back();
    list.push_back(text);
    return false;
  }
  list.emplace_back(count);
  SelectModel(kModelMultipleLinear, kVarianceConstant, constants.v);
  const int last = LastParamIndex();
  Vec B(last), Ycalc(n), S(n), Theta(0);
  Mat V(last, last);
  const bool stored = B.v && Ycalc.v && S.v && Theta.v && V.a;

  static const char* const kAxisNames[3] = {"MRIx", "MRIy", "MRIz"};
  for (int axis = 1; axis <= 3; ++axis) {
    for (int k = 1; k <= n; ++k) {
      const TPointPair& p = PointTable[k];
      Y.v[k] = axis == 1 ? p.MRIx : axis == 2 ? p.MRIy : p.MRIz;
    }
    SelectModel(kModelMultipleLinear, kVarianceConstant, constants.v);
    FitStats stats;
    FitResult result = kFitNoMemory;
    if (stored) {
      for (int k = 0; k <= last; ++k) {
        B.v[k] = 0;
        for (int j = 0; j <= last; ++j) V.a[k][j] = 0;
      }
      for (int k = 0; k <= n; ++k) Ycalc.v[k] = S.v[k] = 0;
      Theta.v[0] = 0;
      result = axisFit(X.a, Y.v, n, true, 1, 0.1, Theta.v, B.v, V.a, Ycalc.v, S.v, stats, messages);
    }
    if (result == kFitNoConvergence)
      messages.ShowMessage("Non-convergence of SVD algorithm !");
    else if (result == kFitSingular)
      messages.ShowMessage("Singular matrix !");
    else if (result == kFitOk)
      WriteAxisReport(kAxisNames[axis - 1], n, axis, B.v, V.a, stats, list);
  }
  return true;
}

bool FitRegistration(int n, std::vector<std::string>& list, IMessagePresenter& messages) {
  return FitRegistrationWith(n, list, messages, &RunModelFit);
}
