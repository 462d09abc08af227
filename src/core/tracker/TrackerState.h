#pragma once
// The tracker settings and state shared by the settings store, the connection
// start-up and the protocols.
#include <cstdint>
#include <string>

struct TTrackerState {
  std::string PortName;       // serial port to use; empty: no port, no start-up
  int32_t BPS = 115200;       // line speed in bits per second
  bool IsFastrak = false;     // a Polhemus Fastrak (otherwise a Flock of Birds / miniBIRD)
  bool IsStreaming = true;    // Flock in stream mode (otherwise point mode)
  bool TrackerReady = false;  // set at the end of the first InitFOB; never cleared
};
