#pragma once
// A text record of a serial session: every byte the program sent and received,
// with times, so that a session with a real tracker can be replayed by
// `zeltra-trackersim --replay FILE` (as a test input or a bug report).
//
// TComPort writes one when the environment variable ZELTRA_SERIAL_CAPTURE names a
// file (checked at each Open; the file is appended to). Format, one event a line,
// times in milliseconds since the session's "open" line, bytes in two-digit hex:
//
//   # comment
//   open <baud> <device name>          the port was opened; a session begins
//   > <ms> <hex> <hex> ...             bytes the program sent (one write)
//   ? <ms> <count>                     the program learned that <count> received
//                                      bytes were waiting, more than it knew of
//   < <ms> <hex> <hex> ...             bytes the program read, oldest first
//   purge <ms>                         the receive buffer was discarded
//   close <ms>                         the port was closed
//
// A byte counted by a "?" line had arrived by that line's time and had not arrived
// at the "?" line before (or at the session's start): the replay delivers it
// between the two.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

inline constexpr char kSerialCaptureVariable[] = "ZELTRA_SERIAL_CAPTURE";

class TSerialCapture {
 public:
  // The capture that the environment asks for, opened for appending, with its
  // "open" line written; null when the variable is unset or empty, or when the
  // file cannot be opened (then one line on stderr says so).
  static std::unique_ptr<TSerialCapture> FromEnvironment(const std::string& device, int32_t baud);
  // A capture into a file opened by the caller (taken over and closed at the end).
  TSerialCapture(std::FILE* file, const std::string& device, int32_t baud);
  // Writes a "close" line if Closed() was not called.
  ~TSerialCapture();
  TSerialCapture(const TSerialCapture&) = delete;
  TSerialCapture& operator=(const TSerialCapture&) = delete;

  void Sent(const uint8_t* data, size_t count);
  void Received(uint8_t byte);
  // The count a query of the input queue reported.
  void Waiting(uint32_t count);
  void Purged();
  void Comment(const std::string& text);
  void Closed();

 private:
  double Ms() const;
  void FlushReceived();
  void Line(const std::string& text);

  std::FILE* file_;
  std::chrono::steady_clock::time_point start_;
  std::string received_;  // bytes read since the last line, written as one "<" line
  double receivedMs_ = 0;
  uint32_t known_ = 0;    // received bytes known to be waiting
  bool closed_ = false;
};

// One event of a capture file.
struct TCaptureEvent {
  enum Kind { Open, Sent, Waiting, Received, Purge, Close };
  Kind kind = Open;
  double ms = 0;         // time since the session's open
  std::string bytes;     // Sent, Received
  uint32_t count = 0;    // Waiting
  int32_t baud = 0;      // Open
  std::string device;    // Open
};

// Reads a capture file's text. False with `error` naming the line when a line is
// not in the format above; comments and empty lines are skipped.
bool ParseSerialCapture(std::string_view text, std::vector<TCaptureEvent>& events,
                        std::string& error);
