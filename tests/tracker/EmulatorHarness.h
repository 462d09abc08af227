#pragma once
// zeltra-trackersim run beside a test, and the program's side of the link (a real
// TComPort, the system clock, recording message and window fakes).
#include <chrono>
#include <string>
#include <vector>

#include "ComPort.h"
#include "SystemClock.h"
#include "TestSupport.h"
#include "TrackerFakes.h"
#include "tracker/TrackerLink.h"

namespace trackertest {

inline bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// How long f takes.
template <typename F>
std::chrono::milliseconds Timed(F f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
}

class TEmulator {
 public:
  // Starts the emulator on a fresh pseudo-terminal with a link, a control FIFO and a
  // log in its own folder, not registered as a virtual port; `extra` adds options.
  explicit TEmulator(const std::vector<std::string>& extra = {}, bool registerPort = false);
  ~TEmulator();
  bool Ready() const { return ready_; }
  // The link the program opens.
  std::string Port() const { return (dir_ / "port").string(); }
  // A control command: true once the emulator acknowledged it ("ok <line>"), false
  // when it refused it ("error <line>") or did not answer.
  bool Command(const std::string& line);
  // Bytes the emulator received from the program so far (its "rx" log lines).
  std::string Received() const;
  // Waits until the output holds `text` `times` times.
  bool WaitForOutput(const std::string& text, int times = 1,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10));
  int CountOutput(const std::string& text);
  int Terminate() { return process_.Terminate(); }
  const testsupport::TempDir& Dir() const { return dir_; }
  testsupport::ChildProcess& Process() { return process_; }

 private:
  testsupport::TempDir dir_;
  testsupport::ChildProcess process_;
  bool ready_ = false;
};

// The program's side: tracker state, reading, link and a real serial port.
struct TProgram {
  explicit TProgram(const std::string& portName, bool fastrak = false, bool streaming = true,
                    int32_t bps = 115200);
  // Polls every 25 ms, as the window's timer does, until a read stores a reading
  // for which `done` holds; false after `timeout`.
  template <typename Pred>
  bool PollUntil(Pred done, std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
      ++reads;
      if (link.ReadFOB() && done(reading)) return true;
      testsupport::SleepMs(25);
    }
    return false;
  }
  bool PollFor(int32_t x, int32_t y, int32_t z,
               std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
    return PollUntil([&](const TTrackerReading& r) { return r.FOBx == x && r.FOBy == y && r.FOBz == z; },
                     timeout);
  }

  int reads = 0;  // ReadFOB calls made by PollUntil
  TTrackerState state;
  TTrackerReading reading;
  TSystemClock clock;
  TFakeMessages messages;
  TFakeHost host;
  TComPort port;
  TTrackerLink link;
};

}  // namespace trackertest
