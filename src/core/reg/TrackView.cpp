#include "TrackView.h"

#include <cmath>
#include <cstdlib>

#include "DecimalText.h"

namespace {

std::string Padded(const std::string& s, size_t width) {
  return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

// Appends whole tenths as "[-]i.d".
void AppendTenths(std::string& out, bool negative, uint64_t tenths) {
  if (negative) out += '-';
  out += std::to_string(tenths / 10);
  out += '.';
  out += static_cast<char>('0' + tenths % 10);
}

// The label's field for a reading in thousandths: FixedHalfUp(v / 1000.0, 1) right-
// aligned in 7 characters. The label is set 40 times a second, so the digits come
// from integer arithmetic wherever that gives the same text: only at an exact tie
// (a last two digits of 50) does the double's binary value decide, and there the
// general conversion runs.
void AppendThousandths(std::string& out, int32_t v) {
  const bool negative = v < 0;
  const uint64_t a = negative ? 0 - static_cast<uint64_t>(static_cast<int64_t>(v)) : static_cast<uint64_t>(v);
  std::string field;
  if (a % 100 == 50) {
    field = FixedHalfUp(v / 1000.0, 1);
  } else {
    AppendTenths(field, negative, (a + 50) / 100);
  }
  out += Padded(field, 7);
}

// The same for a distance, a non-negative double: integer rounding unless the
// value lies so close to a tie that its decimal expansion decides.
void AppendDistance(std::string& out, double d) {
  const double t = d * 10;
  const double frac = t - std::floor(t);
  std::string field;
  if (!(t < 1e15) || std::fabs(frac - 0.5) < 1e-6) {
    field = FixedHalfUp(d, 1);
  } else {
    AppendTenths(field, false, static_cast<uint64_t>(std::floor(t + 0.5)));
  }
  out += Padded(field, 7);
}

}  // namespace

TTrackerLabel TrackerLabel(const TTrackerReading& r) {
  double fx = r.FOBx / 1000.0;
  double fy = r.FOBy / 1000.0;
  double fz = r.FOBz / 1000.0;
  double d = std::sqrt(fx * fx + fy * fy + fz * fz);
  TTrackerLabel label;
  label.red = d > 30.0;
  label.text.reserve(40);
  label.text += " x";
  AppendThousandths(label.text, r.FOBx);
  label.text += " y";
  AppendThousandths(label.text, r.FOBy);
  label.text += " z";
  AppendThousandths(label.text, r.FOBz);
  label.text += " d";
  AppendDistance(label.text, d);
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

std::string DistanceText(double d) {
  // Set at every reading in Track view: below 10000 the text is the distance
  // rounded to tenths (below 1000) or to whole voxels (4 significant digits), made
  // with integer arithmetic unless the value lies so close to a tie that its
  // decimal expansion decides.
  if (d >= 0 && d < 10000) {
    const double scaled = d < 1000 ? d * 10 : d;
    const double frac = scaled - std::floor(scaled);
    if (std::fabs(frac - 0.5) >= 1e-6) {
      uint64_t r = static_cast<uint64_t>(std::floor(scaled + 0.5));
      if (r < 10000) {  // 10000 and more: scientific form
        std::string text;
        AppendTenths(text, false, d < 1000 ? r : r * 10);
        return text;
      }
    }
  }
  return FormatFloatFixed(d, 4, 1);
}

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
