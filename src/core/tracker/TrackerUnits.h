#pragma once
// The tracker's own units in millimetres. A Flock of Birds / miniBIRD position word
// is a fraction of the full-scale range: word x range / 32768 inches. A Fastrak's
// reading is in hundredths of its output unit (inches, or centimetres when it was
// set to them).
#include <cstdint>

#include "TrackerState.h"
#include "Types.h"

inline constexpr int32_t kFlockRanges[] = {36, 72, 144};
bool IsFlockRange(int32_t inches);
bool IsFastrakUnit(int32_t unit);

// Millimetres per unit of TrackerReading for the tracker in use.
double TrackerUnitMm(const TTrackerState& state);

// The reading in millimetres.
void ReadingToMm(const TTrackerReading& r, const TTrackerState& state, double mm[3]);
