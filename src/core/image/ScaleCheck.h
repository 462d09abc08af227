#pragma once
// Does a fit's scale match the image? For MRI axis i the fit gives
//   voxel_i = b0 + b1*FOBx + b2*FOBy + b3*FOBz   (FOB in tracker units),
// so |(b1, b2, b3)| / u voxels pass per mm of tracker motion, u being one tracker
// unit in mm. A rigid head in a right scale gives 1 / (voxel size along i): the fit
// implies voxels of u / |(b1, b2, b3)| mm. A Flock set to a 72-inch range while its
// transmitter has 36 inches doubles every implied size.
#include <string>

// The most the implied and the image's voxel size may differ, as a fraction:
// the larger over the smaller may be up to 1.10.
constexpr double kFitScaleTolerance = 0.10;

// The voxel size (mm) that one axis's coefficients {b0, b1, b2, b3} imply for a
// tracker unit of `trackerUnitMm` mm; infinite when b1 = b2 = b3 = 0.
double ImpliedVoxelSizeMm(const double coef[4], double trackerUnitMm);

// Empty when every axis's implied voxel size is within kFitScaleTolerance of the
// image's (`voxelSizeMm`, from the image header), else a warning that names each
// axis that is off with both sizes and the likely cause, e.g. "The fit implies
// voxels of 2.00 mm along MRI x, but the image's are 1.00 mm: check the tracker's
// range or unit setting (Tracker menu)." Empty also when there is nothing to compare
// against: a tracker unit or voxel size that is not a positive finite number.
std::string CheckFitScale(const double coef[3][4], double trackerUnitMm,
                          const double voxelSizeMm[3]);
