#pragma once
// What the window shows and publishes from a tracker reading: the live tracker
// label, the mapping of a reading to a voxel through the fitted coefficients, the
// distance to the desired voxel and the formula text.
#include <string>

#include "Types.h"

// " x%7.1f y%7.1f z%7.1f d%7.1f" of the reading in thousands of its units and its
// distance from the origin; red when that distance is above 30.0.
struct TTrackerLabel {
  std::string text;
  bool red = false;
};
TTrackerLabel TrackerLabel(const TTrackerReading& r);

// The nearest voxel coordinate, halves to the even neighbour; values beyond the
// 32-bit range saturate at its ends and a NaN gives 0.
int32_t RoundToVoxel(long double v);

// Maps a reading through coef[axis][0..3] = b0..b3 of the MRIx, MRIy, MRIz axes:
// ((x*b1 + b0) + y*b2) + z*b3 per axis in extended precision, then RoundToVoxel.
TVoxel MapReading(const double (&coef)[3][4], const TTrackerReading& r);

// Euclidean distance between two voxels; the sum of squares is formed exactly
// (it needs up to 66 bits), then its square root is taken.
double VoxelDistance(const TVoxel& a, const TVoxel& b);

// The distance label: one decimal after rounding to 4 significant digits;
// 10000 and more in scientific form.
std::string DistanceText(double d);

// The formula label: "MRIx = F(b0) + F(b1)FOBx +F(b2)FOBy +F(b3)FOBz" and the same
// for MRIy and MRIz, joined by a carriage return alone; F is 4 significant digits
// with exactly 4 decimals (scientific form from 10000 on).
std::string FormulaText(const double (&coef)[3][4]);

// The text of a calibration cell: three integers joined by ':' ("112:-7:64").
std::string CellText(int32_t x, int32_t y, int32_t z);
