#include "Replay.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <utility>

namespace {

constexpr double kLeadMs = 12;  // bytes arrive this long before the look that found them

std::string Hex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", c);
    if (!out.empty()) out += ' ';
    out += buf;
  }
  return out;
}

}  // namespace

void TReplay::Load(const std::vector<TCaptureEvent>& events, SimTime start) {
  int session = -1;
  // Per session: the received bytes with the window in which each arrived.
  struct TArrival {
    double lo = 0, hi = 0;
  };
  std::map<size_t, TArrival> windows;
  std::string received;
  size_t counted = 0;
  double lastLook = 0;
  double closeMs = 0;
  bool open = false;

  auto finishSession = [&]() {
    if (session < 0) return;
    // Group consecutive bytes with the same due time into chunks.
    for (size_t i = 0; i < received.size(); ++i) {
      const TArrival w = windows.count(i) ? windows[i] : TArrival{0, 0};
      const double due = w.hi - std::min((w.hi - w.lo) / 2, kLeadMs);
      if (!chunks_.empty() && !chunks_.back().sessionEnd && chunks_.back().session == session &&
          chunks_.back().ms == due) {
        chunks_.back().bytes += received[i];
      } else {
        TChunk c;
        c.bytes = std::string(1, received[i]);
        c.ms = due;
        c.session = session;
        chunks_.push_back(c);
      }
    }
    TChunk end;
    end.ms = closeMs;
    end.session = session;
    end.sessionEnd = true;
    chunks_.push_back(end);
    windows.clear();
    received.clear();
    counted = 0;
    lastLook = 0;
    closeMs = 0;
  };

  for (const TCaptureEvent& e : events) {
    if (e.kind == TCaptureEvent::Open) {
      finishSession();
      ++session;
      open = true;
      continue;
    }
    if (!open) {  // events before any open line: a session of their own
      ++session;
      open = true;
    }
    closeMs = std::max(closeMs, e.ms);
    switch (e.kind) {
      case TCaptureEvent::Sent: {
        TExpect x;
        x.bytes = e.bytes;
        x.ms = e.ms;
        x.session = session;
        expects_.push_back(x);
        break;
      }
      case TCaptureEvent::Waiting: {
        const size_t limit = received.size() + e.count;
        for (size_t i = std::max(counted, received.size()); i < limit; ++i) {
          windows[i] = TArrival{lastLook, e.ms};
        }
        counted = std::max(counted, limit);
        lastLook = e.ms;
        break;
      }
      case TCaptureEvent::Received:
        for (char b : e.bytes) {
          const size_t i = received.size();
          if (!windows.count(i)) windows[i] = TArrival{lastLook, e.ms};
          received += b;
        }
        break;
      case TCaptureEvent::Purge:
        windows.erase(windows.lower_bound(received.size()), windows.end());
        counted = received.size();
        break;
      case TCaptureEvent::Close:
      case TCaptureEvent::Open:
        break;
    }
  }
  finishSession();

  sessionStart_.assign(static_cast<size_t>(std::max(session + 1, 1)), std::nullopt);
  sessionStart_[0] = start;
  // Each chunk follows the last byte the program sent at or before its time.
  // (Expects are in file order, so sorted by session and, within one, by time.)
  for (TChunk& c : chunks_) {
    const auto after = std::upper_bound(
        expects_.begin(), expects_.end(), std::make_pair(c.session, c.ms),
        [](const std::pair<int, double>& key, const TExpect& x) {
          return key.first < x.session || (key.first == x.session && key.second < x.ms);
        });
    if (after != expects_.begin() && std::prev(after)->session == c.session) {
      c.anchor = static_cast<int>(std::prev(after) - expects_.begin());
    }
  }
}

std::optional<SimTime> TReplay::DueTime(const TChunk& c) const {
  const auto ms = [](double v) {
    return std::chrono::duration_cast<SimClock::duration>(std::chrono::duration<double, std::milli>(v));
  };
  if (c.anchor >= 0) {
    const TExpect& x = expects_[static_cast<size_t>(c.anchor)];
    if (!x.metAt) return std::nullopt;
    return *x.metAt + ms(std::max(0.0, c.ms - x.ms));
  }
  const auto& start = sessionStart_[static_cast<size_t>(c.session)];
  if (!start) return std::nullopt;
  return *start + ms(std::max(0.0, c.ms));
}

void TReplay::Received(const std::string& bytes, SimTime now) {
  for (char b : bytes) {
    while (expectIndex_ < expects_.size() && expectOffset_ >= expects_[expectIndex_].bytes.size()) {
      ++expectIndex_;
      expectOffset_ = 0;
      warned_ = false;
    }
    if (expectIndex_ >= expects_.size()) {
      warnings_.push_back("program sent " + Hex(std::string(1, b)) + " after the end of the capture");
      continue;
    }
    TExpect& x = expects_[expectIndex_];
    if (x.bytes[expectOffset_] != b && !warned_) {
      warnings_.push_back("program sent " + Hex(std::string(1, b)) + " where the capture has " +
                          Hex(x.bytes) + " (at " + std::to_string(x.ms) + " ms)");
      warned_ = true;
    }
    if (++expectOffset_ == x.bytes.size()) x.metAt = now;
  }
}

std::string TReplay::Due(SimTime now) {
  std::string out;
  while (nextChunk_ < chunks_.size()) {
    const TChunk& c = chunks_[nextChunk_];
    const auto at = DueTime(c);
    if (!at || *at > now) break;
    out += c.bytes;
    if (c.sessionEnd && static_cast<size_t>(c.session + 1) < sessionStart_.size()) {
      sessionStart_[static_cast<size_t>(c.session + 1)] = now;
    }
    ++nextChunk_;
  }
  return out;
}

std::optional<SimTime> TReplay::NextAt() const {
  if (nextChunk_ >= chunks_.size()) return std::nullopt;
  return DueTime(chunks_[nextChunk_]);
}

bool TReplay::Done() const {
  if (nextChunk_ < chunks_.size()) return false;
  for (const TExpect& x : expects_) {
    if (!x.metAt) return false;
  }
  return true;
}

std::vector<std::string> TReplay::TakeWarnings() {
  std::vector<std::string> w;
  w.swap(warnings_);
  return w;
}
