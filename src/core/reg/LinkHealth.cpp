#include "LinkHealth.h"

void TLinkHealth::Restart(uint64_t now) {
  count_ = 0;
  next_ = 0;
  last_ = now;
  any_ = false;
}

void TLinkHealth::Reading(uint64_t now) {
  times_[next_] = now;
  next_ = (next_ + 1) % times_.size();
  if (count_ < times_.size()) ++count_;
  last_ = now;
  any_ = true;
}

int TLinkHealth::Rate(uint64_t now) const {
  int n = 0;
  for (size_t i = 0; i < count_; ++i) {
    uint64_t t = times_[(next_ + times_.size() - 1 - i) % times_.size()];
    if (now - t >= kRateWindowMs) break;
    ++n;
  }
  return n;
}

std::string TrackerTypeText(const TTrackerState& state) {
  if (state.IsFastrak) return "Fastrak";
  return state.IsStreaming ? "Flock of Birds (stream)" : "Flock of Birds (point)";
}

std::string SecondsText(uint64_t ms) {
  return std::to_string(ms / 1000) + "." + std::to_string(ms / 100 % 10);
}

TLinkStatusText LinkStatusText(TLinkState state, const TTrackerState& tracker, int rate, uint64_t ageMs,
                               const std::string& reason) {
  const std::string port = tracker.PortName.empty() ? std::string("no port") : tracker.PortName;
  const std::string inUse = port + ", " + std::to_string(tracker.BPS) + " bps, " + TrackerTypeText(tracker);
  switch (state) {
    case TLinkState::NotConnected:
      return {"Tracker not connected" + (reason.empty() ? std::string() : ": " + reason) +
                  " (F6 reconnects)",
              true};
    case TLinkState::Noisy:
      return {inUse + ": the tracker's bytes do not form records: wrong speed or type? (F6 reconnects)", true};
    case TLinkState::Stale:
      return {inUse + ": no tracker reading for " + SecondsText(ageMs) + " s (F6 reconnects)", true};
    case TLinkState::Live:
      break;
  }
  return {inUse + ": " + std::to_string(rate) + " readings/s", false};
}
