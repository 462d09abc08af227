#pragma once
// The choices of the tracker start-up: the line speed check and the port to use,
// with the Port menu that shows it.
#include <cstdint>
#include <string>
#include <vector>

#include "TrackerState.h"

inline constexpr char kNoSerialPortsMessage[] =
    "No serial ports detected: you will not be able to track sensors";
inline constexpr char kSpeedRefusedMessage[] =
    "Unable to change device speed (you must enable Advanced Mode)";
inline constexpr char kTypeRefusedMessage[] =
    "Unable to change device type (you must enable Advanced Mode)";

// True for the speeds the trackers support: 9600, 19200, 38400, 57600, 115200.
bool IsSupportedBPS(int32_t bps);

// True when state.BPS is supported (message left as it was). Otherwise sets
// message to "Unsupported BPS: <BPS>resetting to 115200 bps." and BPS to 115200.
bool CheckSpeed(TTrackerState& state, std::string& message);

// One item of the Port menu, in menu order.
struct TPortMenuItem {
  std::string caption;
  bool checked = false;
};

// The Port menu for the discovered ports, last discovered first. The item whose
// caption equals the stored PortName exactly (case-sensitive) is checked and
// becomes PortName; when none does, the first discovered port (ports[0]) is
// checked and used. A stored name that occurs more than once is checked at each
// occurrence, and PortName is then that name. No ports: an empty menu and
// PortName unchanged.
std::vector<TPortMenuItem> ChoosePort(TTrackerState& state, const std::vector<std::string>& ports);
// The same, and `note` tells the operator when a stored port was not found:
// "<stored> not found; using <first>". `note` is emptied when the stored port is
// among the ports, when no port was stored (PortName empty) and when there are no
// ports at all (the caller says that on its own).
std::vector<TPortMenuItem> ChoosePort(TTrackerState& state, const std::vector<std::string>& ports,
                                      std::string& note);
// The note for a stored port that was not found.
std::string PortNotFoundNote(const std::string& stored, const std::string& used);
