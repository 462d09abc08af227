#include "TrackView.h"

#include <cmath>
#include <cstdlib>

#include "DecimalText.h"

namespace {

std::string Padded(const std::string& s, size_t width) {
  return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

}  // namespace

TTrackerLabel TrackerLabel(const TTrackerReading& r) {
  double fx = r.FOBx / 1000.0;
  double fy = r.FOBy / 1000.0;
  double fz = r.FOBz / 1000.0;
  double d = std::sqrt(fx * fx + fy * fy + fz * fz);
  TTrackerLabel label;
  label.red = d > 30.0;
  label.text = " x" + Padded(FixedHalfUp(fx, 1), 7) + " y" + Padded(FixedHalfUp(fy, 1), 7) +
               " z" + Padded(FixedHalfUp(fz, 1), 7) + " d" + Padded(FixedHalfUp(d, 1), 7);
  return label;
}

int32_t RoundToVoxel(long double v) {
  if (std::isnan(v)) return 0;
  long double r = std::nearbyint(v);  // the default rounding mode: halves to even
  if (r >= 2147483647.0L) return INT32_MAX;
  if (r <= -2147483648.0L) return INT32_MIN;
  return static_cast<int32_t>(r);
}

TVoxel MapReading(const double (&coef)[3][4], const TTrackerReading& r) {
  int32_t out[3];
  for (int axis = 0; axis < 3; ++axis) {
    const double* b = coef[axis];
    long double v = (static_cast<long double>(r.FOBx) * b[1] + b[0]);
    v = v + static_cast<long double>(r.FOBy) * b[2];
    v = v + static_cast<long double>(r.FOBz) * b[3];
    out[axis] = RoundToVoxel(v);
  }
  return {out[0], out[1], out[2]};
}

double VoxelDistance(const TVoxel& a, const TVoxel& b) {
  // Each difference fits in 33 bits and its square in 64 bits unsigned; the sum of
  // three squares is carried into a high word.
  uint64_t lo = 0, hi = 0;
  const int64_t diffs[3] = {static_cast<int64_t>(a.x) - b.x, static_cast<int64_t>(a.y) - b.y,
                            static_cast<int64_t>(a.z) - b.z};
  for (int64_t diff : diffs) {
    uint64_t m = static_cast<uint64_t>(diff < 0 ? -diff : diff);
    uint64_t sq = m * m;
    lo += sq;
    if (lo < sq) ++hi;
  }
  long double sum = static_cast<long double>(hi) * 18446744073709551616.0L + static_cast<long double>(lo);
  return static_cast<double>(std::sqrt(sum));
}

std::string DistanceText(double d) { return FormatFloatFixed(d, 4, 1); }

std::string FormulaText(const double (&coef)[3][4]) {
  static const char* const names[3] = {"MRIx = ", "MRIy = ", "MRIz = "};
  std::string text;
  for (int axis = 0; axis < 3; ++axis) {
    const double* b = coef[axis];
    if (axis) text += '\r';
    text += names[axis] + FormatFloatFixed(b[0], 4, 4) + " + " + FormatFloatFixed(b[1], 4, 4) +
            "FOBx +" + FormatFloatFixed(b[2], 4, 4) + "FOBy +" + FormatFloatFixed(b[3], 4, 4) +
            "FOBz";
  }
  return text;
}

std::string CellText(int32_t x, int32_t y, int32_t z) {
  return std::to_string(x) + ":" + std::to_string(y) + ":" + std::to_string(z);
}
