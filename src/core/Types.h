#pragma once
// Plain data shared by the core modules and the window.
#include <cstdint>

// The latest tracker position in the tracker's own units (Flock position words,
// or hundredths of the Fastrak's output unit). Written only by the tracker link.
struct TTrackerReading {
  int32_t FOBx = 0;
  int32_t FOBy = 0;
  int32_t FOBz = 0;
};

// One calibration row: the MRI voxel and the tracker position of one landmark,
// in this order (the calibration file writes the fields in the same order).
struct TPointPair {
  int32_t MRIx = 0;
  int32_t MRIy = 0;
  int32_t MRIz = 0;
  int32_t FOBx = 0;
  int32_t FOBy = 0;
  int32_t FOBz = 0;
};

inline bool operator==(const TPointPair& a, const TPointPair& b) {
  return a.MRIx == b.MRIx && a.MRIy == b.MRIy && a.MRIz == b.MRIz && a.FOBx == b.FOBx &&
         a.FOBy == b.FOBy && a.FOBz == b.FOBz;
}

// An MRI voxel.
struct TVoxel {
  int32_t x = 0;
  int32_t y = 0;
  int32_t z = 0;
};

inline bool operator==(const TVoxel& a, const TVoxel& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

// Entries of PointTable, indexed from 1.
constexpr int kPointTableEntries = 127;
