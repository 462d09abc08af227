#pragma once
// Helpers of the settings tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reg/Settings.h"

namespace settingstest {

using Strings = std::vector<std::string>;

// A state whose every field differs from the defaults.
inline TTrackerState Changed() {
  TTrackerState s;
  s.PortName = "COM9";
  s.BPS = 9600;
  s.IsFastrak = true;
  s.IsStreaming = false;
  return s;
}

// The messages of ReadSettings, which reports and never throws.
inline Strings ReadProblems(ISettingsStore& store, TTrackerState& state) {
  try {
    return ReadSettings(store, state);
  } catch (const std::exception& e) {
    ADD_FAILURE() << "ReadSettings threw: " << e.what();
  }
  return {};
}

// The one message ReadSettings gives (a failure when it gives none or several).
inline std::string ReadError(ISettingsStore& store, TTrackerState& state) {
  Strings problems = ReadProblems(store, state);
  EXPECT_EQ(problems.size(), 1u) << ::testing::PrintToString(problems);
  return problems.empty() ? std::string() : problems.front();
}

}  // namespace settingstest
