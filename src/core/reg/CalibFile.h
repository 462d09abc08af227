#pragma once
// The calibration text file: one line per point pair (MRIx MRIy MRIz FOBx FOBy FOBz),
// then a closing line "dx dy dz 77777 77777 77777" with the desired voxel; six
// integers separated by one blank, CR LF line ends.
#include <string>
#include <string_view>
#include <vector>

#include "Types.h"

// The marker in the fourth place that makes a line a closing line.
constexpr int32_t kClosingMarker = 77777;

struct TCalibration {
  std::vector<TPointPair> rows;  // the point lines in file order
  bool hasDesired = false;       // a closing line was read
  TVoxel desired;                // the desired voxel of the last closing line read
};

// Reads a calibration from a file's bytes. False, with `error` set to the text to
// show, when the file cannot be used; `out` is then unspecified and the caller's
// table must stay as it was.
bool ParseCalibration(std::string_view bytes, TCalibration& out, std::string& error);

// The bytes of a calibration file for rows[0..count-1] and the desired voxel.
std::string FormatCalibration(const TPointPair* rows, int count, const TVoxel& desired);
