// The tracker's units in millimetres, from the devices' documented scales.
#include <gtest/gtest.h>

#include "tracker/TrackerUnits.h"

namespace {

TEST(TrackerUnitsTest, MillimetresOfEachTrackerAndSetting) {
  struct Case {
    bool fastrak;
    int32_t range, unit;
    TTrackerReading reading;
    double mm[3];
  } cases[] = {
      // Flock: full scale (32768) is the range in inches.
      {false, 36, 0, {32767, -32768, 16384}, {914.372, -914.4, 457.2}},
      {false, 72, 0, {16384, 0, -8192}, {914.4, 0, -457.2}},
      {false, 144, 0, {1, 2, 3}, {0.111621, 0.223242, 0.334863}},
      {false, 50, 0, {16384, 0, 0}, {457.2, 0, 0}},  // a range the devices do not have: 36
      // Fastrak: hundredths of its output unit.
      {true, 36, 0, {1234, -100, 0}, {313.436, -25.4, 0}},
      {true, 36, 1, {1234, -100, 0}, {123.4, -10, 0}},
  };
  for (const Case& c : cases) {
    TTrackerState s;
    s.IsFastrak = c.fastrak;
    s.FlockRange = c.range;
    s.FastrakUnit = c.unit;
    double mm[3];
    ReadingToMm(c.reading, s, mm);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(mm[i], c.mm[i], 5e-4) << c.fastrak << " " << c.range << " " << i;
  }
  EXPECT_TRUE(IsFlockRange(72));
  EXPECT_FALSE(IsFlockRange(0));
  EXPECT_TRUE(IsFastrakUnit(1));
  EXPECT_FALSE(IsFastrakUnit(2));
}

}  // namespace
