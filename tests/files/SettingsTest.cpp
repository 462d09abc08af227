// Reading the settings at start and writing them at exit, over a store in memory:
// order, defaults, types and the errors with what they leave behind.
#include <gtest/gtest.h>

#include "SettingsTestSupport.h"
#include "reg/Settings.h"

using settingstest::Changed;
using settingstest::ReadError;

namespace {

using V = TMemorySettingsStore::TValue;

V Str(const std::string& s) { return V{TValueType::String, s, 0}; }
V Dw(uint32_t d) { return V{TValueType::Dword, {}, d}; }
V Bin() { return V{TValueType::Other, {}, 0}; }

void ExpectDefaults(const TTrackerState& s) {
  EXPECT_EQ(s.PortName, "");
  EXPECT_EQ(s.BPS, 115200);
  EXPECT_FALSE(s.IsFastrak);
  EXPECT_TRUE(s.IsStreaming);
}

TEST(Settings, FirstRunGivesTheDefaultsAndExitWritesAllFour) {
  TMemorySettingsStore store;
  TTrackerState s = Changed();
  ReadSettings(store, s);
  ExpectDefaults(s);
  EXPECT_FALSE(store.keyExists);
  WriteSettings(store, s);
  EXPECT_TRUE(store.keyExists);
  ASSERT_EQ(store.values.size(), 4u);
  EXPECT_EQ(store.values["PortName"].type, TValueType::String);
  EXPECT_EQ(store.values["PortName"].text, "");
  EXPECT_EQ(store.values["BPS"].type, TValueType::Dword);
  EXPECT_EQ(store.values["BPS"].dword, 115200u);
  EXPECT_EQ(store.values["IsFastrak"].dword, 0u);
  EXPECT_EQ(store.values["IsStreaming"].dword, 1u);
  EXPECT_EQ(store.closes, 1);
}

TEST(Settings, ChangedSettingsAreFoundAgain) {
  TMemorySettingsStore store;
  WriteSettings(store, Changed());
  TTrackerState s;
  ReadSettings(store, s);
  EXPECT_EQ(s.PortName, "COM9");
  EXPECT_EQ(s.BPS, 9600);
  EXPECT_TRUE(s.IsFastrak);
  EXPECT_FALSE(s.IsStreaming);
  EXPECT_EQ(store.closes, 2);
}

TEST(Settings, AnyNonZeroIntegerIsTrue) {
  TMemorySettingsStore store;
  store.keyExists = true;
  store.values = {{"PortName", Str("COM1")},
                  {"BPS", Dw(19200)},
                  {"IsFastrak", Dw(5)},
                  {"IsStreaming", Dw(0x80000000u)}};
  TTrackerState s;
  ReadSettings(store, s);
  EXPECT_TRUE(s.IsFastrak);
  EXPECT_TRUE(s.IsStreaming);
  EXPECT_EQ(s.BPS, 19200);
}

TEST(Settings, BPSIsASignedInteger) {
  TMemorySettingsStore store;
  store.keyExists = true;
  store.values = {{"BPS", Dw(0xFFFFFFFFu)}, {"IsFastrak", Dw(0)}, {"IsStreaming", Dw(1)}};
  TTrackerState s;
  ReadSettings(store, s);
  EXPECT_EQ(s.BPS, -1);
  EXPECT_EQ(s.PortName, "");  // missing PortName: empty, no error
}

TEST(Settings, OnlyPortNameStoredFailsAtBPSAndTheNextStartReadsCleanly) {
  TMemorySettingsStore store;
  store.keyExists = true;
  store.values = {{"PortName", Str("COM3")}};
  TTrackerState s = Changed();
  EXPECT_EQ(ReadError(store, s), "Failed to get data for 'BPS'");
  EXPECT_EQ(s.PortName, "COM3");  // read before the error
  EXPECT_EQ(s.BPS, 115200);       // the rest keep their defaults
  EXPECT_FALSE(s.IsFastrak);
  EXPECT_TRUE(s.IsStreaming);
  EXPECT_EQ(store.closes, 1);  // the key is closed after the error too

  WriteSettings(store, s);
  TTrackerState next;
  ReadSettings(store, next);
  EXPECT_EQ(next.PortName, "COM3");
  EXPECT_EQ(next.BPS, 115200);
}

TEST(Settings, AMissingValueLaterInTheOrderKeepsTheOnesBefore) {
  TMemorySettingsStore store;
  store.keyExists = true;
  store.values = {{"PortName", Str("COM2")}, {"BPS", Dw(38400)}, {"IsFastrak", Dw(1)}};
  TTrackerState s;
  EXPECT_EQ(ReadError(store, s), "Failed to get data for 'IsStreaming'");
  EXPECT_EQ(s.BPS, 38400);
  EXPECT_TRUE(s.IsFastrak);
  EXPECT_TRUE(s.IsStreaming);
}

TEST(Settings, AValueOfTheWrongTypeIsReported) {
  struct Case {
    std::string name;
    V value;
  };
  for (const Case& c : {Case{"BPS", Str("115200")}, Case{"BPS", Bin()},
                        Case{"IsFastrak", Str("1")}, Case{"IsStreaming", Bin()},
                        Case{"PortName", Dw(3)}, Case{"PortName", Bin()}}) {
    TMemorySettingsStore store;
    store.keyExists = true;
    store.values = {{"PortName", Str("COM1")},
                    {"BPS", Dw(57600)},
                    {"IsFastrak", Dw(0)},
                    {"IsStreaming", Dw(0)}};
    store.values[c.name] = c.value;
    TTrackerState s;
    EXPECT_EQ(ReadError(store, s), "Invalid data type for '" + c.name + "'");
  }
}

TEST(Settings, AFailingWriteStopsAtThatValue) {
  TMemorySettingsStore store;
  store.failWriteOf = "IsFastrak";
  try {
    WriteSettings(store, Changed());
    ADD_FAILURE() << "no error";
  } catch (const ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'IsFastrak'");
  }
  EXPECT_EQ(store.values.size(), 2u);  // PortName and BPS were written
  EXPECT_EQ(store.values.count("IsStreaming"), 0u);
  EXPECT_EQ(store.closes, 1);
}

TEST(Settings, AKeyThatCannotBeCreatedStopsTheWriteSilently) {
  TMemorySettingsStore store;
  store.canCreate = false;
  EXPECT_NO_THROW(WriteSettings(store, Changed()));
  EXPECT_TRUE(store.values.empty());
}

}  // namespace
