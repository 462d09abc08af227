#pragma once
// The landmark check of a registration: how well each calibration row agrees with
// the fitted map (its residual), how well the other rows predict it (its
// leave-one-out error), and whether the landmarks span the tracker space well
// enough for the map to hold away from them. Computed after FitRegistration from
// the rows it fitted and the coefficients it stored; the fit itself, its report
// and RegCoef are not touched. The text functions below are the one place where
// the check's numbers become text, for zeltra-fit and the windows alike.
//
// Leave-one-out errors. For least squares with the design X = [1, FOBx, FOBy,
// FOBz], the fit of all rows but i misses row i by e_i / (1 - h_ii), e_i the
// row's residual in the fit of all rows and h_ii the diagonal of the hat matrix
// X X^+. The constant column makes h_ii = 1/n + the hat diagonal of the centred
// tracker positions, so h_ii comes from the U of one decomposition (the project's
// SvdDecompose) of the centred n x 3 matrix, the same one whose singular values
// give the spread below; centring keeps the tracker's origin offset out of the
// conditioning. Singular values below n * epsilon times the largest are dropped,
// the rule of the fit's solver.
// The computed 1 - h_ii carries an absolute error of a few epsilon, so the closed
// form is used while 1 - h_ii >= kLeaveOneOutRefitBelow (1e-4): its relative error
// then stays below about 1e-11. Below that the row holds a direction nearly alone
// (removing it changes, or almost changes, the rank), and the row is refitted
// without it: the fit's own solver (SvdRegression, the path RunModelFit takes), no
// messages; a refit that fails leaves that row without a leave-one-out error.
// Leave-one-out errors need at least kMinLeaveOneOutRows rows, so that the other
// rows are still enough for a fit (FitRegistration needs 5).
//
// Spread. The singular values s1 >= s2 >= s3 of the centred tracker positions
// measure the landmarks' extent along their principal directions. A mapped
// position's error grows with its distance d from the landmarks' centre as about
// sigma * d / s along each direction, so at s3/s1 below 0.1 a target as far off
// the landmarks' plane as they extend within it is placed more than ten times less
// precisely than one as far within it; that is the plane warning, and s2/s1 below
// 0.1 likewise the line warning (which takes its place).
#include <cstddef>
#include <string>
#include <vector>

#include "Types.h"

constexpr int kMinLeaveOneOutRows = 6;
constexpr double kLeaveOneOutRefitBelow = 1e-4;
constexpr double kPlaneSpreadRatio = 0.1;  // smallest / largest singular value
constexpr double kLineSpreadRatio = 0.1;   // middle / largest singular value

// One calibration row, in voxels.
struct TLandmarkRow {
  int row = 0;                        // the PointTable entry, from 1
  double residual[3] = {0, 0, 0};     // observed minus fitted MRIx, MRIy, MRIz
  double length = 0;                  // the residual's length
  bool hasLeaveOneOut = false;        // false: fewer than 6 rows, or the refit failed
  double leaveOneOut = 0;             // distance from the row's voxel to where the
                                      // fit of the other rows maps its tracker position
  double leaveOneOutError[3] = {0, 0, 0};  // that difference per MRI axis
};

struct TLandmarkCheck {
  std::vector<TLandmarkRow> rows;     // rows 1..n in order
  double rmsResidual = 0;             // RMS of the residual lengths
  bool hasLeaveOneOut = false;        // some row has a leave-one-out error
  double rmsLeaveOneOut = 0;          // over the rows that have one
  double maxLeaveOneOut = 0;
  int worstRow = 0;                   // the row with the largest one; 0: none
  double smallestSpread = 0;          // singular values of the centred tracker
  double middleSpread = 0;            // positions, in tracker units
  double largestSpread = 0;
  std::string warning;                // the spread warning; empty when none
};

// The check of rows table[1..n] (as PointTable holds them) against coef (as
// RegCoef after the fit: coef[axis][0..3] = b0..b3 of MRIx, MRIy, MRIz). n < 1
// gives an empty check (no rows, no warning).
TLandmarkCheck CheckLandmarks(const TPointPair* table, int n, const double (&coef)[3][4]);

// A distance or residual in voxels as the check shows it: three decimals, rounded
// half up, no minus sign on a value that shows as zero.
std::string FormatVoxels(double v);

// The cells of rows[index] for a compact table: row number, residual length,
// leave-one-out error ("n/a" where there is none), and whether it is the worst row.
struct TLandmarkCells {
  std::string row, residual, leaveOneOut;
  bool worst = false;
};
TLandmarkCells LandmarkCells(const TLandmarkCheck& check, size_t index);

// "RMS residual R; leave-one-out RMS L, max M (row k)", or "... leave-one-out n/a"
// with its reason.
std::string LandmarkSummaryText(const TLandmarkCheck& check);

// The plain-text table: a title and column header, one line per row (per-axis
// residuals, length, leave-one-out error, the worst row marked), the summary, the
// spread, and the warning when there is one.
std::vector<std::string> LandmarkCheckLines(const TLandmarkCheck& check);

// "row,dx,dy,dz,residual,leave_one_out" and one line per row, six decimals,
// leave_one_out empty where there is none; every line ends with "\n".
std::string LandmarkCheckCsv(const TLandmarkCheck& check);
