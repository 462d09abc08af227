#include "image/ScaleCheck.h"

#include <cmath>
#include <vector>

#include "image/Nifti.h"

namespace {

bool PositiveFinite(double v) { return std::isfinite(v) && v > 0; }

// "a", "a and b", "a, b and c".
std::string Enumerate(const std::vector<std::string>& items) {
  std::string s;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) s += i + 1 == items.size() ? " and " : ", ";
    s += items[i];
  }
  return s;
}

}  // namespace

double ImpliedVoxelSizeMm(const double coef[4], double trackerUnitMm) {
  double length = std::sqrt(coef[1] * coef[1] + coef[2] * coef[2] + coef[3] * coef[3]);
  return length > 0 ? trackerUnitMm / length : INFINITY;
}

std::string CheckFitScale(const double coef[3][4], double trackerUnitMm,
                          const double voxelSizeMm[3]) {
  if (!PositiveFinite(trackerUnitMm)) return {};
  for (int i = 0; i < 3; ++i)
    if (!PositiveFinite(voxelSizeMm[i])) return {};

  static const char* const kAxis[3] = {"x", "y", "z"};
  std::vector<std::string> implied, actual, still;
  for (int i = 0; i < 3; ++i) {
    double size = ImpliedVoxelSizeMm(coef[i], trackerUnitMm);
    if (!PositiveFinite(size)) {
      still.push_back(std::string("MRI ") + kAxis[i]);
      continue;
    }
    double ratio = size > voxelSizeMm[i] ? size / voxelSizeMm[i] : voxelSizeMm[i] / size;
    if (ratio > 1 + kFitScaleTolerance) {
      implied.push_back(FormatMm(size) + " mm along MRI " + kAxis[i]);
      actual.push_back(FormatMm(voxelSizeMm[i]));
    }
  }

  std::string warning;
  if (!implied.empty())
    warning = "The fit implies voxels of " + Enumerate(implied) + ", but the image's are " +
              Enumerate(actual) +
              " mm: check the tracker's range or unit setting (Tracker menu).";
  if (!still.empty()) {
    if (!warning.empty()) warning += " ";
    warning += "The fit does not follow the tracker along " + Enumerate(still) +
               ": its coefficients b1, b2 and b3 are zero or not finite.";
  }
  return warning;
}
