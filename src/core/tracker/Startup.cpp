#include "Startup.h"

bool IsSupportedBPS(int32_t bps) {
  switch (bps) {
    case 9600:
    case 19200:
    case 38400:
    case 57600:
    case 115200:
      return true;
    default:
      return false;
  }
}

bool CheckSpeed(TTrackerState& state, std::string& message) {
  if (IsSupportedBPS(state.BPS)) return true;
  message = "Unsupported BPS: " + std::to_string(state.BPS) + "resetting to 115200 bps.";
  state.BPS = 115200;
  return false;
}

std::vector<TPortMenuItem> ChoosePort(TTrackerState& state, const std::vector<std::string>& ports) {
  std::vector<TPortMenuItem> menu;
  menu.reserve(ports.size());
  size_t chosen = 0;
  for (size_t i = ports.size(); i-- > 0;) {
    TPortMenuItem item{ports[i], false};
    if (ports[i] == state.PortName || i == chosen) {
      chosen = i;
      state.PortName = ports[i];
      item.checked = true;
    }
    menu.push_back(std::move(item));
  }
  return menu;
}

std::string PortNotFoundNote(const std::string& stored, const std::string& used) {
  return stored + " not found; using " + used;
}

std::vector<TPortMenuItem> ChoosePort(TTrackerState& state, const std::vector<std::string>& ports,
                                      std::string& note) {
  const std::string stored = state.PortName;
  std::vector<TPortMenuItem> menu = ChoosePort(state, ports);
  note.clear();
  if (!stored.empty() && !ports.empty() && state.PortName != stored) note = PortNotFoundNote(stored, state.PortName);
  return menu;
}
