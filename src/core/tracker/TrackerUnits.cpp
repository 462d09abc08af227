#include "TrackerUnits.h"

namespace {

constexpr double kMmPerInch = 25.4;

}  // namespace

bool IsFlockRange(int32_t inches) {
  for (int32_t r : kFlockRanges)
    if (r == inches) return true;
  return false;
}

bool IsFastrakUnit(int32_t unit) { return unit == 0 || unit == 1; }

double TrackerUnitMm(const TTrackerState& state) {
  if (state.IsFastrak) return state.FastrakUnit == 1 ? 10.0 / 100.0 : kMmPerInch / 100.0;
  const int32_t range = IsFlockRange(state.FlockRange) ? state.FlockRange : 36;
  return range * kMmPerInch / 32768.0;
}

void ReadingToMm(const TTrackerReading& r, const TTrackerState& state, double mm[3]) {
  const double u = TrackerUnitMm(state);
  mm[0] = r.FOBx * u;
  mm[1] = r.FOBy * u;
  mm[2] = r.FOBz * u;
}
