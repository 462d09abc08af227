#include "LandmarkCheck.h"

#include <algorithm>
#include <cmath>

#include "ExtendedPrecision.h"
#include "FMath.h"
#include "FitMult.h"
#include "FormatFixed.h"
#include "Matrices.h"
#include "Regress.h"

namespace {

// A matrix 0..rows-1 x 0..cols-1 in one block with its row table.
struct Block {
  std::vector<double> cells;
  std::vector<double*> rowTable;
  Block(int rows, int cols) : cells(static_cast<size_t>(rows) * cols, 0.0), rowTable(rows) {
    for (int r = 0; r < rows; ++r) rowTable[r] = cells.data() + static_cast<size_t>(r) * cols;
  }
  TDoubleMatrix a() { return rowTable.data(); }
};

long double Observed(const TPointPair& p, int axis) {
  return axis == 0 ? p.MRIx : axis == 1 ? p.MRIy : p.MRIz;
}

long double Tracker(const TPointPair& p, int c) {
  return c == 0 ? p.FOBx : c == 1 ? p.FOBy : p.FOBz;
}

// The distance from row `skip`'s voxel to where the fit of the other rows maps its
// tracker position: the fit's solver on the other rows, all three axes. False when
// a fit fails.
bool RefitWithout(const TPointPair* table, int n, int skip, double& distance, double (&error)[3]) {
  const int N = n - 1;
  Block U(4, N + 1), V(4, 4);
  std::vector<double> Y(static_cast<size_t>(N) + 1), B(4), x(4);
  for (int i = 1, k = 0; i <= n; ++i) {
    if (i == skip) continue;
    ++k;
    for (int c = 0; c < 3; ++c) U.a()[c + 1][k] = static_cast<double>(Tracker(table[i], c));
  }
  for (int c = 0; c < 3; ++c) x[c + 1] = static_cast<double>(Tracker(table[skip], c));
  SvdReuseScope reuse;  // the three axes share the decomposition
  long double sumSq = 0;
  for (int axis = 0; axis < 3; ++axis) {
    for (int i = 1, k = 0; i <= n; ++i)
      if (i != skip) Y[++k] = static_cast<double>(Observed(table[i], axis));
    if (SvdRegression(U.a(), Y.data(), N, 3, true, B.data(), V.a()) != kFitOk) return false;
    const long double d = Observed(table[skip], axis) - MulFitFunc(x.data(), B.data(), 3, true);
    error[axis] = static_cast<double>(d);
    sumSq += d * d;
  }
  distance = static_cast<double>(std::sqrt(sumSq));
  return true;
}

// The spread warning for singular values s1 >= s2 >= s3; empty when none.
std::string SpreadWarning(double s1, double s2, double s3) {
  if (s1 == 0) return "Warning: all landmarks are at one tracker position: the registration is undetermined.";
  if (s2 < kLineSpreadRatio * s1)
    return "Warning: the landmarks lie close to a line (middle/largest spread " +
           FormatFixed(s2 / s1, 0, 3) + ", below " + FormatFixed(kLineSpreadRatio, 0, 1) +
           "): positions away from that line are poorly determined.";
  if (s3 < kPlaneSpreadRatio * s1)
    return "Warning: the landmarks lie close to a plane (smallest/largest spread " +
           FormatFixed(s3 / s1, 0, 3) + ", below " + FormatFixed(kPlaneSpreadRatio, 0, 1) +
           "): positions away from that plane are poorly determined.";
  return {};
}

// FormatFixed without a minus sign on a value that shows as zero.
std::string Fixed(double v, int decimals) {
  std::string text = FormatFixed(v, 0, decimals);
  if (!text.empty() && text[0] == '-' && text.find_first_of("123456789") == std::string::npos)
    text.erase(0, 1);
  return text;
}

std::string PadLeft(const std::string& text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// A column after others: padded on the left to its width, and a text that fills
// or overflows it (never cut) set off by one blank from what stands before it.
std::string Column(const std::string& text, size_t width) {
  return text.size() >= width ? " " + text : PadLeft(text, width);
}

}  // namespace

TLandmarkCheck CheckLandmarks(const TPointPair* table, int n, const double (&coef)[3][4]) {
  TLandmarkCheck check;
  if (!table || n < 1) return check;
  ExtendedPrecisionScope precision;

  // Residuals through the fitted coefficients.
  check.rows.resize(static_cast<size_t>(n));
  long double residualSq = 0;
  for (int i = 1; i <= n; ++i) {
    const TPointPair& p = table[i];
    TLandmarkRow& r = check.rows[static_cast<size_t>(i) - 1];
    r.row = i;
    long double lengthSq = 0;
    for (int axis = 0; axis < 3; ++axis) {
      long double fitted = coef[axis][0];
      for (int c = 0; c < 3; ++c) fitted += static_cast<long double>(coef[axis][c + 1]) * Tracker(p, c);
      r.residual[axis] = static_cast<double>(Observed(p, axis) - fitted);
      lengthSq += static_cast<long double>(r.residual[axis]) * r.residual[axis];
    }
    r.length = static_cast<double>(std::sqrt(lengthSq));
    residualSq += static_cast<long double>(r.length) * r.length;
  }
  check.rmsResidual = static_cast<double>(std::sqrt(residualSq / n));

  // The centred tracker positions and their decomposition; at least 3 rows (zero
  // rows added change neither the singular values nor the hat diagonal).
  const int rows = std::max(n, 3);
  Block A(rows, 3), V(3, 3);
  double w[3] = {0, 0, 0};
  long double mean[3] = {0, 0, 0};
  for (int i = 1; i <= n; ++i)
    for (int c = 0; c < 3; ++c) mean[c] += Tracker(table[i], c);
  for (int c = 0; c < 3; ++c) mean[c] /= n;
  for (int i = 1; i <= n; ++i)
    for (int c = 0; c < 3; ++c) A.a()[i - 1][c] = static_cast<double>(Tracker(table[i], c) - mean[c]);
  const bool decomposed = SvdDecompose(A.a(), 0, rows - 1, 2, w, V.a()) == kFitOk;
  if (decomposed) {
    double s[3] = {w[0], w[1], w[2]};
    std::sort(s, s + 3);
    check.smallestSpread = s[0];
    check.middleSpread = s[1];
    check.largestSpread = s[2];
    check.warning = SpreadWarning(s[2], s[1], s[0]);
  } else {
    check.warning = "Warning: the spread of the landmarks could not be computed.";
  }

  if (n < kMinLeaveOneOutRows) return check;

  // The fit's rank rule, then per axis the residuals of the fit of all rows,
  // e = yc - U U^T yc (yc the centred MRI coordinates).
  SvdZeroSmall(w, 0, 2, static_cast<double>(static_cast<ExtFloat>(n) * MachineEpsilonExtended));
  std::vector<long double> e(static_cast<size_t>(n) * 3);
  if (decomposed) {
    for (int axis = 0; axis < 3; ++axis) {
      long double yMean = 0;
      for (int i = 1; i <= n; ++i) yMean += Observed(table[i], axis);
      yMean /= n;
      long double t[3] = {0, 0, 0};
      for (int i = 0; i < n; ++i)
        for (int k = 0; k < 3; ++k)
          if (w[k] > 0) t[k] += static_cast<long double>(A.a()[i][k]) * (Observed(table[i + 1], axis) - yMean);
      for (int i = 0; i < n; ++i) {
        long double r = Observed(table[i + 1], axis) - yMean;
        for (int k = 0; k < 3; ++k)
          if (w[k] > 0) r -= static_cast<long double>(A.a()[i][k]) * t[k];
        e[static_cast<size_t>(i) * 3 + axis] = r;
      }
    }
  }

  long double looSq = 0;
  int count = 0;
  for (int i = 0; i < n; ++i) {
    TLandmarkRow& r = check.rows[static_cast<size_t>(i)];
    long double gap = -1;  // 1 - h_ii
    if (decomposed) {
      long double h = 1.0L / n;
      for (int k = 0; k < 3; ++k)
        if (w[k] > 0) h += static_cast<long double>(A.a()[i][k]) * A.a()[i][k];
      gap = 1 - h;
    }
    if (gap >= kLeaveOneOutRefitBelow) {
      long double sq = 0;
      for (int axis = 0; axis < 3; ++axis) {
        const long double d = e[static_cast<size_t>(i) * 3 + axis] / gap;
        r.leaveOneOutError[axis] = static_cast<double>(d);
        sq += d * d;
      }
      r.leaveOneOut = static_cast<double>(std::sqrt(sq));
      r.hasLeaveOneOut = true;
    } else {
      r.hasLeaveOneOut = RefitWithout(table, n, i + 1, r.leaveOneOut, r.leaveOneOutError);
    }
    if (!r.hasLeaveOneOut) continue;
    ++count;
    looSq += static_cast<long double>(r.leaveOneOut) * r.leaveOneOut;
    if (check.worstRow == 0 || r.leaveOneOut > check.maxLeaveOneOut) {
      check.maxLeaveOneOut = r.leaveOneOut;
      check.worstRow = r.row;
    }
  }
  if (count > 0) {
    check.hasLeaveOneOut = true;
    check.rmsLeaveOneOut = static_cast<double>(std::sqrt(looSq / count));
  }
  return check;
}

std::string FormatVoxels(double v) { return Fixed(v, 3); }

TLandmarkCells LandmarkCells(const TLandmarkCheck& check, size_t index) {
  const TLandmarkRow& r = check.rows[index];
  TLandmarkCells cells;
  cells.row = std::to_string(r.row);
  cells.residual = FormatVoxels(r.length);
  cells.leaveOneOut = r.hasLeaveOneOut ? FormatVoxels(r.leaveOneOut) : "n/a";
  cells.worst = check.worstRow != 0 && r.row == check.worstRow;
  return cells;
}

std::string LandmarkSummaryText(const TLandmarkCheck& check) {
  if (check.rows.empty()) return "No landmarks";
  std::string text = "RMS residual " + FormatVoxels(check.rmsResidual) + "; leave-one-out ";
  if (check.hasLeaveOneOut)
    return text + "RMS " + FormatVoxels(check.rmsLeaveOneOut) + ", max " +
           FormatVoxels(check.maxLeaveOneOut) + " (row " + std::to_string(check.worstRow) + ")";
  if (check.rows.size() < static_cast<size_t>(kMinLeaveOneOutRows))
    return text + "n/a (it needs at least " + std::to_string(kMinLeaveOneOutRows) + " rows)";
  return text + "n/a (the fits of the other rows failed)";
}

std::vector<std::string> LandmarkCheckLines(const TLandmarkCheck& check) {
  std::vector<std::string> lines;
  lines.emplace_back("Landmark check, in voxels (leave-one-out: against the fit of the other rows)");
  lines.emplace_back("  Row        dx        dy        dz  Residual  Leave-one-out");
  for (size_t i = 0; i < check.rows.size(); ++i) {
    const TLandmarkCells cells = LandmarkCells(check, i);
    std::string line = PadLeft(cells.row, 5);
    for (double d : check.rows[i].residual) line += Column(FormatVoxels(d), 10);
    line += Column(cells.residual, 10) + Column(cells.leaveOneOut, 15);
    if (cells.worst) line += "  worst";
    lines.push_back(std::move(line));
  }
  lines.push_back(LandmarkSummaryText(check));
  if (!check.rows.empty())
    lines.push_back("Spread of the tracker positions (singular values): smallest " +
                    Fixed(check.smallestSpread, 1) + ", largest " + Fixed(check.largestSpread, 1));
  if (!check.warning.empty()) lines.push_back(check.warning);
  return lines;
}

std::string LandmarkCheckCsv(const TLandmarkCheck& check) {
  std::string out = "row,dx,dy,dz,residual,leave_one_out\n";
  for (const TLandmarkRow& r : check.rows) {
    // Piece by piece: GCC 12 at -O3 warns falsely about "," + text.
    out += std::to_string(r.row);
    for (double d : r.residual) {
      out += ',';
      out += Fixed(d, 6);
    }
    out += ',';
    out += Fixed(r.length, 6);
    out += ',';
    if (r.hasLeaveOneOut) out += Fixed(r.leaveOneOut, 6);
    out += '\n';
  }
  return out;
}
