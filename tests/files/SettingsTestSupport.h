#pragma once
// Helpers of the settings tests.
#include <gtest/gtest.h>

#include <string>

#include "reg/Settings.h"

namespace settingstest {

// A state whose every field differs from the defaults.
inline TTrackerState Changed() {
  TTrackerState s;
  s.PortName = "COM9";
  s.BPS = 9600;
  s.IsFastrak = true;
  s.IsStreaming = false;
  return s;
}

// The text of the error ReadSettings raises (a failure when it raises none).
inline std::string ReadError(ISettingsStore& store, TTrackerState& state) {
  try {
    ReadSettings(store, state);
  } catch (const ERegistryException& e) {
    return e.what();
  }
  ADD_FAILURE() << "no error";
  return {};
}

}  // namespace settingstest
