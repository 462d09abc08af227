// A Flock of Birds / miniBIRD emulated by zeltra-trackersim, driven by the tracker
// link with the real serial port and the real clock: start-up exchange, stream and
// point reading, faults and unplugging.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "EmulatorHarness.h"
#include "SerialCapture.h"
#include "SerialPorts.h"

using namespace trackertest;
using namespace std::chrono;
using testsupport::SleepMs;

namespace {

const std::string kConnectionError =
    "Connection error: no response to Examine:SystemModelIdentification (79:15) \"";

std::string Hex(const std::string& s) { return testsupport::HexDump(s); }

TEST(EmulatorFlockTest, StreamSessionFromStartUpToShutdown) {
  TEmulator sim;
  ASSERT_TRUE(sim.Ready());
  TProgram prog(sim.Port());
  const milliseconds took = Timed([&] { prog.link.InitFOB(); });
  EXPECT_GE(took.count(), 2540);  // the four waits
  EXPECT_EQ(prog.host.caption, "6DFOB     ");
  EXPECT_TRUE(prog.messages.messages.empty());
  EXPECT_TRUE(prog.state.TrackerReady);
  EXPECT_TRUE(prog.host.polling);
  EXPECT_EQ(prog.host.begins, 1);
  EXPECT_EQ(prog.host.ends, 1);
  EXPECT_TRUE(prog.link.Connected());
  const std::string exchange("\x42\x4f\x0f\xf1\x50\x32\x01\x56\x40", 9);
  testsupport::WaitUntil([&] { return sim.Received().size() >= exchange.size(); });
  EXPECT_EQ(sim.Received(), exchange) << Hex(sim.Received());

  // Positions placed through the control FIFO come through exactly.
  ASSERT_TRUE(sim.Command("pos 1000 -2000 32764"));
  EXPECT_TRUE(prog.PollFor(1000, -2000, 32764));
  ASSERT_TRUE(sim.Command("pos -32768 0 4"));
  EXPECT_TRUE(prog.PollFor(-32768, 0, 4));
  // The wire drops the two lowest bits.
  ASSERT_TRUE(sim.Command("pos 7 -5 1"));
  EXPECT_TRUE(prog.PollFor(4, -8, 0));

  prog.link.Shutdown();
  EXPECT_FALSE(prog.port.IsOpen());
  ASSERT_TRUE(testsupport::WaitUntil([&] { return sim.Received().size() == exchange.size() + 2; }));
  EXPECT_EQ(sim.Received(), exchange + "\x42\x47") << Hex(sim.Received());
}

TEST(EmulatorFlockTest, PointModeRequestsEveryRecord) {
  TEmulator sim({"--model", "minibird"});
  ASSERT_TRUE(sim.Ready());
  TProgram prog(sim.Port(), false, false);
  prog.link.InitFOB();
  EXPECT_EQ(prog.host.caption, "MINIBIRD  ");
  ASSERT_TRUE(sim.Command("pos 4000 -4000 1236"));
  ASSERT_TRUE(prog.PollFor(4000, -4000, 1236));
  int got = 0;
  for (int i = 0; i < 10; ++i, ++prog.reads) {
    if (prog.link.ReadFOB()) ++got;
    SleepMs(50);
  }
  // One request a read (after the one that ends the start-up), each answered in
  // time for the next read.
  const std::string exchange("\x42\x4f\x0f\xf1\x50\x32\x01\x56\x42", 9);
  const std::string expected = exchange + std::string(static_cast<size_t>(prog.reads), '\x42');
  ASSERT_TRUE(testsupport::WaitUntil([&] { return sim.Received().size() >= expected.size(); }));
  EXPECT_EQ(sim.Received(), expected) << Hex(sim.Received());
  EXPECT_GE(got, 8);
  EXPECT_EQ(prog.reading.FOBx, 4000);
  prog.link.Shutdown();
}

TEST(EmulatorFlockTest, ASilentDeviceGivesTheConnectionError) {
  TEmulator sim;
  ASSERT_TRUE(sim.Ready());
  ASSERT_TRUE(sim.Command("silent on"));
  TProgram prog(sim.Port());
  prog.link.InitFOB();
  ASSERT_EQ(prog.messages.messages.size(), 1u);
  EXPECT_EQ(prog.messages.messages[0],
            kConnectionError + sim.Port() + "\" bps:115200  response(Bytes):0");
  EXPECT_EQ(prog.host.caption, "Zeltra");
  EXPECT_TRUE(prog.state.TrackerReady);
  EXPECT_FALSE(prog.link.Connected());
  EXPECT_EQ(prog.link.FailureText(), prog.messages.messages[0]);
  // The rest of the exchange was sent anyway.
  const std::string exchange("\x42\x4f\x0f\xf1\x50\x32\x01\x56\x40", 9);
  testsupport::WaitUntil([&] { return sim.Received().size() >= exchange.size(); });
  EXPECT_EQ(sim.Received(), exchange) << Hex(sim.Received());
}

// Sleeps as the system clock does, running a hook before the wait for the answer.
class THookedClock : public IClock {
 public:
  void Sleep(uint32_t ms) override {
    if (++count_ == 2 && hook) hook();
    real_.Sleep(ms);
  }
  uint64_t NowMs() override { return real_.NowMs(); }
  std::function<void()> hook;

 private:
  TSystemClock real_;
  int count_ = 0;
};

TEST(EmulatorFlockTest, AShortAnswerIsCounted) {
  TEmulator sim;
  ASSERT_TRUE(sim.Ready());
  ASSERT_TRUE(sim.Command("silent on"));
  TTrackerState state;
  state.PortName = sim.Port();
  TTrackerReading reading;
  THookedClock clock;
  TFakeMessages messages;
  TFakeHost host;
  TComPort port;
  TTrackerLink link(state, reading, clock, messages, host);
  link.SetPort(&port);
  // Four bytes of noise arrive while the program waits for the 10-byte answer.
  clock.hook = [&] { EXPECT_TRUE(sim.Command("garbage 4")); };
  link.InitFOB();
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_TRUE(EndsWith(messages.messages[0], "\" bps:115200  response(Bytes):4")) << messages.messages[0];
  link.Shutdown();
}

TEST(EmulatorFlockTest, AnotherSpeedGetsNoUsefulAnswer) {
  TEmulator sim({"--speed", "9600"});
  ASSERT_TRUE(sim.Ready());
  TProgram prog(sim.Port());  // the program runs the line at 115200
  prog.link.InitFOB();
  ASSERT_EQ(prog.messages.messages.size(), 1u);
  EXPECT_EQ(prog.messages.messages[0].rfind(kConnectionError, 0), 0u);
  EXPECT_EQ(prog.host.caption, "Zeltra");
  EXPECT_FALSE(prog.PollUntil([](const TTrackerReading&) { return true; }, milliseconds(300)));
  // At the device's speed it answers.
  prog.state.BPS = 9600;
  prog.messages.messages.clear();
  prog.link.InitFOB();
  EXPECT_TRUE(prog.messages.messages.empty());
  EXPECT_EQ(prog.host.caption, "6DFOB     ");
}

TEST(EmulatorFlockTest, NoiseAndCutRecordsNeverGiveAWrongPosition) {
  TEmulator sim({"--stream-rate", "200"});
  ASSERT_TRUE(sim.Ready());
  TProgram prog(sim.Port());
  prog.link.InitFOB();
  ASSERT_TRUE(sim.Command("pos 2000 -3000 4000"));
  ASSERT_TRUE(prog.PollFor(2000, -3000, 4000));
  int good = 0, bad = 0;
  for (int round = 0; round < 12; ++round) {
    ASSERT_TRUE(sim.Command(round % 2 ? "partial" : "garbage 37"));
    for (int i = 0; i < 4; ++i) {
      if (prog.link.ReadFOB()) {
        const TTrackerReading& r = prog.reading;
        (r.FOBx == 2000 && r.FOBy == -3000 && r.FOBz == 4000 ? good : bad)++;
      }
      SleepMs(25);
    }
  }
  EXPECT_EQ(bad, 0);
  EXPECT_GT(good, 20);
  prog.link.Shutdown();
}

TEST(EmulatorFlockTest, UnplugThenResetConnection) {
  TEmulator sim;
  ASSERT_TRUE(sim.Ready());
  TProgram prog(sim.Port());
  prog.link.InitFOB();
  ASSERT_TRUE(sim.Command("pos 100 200 300"));
  ASSERT_TRUE(prog.PollFor(100, 200, 300));
  ASSERT_TRUE(sim.Command("unplug 0.5"));  // in the middle of a record
  // Reads return false at once: no time-out, no busy loop.
  int truths = 0;
  const milliseconds took = Timed([&] {
    for (int i = 0; i < 40; ++i) truths += prog.link.ReadFOB();
  });
  EXPECT_LT(took.count(), 100);
  for (int i = 0; i < 5; ++i) {
    truths += prog.link.ReadFOB();
    SleepMs(25);
  }
  EXPECT_LE(truths, 1);  // at most a record that had fully arrived before
  EXPECT_EQ(prog.reading.FOBx, 100);
  // The device is back; the operator presses F6.
  ASSERT_TRUE(sim.WaitForOutput("ready ", 2));
  prog.link.InitFOBdialog();
  ASSERT_EQ(prog.messages.messages.size(), 1u);
  EXPECT_EQ(prog.messages.messages[0].rfind("Please switch on the miniBIRD/FOB tracker", 0), 0u);
  EXPECT_EQ(prog.host.caption, "6DFOB     ");
  ASSERT_TRUE(sim.Command("pos -100 -200 -300"));
  EXPECT_TRUE(prog.PollFor(-100, -200, -300));
  prog.link.Shutdown();
}

TEST(EmulatorFlockTest, AWrongSpeedGivesNoPositionAndShowsAsNoise) {
  TEmulator sim;
  ASSERT_TRUE(sim.Ready());
  TProgram prog(sim.Port());
  prog.link.InitFOB();
  ASSERT_TRUE(sim.Command("pos 1000 2000 3000"));
  ASSERT_TRUE(prog.PollFor(1000, 2000, 3000));
  EXPECT_FALSE(prog.link.Noisy());
  const uint64_t readings = prog.link.ReadingsCount();
  // The device goes on streaming at 9600 bps; the line runs at 115200, so every
  // byte arrives as another.
  ASSERT_TRUE(sim.Command("speed 9600"));
  // Records already on the line before the switch may still arrive in the
  // first ticks; they carry the true position. Nothing else is ever taken.
  int early = 0, late = 0;
  for (int tick = 0; tick < 120; ++tick) {
    if (prog.link.ReadFOB()) {
      ++(tick < 8 ? early : late);
      EXPECT_EQ(prog.reading.FOBx, 1000) << "tick " << tick;
      EXPECT_EQ(prog.reading.FOBy, 2000) << "tick " << tick;
      EXPECT_EQ(prog.reading.FOBz, 3000) << "tick " << tick;
    }
    SleepMs(25);
  }
  EXPECT_EQ(late, 0);
  EXPECT_TRUE(prog.link.Noisy());
  EXPECT_GT(prog.link.DiscardedBytes(), 500u);  // about 600 bytes a second arrive
  EXPECT_EQ(prog.link.ReadingsCount(), readings + uint64_t(early));
  EXPECT_TRUE(prog.link.Connected());
  // Back at the line's speed: positions again, and no noise.
  ASSERT_TRUE(sim.Command("speed 115200"));
  ASSERT_TRUE(sim.Command("pos -1000 -2000 -3000"));
  EXPECT_TRUE(prog.PollFor(-1000, -2000, -3000));
  EXPECT_FALSE(prog.link.Noisy());
  prog.link.Shutdown();
}

TEST(EmulatorFlockTest, ADeviceStillStreamingAtStartUpIsStoppedBeforeTheQuery) {
  struct TCase {
    const char* model;
    const char* rate;
    const char* id;
  };
  const TCase cases[] = {
      {"flock", "100", "6DFOB     "},
      {"minibird", "1000", "MINIBIRD  "},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.model) + " at " + c.rate + " records a second");
    // An earlier run left the device streaming: its records wait on the line when
    // the program opens the port, and keep coming.
    TEmulator sim({"--model", c.model, "--streaming", "--stream-rate", c.rate});
    ASSERT_TRUE(sim.Ready());
    ASSERT_TRUE(sim.Command("pos 1200 -2400 3600"));
    SleepMs(100);
    TProgram prog(sim.Port());
    prog.link.InitFOB();
    EXPECT_EQ(prog.host.caption, c.id);
    EXPECT_TRUE(prog.messages.messages.empty()) << prog.messages.messages.front();
    EXPECT_TRUE(prog.link.Connected());
    ASSERT_TRUE(testsupport::WaitUntil([&] { return sim.Received().size() >= 9; }));
    EXPECT_EQ(sim.Received().substr(0, 3), "\x42\x4f\x0f") << Hex(sim.Received());
    EXPECT_TRUE(prog.PollFor(1200, -2400, 3600));
    EXPECT_FALSE(prog.link.Noisy());
    prog.link.Shutdown();
  }
}

TEST(EmulatorFlockTest, APortThatDoesNotOpenIsSaidOnce) {
  TEmulator sim;
  ASSERT_TRUE(sim.Ready());
  testsupport::TempDir dir;
  testsupport::WriteFileBytes(dir / "plain.txt", "not a port");
  TComPort holder;  // another program holds the emulator's port
  ASSERT_TRUE(holder.Open(sim.Port(), 115200));
  struct TCase {
    std::string port;
    std::string message;
  };
  const std::string missing = (dir / "ttyUSB0").string(), plain = (dir / "plain.txt").string();
  const TCase cases[] = {
      {missing, "Serial port " + missing + " not found"},
      {plain, "Serial port " + plain + " could not be opened at 115200 bps: not a serial port"},
      {sim.Port(), "Serial port " + sim.Port() + " could not be opened at 115200 bps: in use by another program"},
  };
  for (const TCase& c : cases) {
    for (const bool fastrak : {false, true}) {
      SCOPED_TRACE(c.message + (fastrak ? " (Fastrak)" : " (Flock)"));
      TTrackerState state;
      state.PortName = c.port;
      state.IsFastrak = fastrak;
      TTrackerReading reading;
      TFakeClock clock;
      TFakeMessages messages;
      TFakeHost host;
      TComPort port;
      TTrackerLink link(state, reading, clock, messages, host);
      link.SetPort(&port);
      link.InitFOB();
      EXPECT_EQ(messages.messages, std::vector<std::string>{c.message});
      EXPECT_FALSE(link.Connected());
      EXPECT_EQ(link.FailureText(), c.message);
      EXPECT_TRUE(clock.sleeps.empty());  // no exchange with a port that is not open
      EXPECT_TRUE(host.polling);
      EXPECT_FALSE(link.ReadFOB());
    }
  }
  EXPECT_EQ(sim.Received(), "");  // nothing reached the held device
  EXPECT_EQ(testsupport::ReadFileBytes(dir / "plain.txt"), "not a port");
}

}  // namespace
