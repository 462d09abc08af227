#pragma once
// Whether the tracker's position is live: the time of the newest reading, the
// readings of the last second, and the status texts that tell the operator.
// Pure bookkeeping over the clock's milliseconds; the controller feeds it.
#include <array>
#include <cstdint>
#include <string>

#include "tracker/TrackerState.h"

// What the operator is told about the link, worst first.
enum class TLinkState {
  NotConnected,  // the start-up failed, the port is not there or did not open
  Noisy,         // bytes arrive but do not form records
  Stale,         // no new reading for kStaleAfterMs (or none yet)
  Live,
};

class TLinkHealth {
 public:
  static constexpr uint64_t kStaleAfterMs = 500;
  static constexpr uint64_t kRefreshMs = 250;  // the status line's own rate
  static constexpr uint64_t kRateWindowMs = 1000;

  // The link (re)starts at `now`: stale until its first reading.
  void Restart(uint64_t now);
  void Reading(uint64_t now);
  bool Stale(uint64_t now) const { return now - last_ >= kStaleAfterMs || !any_; }
  // Milliseconds since the newest reading, or since the restart before the first.
  uint64_t AgeMs(uint64_t now) const { return now - last_; }
  // Readings within the last second.
  int Rate(uint64_t now) const;

 private:
  // The newest readings' times; at most a tracker's 144 Hz fit in one second.
  std::array<uint64_t, 256> times_{};
  size_t count_ = 0;  // readings recorded, saturating at the array's size
  size_t next_ = 0;
  uint64_t last_ = 0;
  bool any_ = false;
};

// The tracker type as the Type menu names it.
std::string TrackerTypeText(const TTrackerState& state);

// The status line's link field for a state: what is in use and the rate when live;
// what is wrong and what to do otherwise (red).
struct TLinkStatusText {
  std::string text;
  bool red = false;
};
TLinkStatusText LinkStatusText(TLinkState state, const TTrackerState& tracker, int rate, uint64_t ageMs,
                               const std::string& reason);

// One decimal of seconds, rounded down: 2449 ms -> "2.4".
std::string SecondsText(uint64_t ms);
