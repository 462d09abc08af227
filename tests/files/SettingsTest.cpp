// Reading the settings at start and writing them at exit, over a store in memory:
// order, defaults, types, and what a bad value reports and leaves behind.
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

#include "MemorySettingsStore.h"
#include "SettingsTestSupport.h"
#include "reg/Settings.h"

using settingstest::Changed;
using settingstest::ReadError;
using settingstest::ReadProblems;
using settingstest::Strings;

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

void ExpectState(const TTrackerState& s, const std::string& port, int32_t bps, bool fastrak,
                 bool streaming) {
  EXPECT_EQ(s.PortName, port);
  EXPECT_EQ(s.BPS, bps);
  EXPECT_EQ(s.IsFastrak, fastrak);
  EXPECT_EQ(s.IsStreaming, streaming);
}

TEST(Settings, FirstRunGivesTheDefaultsAndExitWritesAllFour) {
  TMemorySettingsStore store;
  TTrackerState s = Changed();
  EXPECT_EQ(ReadProblems(store, s), Strings{});
  ExpectDefaults(s);
  EXPECT_FALSE(store.keyExists);
  WriteSettings(store, s);
  EXPECT_TRUE(store.keyExists);
  ASSERT_EQ(store.values.size(), std::size(kSettingValues));
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
  EXPECT_EQ(ReadProblems(store, s), Strings{});
  ExpectState(s, "COM9", 9600, true, false);
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
  EXPECT_EQ(ReadProblems(store, s), Strings{});
  EXPECT_TRUE(s.IsFastrak);
  EXPECT_TRUE(s.IsStreaming);
  EXPECT_EQ(s.BPS, 19200);
}

TEST(Settings, BPSIsASignedInteger) {
  TMemorySettingsStore store;
  store.keyExists = true;
  store.values = {{"BPS", Dw(0xFFFFFFFFu)}, {"IsFastrak", Dw(0)}, {"IsStreaming", Dw(1)}};
  TTrackerState s;
  EXPECT_EQ(ReadProblems(store, s), Strings{});  // missing PortName: empty, no message
  EXPECT_EQ(s.BPS, -1);
  EXPECT_EQ(s.PortName, "");
  s.BPS = -2;
  WriteSettings(store, s);
  EXPECT_EQ(store.values["BPS"].dword, 0xFFFFFFFEu);
}

TEST(Settings, TrackerReadyIsNeitherReadNorWritten) {
  TMemorySettingsStore store;
  TTrackerState s = Changed();
  s.TrackerReady = true;
  WriteSettings(store, s);
  EXPECT_EQ(store.values.count("TrackerReady"), 0u);
  ReadProblems(store, s);
  EXPECT_TRUE(s.TrackerReady);
}

// One value bad, the three around it valid and unlike their defaults: the bad one
// is reported and keeps its default, every other one is read.
TEST(Settings, EachBadValueIsReportedAndTheOthersAreStillRead) {
  struct Case {
    std::string name;
    std::optional<V> value;  // nullopt: the value is missing
    std::string message;
    TTrackerState expected;
  };
  auto state = [](std::string port, int32_t bps, bool fastrak, bool streaming) {
    TTrackerState s;
    s.PortName = port;
    s.BPS = bps;
    s.IsFastrak = fastrak;
    s.IsStreaming = streaming;
    return s;
  };
  const Case cases[] = {
      {"PortName", std::nullopt, "", state("", 57600, true, false)},
      {"PortName", Dw(3), "Invalid data type for 'PortName'", state("", 57600, true, false)},
      {"PortName", Bin(), "Invalid data type for 'PortName'", state("", 57600, true, false)},
      {"BPS", std::nullopt, "Failed to get data for 'BPS'", state("COM7", 115200, true, false)},
      {"BPS", Str("57600"), "Invalid data type for 'BPS'", state("COM7", 115200, true, false)},
      {"BPS", Bin(), "Invalid data type for 'BPS'", state("COM7", 115200, true, false)},
      {"IsFastrak", std::nullopt, "Failed to get data for 'IsFastrak'",
       state("COM7", 57600, false, false)},
      {"IsFastrak", Str("1"), "Invalid data type for 'IsFastrak'",
       state("COM7", 57600, false, false)},
      {"IsStreaming", std::nullopt, "Failed to get data for 'IsStreaming'",
       state("COM7", 57600, true, true)},
      {"IsStreaming", Bin(), "Invalid data type for 'IsStreaming'",
       state("COM7", 57600, true, true)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " -> " + (c.message.empty() ? "no message" : c.message));
    TMemorySettingsStore store;
    store.keyExists = true;
    store.values = {{"PortName", Str("COM7")},
                    {"BPS", Dw(57600)},
                    {"IsFastrak", Dw(1)},
                    {"IsStreaming", Dw(0)}};
    if (c.value)
      store.values[c.name] = *c.value;
    else
      store.values.erase(c.name);
    TTrackerState s = Changed();
    EXPECT_EQ(ReadProblems(store, s), c.message.empty() ? Strings{} : Strings{c.message});
    ExpectState(s, c.expected.PortName, c.expected.BPS, c.expected.IsFastrak,
                c.expected.IsStreaming);
    EXPECT_EQ(store.closes, 1);
    EXPECT_FALSE(store.open);
  }
}

TEST(Settings, EveryBadValueHasItsOwnMessageInTheOrderOfReading) {
  TMemorySettingsStore store;
  store.keyExists = true;
  store.values = {{"PortName", Dw(1)}, {"IsFastrak", Str("yes")}, {"IsStreaming", Dw(0)}};
  TTrackerState s;
  EXPECT_EQ(ReadProblems(store, s),
            (Strings{"Invalid data type for 'PortName'", "Failed to get data for 'BPS'",
                     "Invalid data type for 'IsFastrak'"}));
  ExpectState(s, "", 115200, false, false);  // the one good value is read
}

TEST(Settings, OnlyPortNameStoredReportsTheOtherThreeAndTheNextStartReadsCleanly) {
  TMemorySettingsStore store;
  store.keyExists = true;
  store.values = {{"PortName", Str("COM3")}};
  TTrackerState s = Changed();
  EXPECT_EQ(ReadProblems(store, s),
            (Strings{"Failed to get data for 'BPS'", "Failed to get data for 'IsFastrak'",
                     "Failed to get data for 'IsStreaming'"}));
  ExpectState(s, "COM3", 115200, false, true);
  EXPECT_EQ(store.closes, 1);

  WriteSettings(store, s);
  TTrackerState next = Changed();
  EXPECT_EQ(ReadProblems(store, next), Strings{});
  ExpectState(next, "COM3", 115200, false, true);
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

// A bad IsFastrak once made every value after it a default, so a stored point
// mode (IsStreaming 0) came back as stream mode after the exit wrote the defaults.
TEST(Settings, PointModeSurvivesABadIsFastrakThroughTheExitWrite) {
  TMemorySettingsStore store;
  store.keyExists = true;
  store.values = {{"PortName", Str("COM2")},
                  {"BPS", Dw(38400)},
                  {"IsFastrak", Str("no")},
                  {"IsStreaming", Dw(0)}};
  TTrackerState s;
  EXPECT_EQ(ReadError(store, s), "Invalid data type for 'IsFastrak'");
  ExpectState(s, "COM2", 38400, false, false);
  WriteSettings(store, s);
  EXPECT_EQ(store.values["IsStreaming"].dword, 0u);
  EXPECT_EQ(store.values["IsFastrak"].type, TValueType::Dword);
  TTrackerState next = Changed();
  EXPECT_EQ(ReadProblems(store, next), Strings{});
  ExpectState(next, "COM2", 38400, false, false);
}

// A store whose key exists but cannot be read, as a damaged settings file.
class TUnreadableStore : public TMemorySettingsStore {
 public:
  bool OpenKey(bool create) override {
    if (!create) throw ERegistryException("The settings cannot be read");
    return TMemorySettingsStore::OpenKey(create);
  }
};

TEST(Settings, AnUnreadableKeyGivesItsOwnMessageAndEveryDefault) {
  TUnreadableStore store;
  store.keyExists = true;
  store.values = {{"BPS", Dw(9600)}};
  TTrackerState s = Changed();
  EXPECT_EQ(ReadProblems(store, s), Strings{"The settings cannot be read"});
  ExpectDefaults(s);
}

TEST(Settings, OtherErrorsOfTheStorePassThrough) {
  class TBrokenStore : public TMemorySettingsStore {
    bool OpenKey(bool) override { throw std::logic_error("broken"); }
  } store;
  TTrackerState s;
  EXPECT_THROW(ReadSettings(store, s), std::logic_error);
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
