#pragma once
// Plays back the device's side of a captured serial session (SerialCapture.h).
//
// The capture knows when the program learned of each received byte (a "?" line
// counted it) and when it had last looked before; the replay sends each byte
// shortly before the program looked again: 12 ms before (or half way when the
// looks were closer together). Times are taken relative to the program's own
// bytes: each byte the program sent in the capture is waited for, so the replay
// keeps pace with the program whenever it starts and however fast it runs. Bytes
// the program sends that differ from the capture are reported as warnings.
#include <optional>
#include <string>
#include <vector>

#include "Device.h"
#include "SerialCapture.h"

class TReplay {
 public:
  // Prepares the events of a capture; playing starts at `start`.
  void Load(const std::vector<TCaptureEvent>& events, SimTime start);
  // Bytes the program sent.
  void Received(const std::string& bytes, SimTime now);
  // The device bytes due by `now`, in order.
  std::string Due(SimTime now);
  // When the next bytes fall due; nothing while waiting for the program.
  std::optional<SimTime> NextAt() const;
  // Every byte was sent and every byte of the program seen.
  bool Done() const;
  std::vector<std::string> TakeWarnings();

 private:
  struct TExpect {
    std::string bytes;
    double ms = 0;
    int session = 0;
    std::optional<SimTime> metAt;
  };
  struct TChunk {
    std::string bytes;  // empty: the end of a session
    double ms = 0;      // when it is due, in the capture's session time
    int session = 0;
    int anchor = -1;    // the expect it follows, or -1: the session's start
    bool sessionEnd = false;
  };

  std::optional<SimTime> DueTime(const TChunk& c) const;

  std::vector<TExpect> expects_;
  std::vector<TChunk> chunks_;
  std::vector<std::optional<SimTime>> sessionStart_;
  size_t nextChunk_ = 0;
  size_t expectIndex_ = 0;  // expect being matched
  size_t expectOffset_ = 0; // bytes of it seen
  bool warned_ = false;     // a mismatch in the current expect was reported
  std::vector<std::string> warnings_;
};
