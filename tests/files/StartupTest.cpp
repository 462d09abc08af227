// The start-up choices: the speed check and the port chosen, with the Port menu.
#include <gtest/gtest.h>

#include "tracker/Startup.h"

namespace {

TEST(SpeedCheck, SupportedSpeedsPassUnchanged) {
  for (int32_t bps : {9600, 19200, 38400, 57600, 115200}) {
    TTrackerState s;
    s.BPS = bps;
    std::string message = "untouched";
    EXPECT_TRUE(CheckSpeed(s, message)) << bps;
    EXPECT_EQ(s.BPS, bps);
    EXPECT_EQ(message, "untouched");
  }
}

TEST(SpeedCheck, AnUnsupportedSpeedIsResetWithTheExactMessage) {
  TTrackerState s;
  s.BPS = 4800;
  std::string message;
  EXPECT_FALSE(CheckSpeed(s, message));
  EXPECT_EQ(message, "Unsupported BPS: 4800resetting to 115200 bps.");
  EXPECT_EQ(s.BPS, 115200);
}

TEST(SpeedCheck, NegativeAndOddSpeedsAreReset) {
  for (int32_t bps : {0, -1, 9601, 230400, INT32_MIN}) {
    TTrackerState s;
    s.BPS = bps;
    std::string message;
    EXPECT_FALSE(CheckSpeed(s, message));
    EXPECT_EQ(message, "Unsupported BPS: " + std::to_string(bps) + "resetting to 115200 bps.");
    EXPECT_EQ(s.BPS, 115200);
  }
}

struct MenuCase {
  std::string stored;
  std::vector<std::string> ports;
  std::vector<std::pair<std::string, bool>> menu;
  std::string chosen;
};

void ExpectMenu(const MenuCase& c) {
  TTrackerState s;
  s.PortName = c.stored;
  std::vector<TPortMenuItem> menu = ChoosePort(s, c.ports);
  std::vector<std::pair<std::string, bool>> got;
  for (const auto& item : menu) got.emplace_back(item.caption, item.checked);
  EXPECT_EQ(got, c.menu) << "stored '" << c.stored << "'";
  EXPECT_EQ(s.PortName, c.chosen) << "stored '" << c.stored << "'";
}

const std::vector<std::string> kPorts = {"COM1", "COM3", "COM4"};

TEST(PortChoice, AStoredPortThatExistsIsCheckedAndUsed) {
  ExpectMenu({"COM3", kPorts, {{"COM4", false}, {"COM3", true}, {"COM1", false}}, "COM3"});
  ExpectMenu({"COM4", kPorts, {{"COM4", true}, {"COM3", false}, {"COM1", false}}, "COM4"});
  ExpectMenu({"COM1", kPorts, {{"COM4", false}, {"COM3", false}, {"COM1", true}}, "COM1"});
}

TEST(PortChoice, AnAbsentOrEmptyStoredPortFallsBackToTheFirstDiscovered) {
  ExpectMenu({"COM7", kPorts, {{"COM4", false}, {"COM3", false}, {"COM1", true}}, "COM1"});
  ExpectMenu({"", kPorts, {{"COM4", false}, {"COM3", false}, {"COM1", true}}, "COM1"});
}

TEST(PortChoice, TheComparisonIsCaseSensitive) {
  ExpectMenu({"com3", kPorts, {{"COM4", false}, {"COM3", false}, {"COM1", true}}, "COM1"});
}

TEST(PortChoice, AStoredNameListedTwiceIsCheckedAtEachPlace) {
  ExpectMenu({"COM3",
              {"COM3", "COM1", "COM3"},
              {{"COM3", true}, {"COM1", false}, {"COM3", true}},
              "COM3"});
}

TEST(PortChoice, LinuxDevicePathsAreChosenTheSameWay) {
  ExpectMenu({"/run/user/0/zeltra/ports/sim",
              {"/dev/ttyS0", "/dev/ttyUSB0", "/run/user/0/zeltra/ports/sim"},
              {{"/run/user/0/zeltra/ports/sim", true},
               {"/dev/ttyUSB0", false},
               {"/dev/ttyS0", false}},
              "/run/user/0/zeltra/ports/sim"});
}

TEST(PortChoice, NoPortsGiveAnEmptyMenuAndKeepTheStoredName) {
  ExpectMenu({"COM3", {}, {}, "COM3"});
  ExpectMenu({"", {}, {}, ""});
}

TEST(PortChoice, ASinglePortIsAlwaysChosen) {
  ExpectMenu({"COM9", {"COM2"}, {{"COM2", true}}, "COM2"});
}

TEST(PortChoice, AStoredPortThatIsNotFoundIsSaid) {
  struct TCase {
    std::string stored;
    std::vector<std::string> ports;
    std::string note;
    std::string chosen;
  };
  const TCase cases[] = {
      {"COM7", kPorts, "COM7 not found; using COM1", "COM1"},
      {"com3", kPorts, "com3 not found; using COM1", "COM1"},
      {"/dev/ttyUSB1", {"/dev/ttyS0", "/dev/ttyUSB0"}, "/dev/ttyUSB1 not found; using /dev/ttyS0", "/dev/ttyS0"},
      {"COM3", kPorts, "", "COM3"},  // found: nothing to say
      {"COM1", kPorts, "", "COM1"},
      {"", kPorts, "", "COM1"},      // nothing was stored
      {"COM3", {}, "", "COM3"},      // no ports at all: said on its own
  };
  for (const TCase& c : cases) {
    TTrackerState s;
    s.PortName = c.stored;
    std::string note = "left from before";
    const std::vector<TPortMenuItem> withNote = ChoosePort(s, c.ports, note);
    EXPECT_EQ(note, c.note) << "stored '" << c.stored << "'";
    EXPECT_EQ(s.PortName, c.chosen) << "stored '" << c.stored << "'";
    // The menu is the one ChoosePort makes without a note.
    TTrackerState plain;
    plain.PortName = c.stored;
    const std::vector<TPortMenuItem> menu = ChoosePort(plain, c.ports);
    ASSERT_EQ(withNote.size(), menu.size());
    for (size_t i = 0; i < menu.size(); ++i) {
      EXPECT_EQ(withNote[i].caption, menu[i].caption);
      EXPECT_EQ(withNote[i].checked, menu[i].checked);
    }
  }
}

}  // namespace
