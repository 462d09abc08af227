// The link's health as the status line tells it: the rate over the last second,
// the stale rule, and the texts of each state.
#include <gtest/gtest.h>

#include "reg/LinkHealth.h"

namespace {

TEST(LinkHealthTest, StaleFromTheStartUntilTheFirstReadingAndHalfASecondAfterTheLast) {
  TLinkHealth h;
  h.Restart(1000);
  EXPECT_TRUE(h.Stale(1000));
  EXPECT_EQ(h.AgeMs(3400), 2400u);
  h.Reading(1010);
  EXPECT_FALSE(h.Stale(1010));
  EXPECT_FALSE(h.Stale(1509));
  EXPECT_TRUE(h.Stale(1510));
  h.Reading(1600);
  EXPECT_FALSE(h.Stale(1600));
  h.Restart(2000);  // a reconnection starts over
  EXPECT_TRUE(h.Stale(2000));
  EXPECT_EQ(h.Rate(2000), 0);
}

TEST(LinkHealthTest, RateCountsTheReadingsOfTheLastSecondAlsoPastTheRing) {
  TLinkHealth h;
  h.Restart(0);
  for (uint64_t t = 0; t < 5000; t += 4) h.Reading(t);  // 250 Hz, more than the ring holds per second
  EXPECT_EQ(h.Rate(4996), 250);
  EXPECT_EQ(h.Rate(5496), 125);
  EXPECT_EQ(h.Rate(6000), 0);
  TLinkHealth slow;
  slow.Restart(0);
  for (uint64_t t = 25; t <= 1000; t += 25) slow.Reading(t);
  EXPECT_EQ(slow.Rate(1000), 40);
}

TEST(LinkHealthTest, StatusTextOfEachState) {
  TTrackerState flock;
  flock.PortName = "/dev/ttyUSB0";
  TTrackerState fastrak = flock;
  fastrak.IsFastrak = true;
  fastrak.BPS = 9600;
  struct Case {
    TLinkState state;
    const TTrackerState* tracker;
    uint64_t ageMs;
    const char* reason;
    const char* text;
    bool red;
  } cases[] = {
      {TLinkState::Live, &flock, 10, "", "/dev/ttyUSB0, 115200 bps, Flock of Birds (stream): 98 readings/s", false},
      {TLinkState::Live, &fastrak, 10, "", "/dev/ttyUSB0, 9600 bps, Fastrak: 98 readings/s", false},
      {TLinkState::Stale, &flock, 2449, "",
       "/dev/ttyUSB0, 115200 bps, Flock of Birds (stream): no tracker reading for 2.4 s (F6 reconnects)", true},
      {TLinkState::Noisy, &fastrak, 0, "",
       "/dev/ttyUSB0, 9600 bps, Fastrak: the tracker's bytes do not form records: wrong speed or type? (F6 "
       "reconnects)",
       true},
      {TLinkState::NotConnected, &flock, 0, "serial port /dev/ttyUSB0 not found",
       "Tracker not connected: serial port /dev/ttyUSB0 not found (F6 reconnects)", true},
  };
  for (const Case& c : cases) {
    TLinkStatusText t = LinkStatusText(c.state, *c.tracker, 98, c.ageMs, c.reason);
    EXPECT_EQ(t.text, c.text);
    EXPECT_EQ(t.red, c.red) << c.text;
  }
}

}  // namespace
