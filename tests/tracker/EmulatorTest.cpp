// The tracker link against zeltra-trackersim on a pseudo-terminal, with the real
// serial port and the real clock: the Fastrak, capture and replay, and the
// emulator itself (line pacing, registration, control commands).
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

TEST(EmulatorFastrakTest, NoExchangeThenExactPositions) {
  TEmulator sim({"--model", "fastrak"});
  ASSERT_TRUE(sim.Ready());
  TProgram prog(sim.Port(), true);
  const milliseconds took = Timed([&] { prog.link.InitFOB(); });
  EXPECT_LT(took.count(), 200);
  EXPECT_TRUE(prog.state.TrackerReady);
  EXPECT_TRUE(prog.messages.messages.empty());
  EXPECT_EQ(prog.host.begins, 0);
  SleepMs(50);
  EXPECT_EQ(sim.Received(), "");  // nothing sent by the start-up
  ASSERT_TRUE(sim.Command("pos 1234 -560 10000"));
  EXPECT_TRUE(prog.PollFor(1234, -560, 10000));
  // Full-width negative fields follow the previous number without a blank.
  ASSERT_TRUE(sim.Command("pos 99999 -99999 -99999"));
  EXPECT_TRUE(prog.PollFor(99999, -99999, -99999));
  ASSERT_TRUE(sim.Command("pos 5 -5 0"));
  EXPECT_TRUE(prog.PollFor(5, -5, 0));
  prog.link.Shutdown();
  ASSERT_TRUE(testsupport::WaitUntil([&] { return EndsWith(sim.Received(), "\x42\x47"); }));
  // Every read sent one request and nothing else.
  const std::string rx = sim.Received();
  EXPECT_EQ(rx.substr(0, rx.size() - 2), std::string(rx.size() - 2, 'P'));
}

TEST(EmulatorFastrakTest, UnplugThenResetConnection) {
  TEmulator sim({"--model", "fastrak"});
  ASSERT_TRUE(sim.Ready());
  TProgram prog(sim.Port(), true);
  prog.link.InitFOB();
  ASSERT_TRUE(sim.Command("pos 300 400 500"));
  ASSERT_TRUE(prog.PollFor(300, 400, 500));
  ASSERT_TRUE(sim.Command("unplug 0.3"));
  ASSERT_TRUE(sim.WaitForOutput("ready ", 2));
  ASSERT_TRUE(sim.Command("pos -300 -400 -500"));
  prog.link.InitFOBdialog();  // no prompt for a Fastrak
  EXPECT_TRUE(prog.messages.messages.empty());
  // Every reading after the reconnection is a position the device sent.
  int good = 0;
  for (int i = 0; i < 20; ++i) {
    if (prog.link.ReadFOB()) {
      EXPECT_EQ(prog.reading.FOBx, -300);
      EXPECT_EQ(prog.reading.FOBy, -400);
      EXPECT_EQ(prog.reading.FOBz, -500);
      ++good;
    }
    SleepMs(25);
  }
  EXPECT_GT(good, 10);
  prog.link.Shutdown();
}

// The readings of a polled session, without repeats of the same position.
std::vector<std::string> DistinctReadings(TProgram& prog, int ticks,
                                          const std::function<void(int)>& atTick = nullptr) {
  std::vector<std::string> seen;
  for (int i = 0; i < ticks; ++i) {
    if (atTick) atTick(i);
    if (prog.link.ReadFOB()) {
      const auto& r = prog.reading;
      const std::string s = std::to_string(r.FOBx) + "," + std::to_string(r.FOBy) + "," + std::to_string(r.FOBz);
      if (seen.empty() || seen.back() != s) seen.push_back(s);
    }
    SleepMs(25);
  }
  return seen;
}

void CaptureThenReplay(const std::vector<std::string>& model, bool fastrak, bool streaming) {
  testsupport::TempDir dir;
  const std::string capture = (dir / "session.capture").string();
  std::vector<std::string> recorded;
  {
    TEmulator sim(model);
    ASSERT_TRUE(sim.Ready());
    testsupport::SetEnv(kSerialCaptureVariable, capture);
    TProgram prog(sim.Port(), fastrak, streaming);
    prog.link.InitFOB();
    testsupport::UnsetEnv(kSerialCaptureVariable);
    recorded = DistinctReadings(prog, 60, [&](int tick) {
      if (tick % 15 == 0) {
        const int v = 4 * (tick + 1);
        EXPECT_TRUE(sim.Command("pos " + std::to_string(v) + " " + std::to_string(-v) + " " +
                                std::to_string(2 * v)));
      }
    });
    prog.link.Shutdown();
  }
  ASSERT_GE(recorded.size(), 4u);
  TEmulator replay({"--replay", capture});
  ASSERT_TRUE(replay.Ready());
  TProgram prog(replay.Port(), fastrak, streaming);
  prog.link.InitFOB();
  const auto replayed = DistinctReadings(prog, 70);
  prog.link.Shutdown();
  EXPECT_EQ(replayed, recorded);
  EXPECT_TRUE(replay.WaitForOutput("replay done"));
  EXPECT_EQ(prog.messages.messages.size(), 0u);
}

TEST(EmulatorCaptureTest, AFlockPointSessionReplaysToTheSameReadings) {
  CaptureThenReplay({}, false, false);
}

TEST(EmulatorCaptureTest, AFastrakSessionReplaysToTheSameReadings) {
  CaptureThenReplay({"--model", "fastrak"}, true, false);
}

TEST(EmulatorCaptureTest, TheCheckedInFastrakCaptureReplays) {
  TEmulator replay({"--replay", std::string(ZELTRA_TEST_DATA) + "/tracker/fastrak-session.capture"});
  ASSERT_TRUE(replay.Ready());
  TProgram prog(replay.Port(), true);
  prog.link.InitFOB();
  const auto readings = DistinctReadings(prog, 20);
  // Its later records hold -1234.56 and -1000.00, beyond anything a Fastrak can
  // report: no position, and the link shows noise.
  EXPECT_EQ(readings, (std::vector<std::string>{"1234,-560,10000"}));
  EXPECT_TRUE(prog.link.Noisy());
  EXPECT_GE(prog.link.DiscardedBytes(), 49u);
}

TEST(EmulatorFastrakTest, NoiseAndCutRecordsNeverGiveAWrongPosition) {
  TEmulator sim({"--model", "fastrak"});
  ASSERT_TRUE(sim.Ready());
  TProgram prog(sim.Port(), true);
  prog.link.InitFOB();
  ASSERT_TRUE(sim.Command("pos 2000 -3000 4000"));
  ASSERT_TRUE(prog.PollFor(2000, -3000, 4000));
  int good = 0, bad = 0;
  bool noisy = false;
  for (int round = 0; round < 12; ++round) {
    // Noise lands in front of the next record, which then starts with it.
    ASSERT_TRUE(sim.Command(round % 2 ? "partial" : "garbage 23"));
    for (int i = 0; i < 4; ++i) {
      if (prog.link.ReadFOB()) {
        const TTrackerReading& r = prog.reading;
        (r.FOBx == 2000 && r.FOBy == -3000 && r.FOBz == 4000 ? good : bad)++;
      }
      noisy = noisy || prog.link.Noisy();
      SleepMs(25);
    }
  }
  EXPECT_EQ(bad, 0);
  EXPECT_GT(good, 10);
  EXPECT_TRUE(noisy);
  EXPECT_GT(prog.link.DiscardedBytes(), 0u);
  prog.link.Shutdown();
}

TEST(EmulatorDeviceTest, OutputNeverExceedsTheLineSpeed) {
  for (const int bps : {9600, 115200}) {
    TEmulator sim({"--speed", std::to_string(bps), "--stream-rate", "2000"});
    ASSERT_TRUE(sim.Ready());
    TComPort port;
    ASSERT_TRUE(port.Open(sim.Port(), bps));
    port.WriteString("\x56\x40");
    SleepMs(100);
    while (port.BytesWaiting() > 0) port.ReadByte();
    size_t bytes = 0;
    const auto t0 = steady_clock::now();
    while (steady_clock::now() - t0 < milliseconds(1000)) {
      for (uint32_t n = port.BytesWaiting(); n > 0; --n, ++bytes) port.ReadByte();
      SleepMs(10);
    }
    const double seconds = duration<double>(steady_clock::now() - t0).count();
    const double capacity = bps / 10.0 * seconds;  // 10 bits a byte
    EXPECT_LE(bytes, capacity + 12) << bps;
    // Records follow each other as fast as the line allows (2000 records of 6
    // bytes a second would need more than either speed).
    EXPECT_GE(bytes, capacity * 0.6) << bps;
    port.WriteByte(0x42);
    port.Close();
  }
}

TEST(EmulatorDeviceTest, AnUnreadStreamDoesNotBlockTheControls) {
  TEmulator sim({"--stream-rate", "5000"});
  ASSERT_TRUE(sim.Ready());
  TComPort port;
  ASSERT_TRUE(port.Open(sim.Port(), 115200));
  port.WriteString("\x56\x40");
  SleepMs(2500);  // about 28 KB offered: more than the terminal holds
  const milliseconds took = Timed([&] { EXPECT_TRUE(sim.Command("pos 8 12 16")); });
  EXPECT_LT(took.count(), 1000);
  // Now read: after the backlog, the new position.
  TTrackerState state;
  state.TrackerReady = true;
  TTrackerReading reading;
  TSystemClock clock;
  TFakeMessages messages;
  TFakeHost host;
  TTrackerLink link(state, reading, clock, messages, host);
  link.SetPort(&port);
  EXPECT_TRUE(testsupport::WaitUntil([&] {
    return link.ReadFOB() && reading.FOBx == 8 && reading.FOBy == 12 && reading.FOBz == 16;
  }));
  EXPECT_NE(testsupport::ReadFileBytes(sim.Dir() / "log").find("lost "), std::string::npos);
  port.WriteByte(0x42);
}

TEST(EmulatorDeviceTest, RegistersAsAVirtualPortAndCleansUp) {
  testsupport::TempDir runtime;
  testsupport::SetEnv("XDG_RUNTIME_DIR", runtime.str());
  const std::string name = testsupport::UniqueTag("trk-");
  TEmulator sim({"--register", name}, true);
  const std::string linkPath = VirtualPortsDir() + "/" + name;
  ASSERT_TRUE(sim.Ready());
  EXPECT_EQ(linkPath.rfind(runtime.str(), 0), 0u);
  const auto ports = ListSerialPorts();
  EXPECT_NE(std::find(ports.begin(), ports.end(), linkPath), ports.end());
  {
    TComPort port;
    EXPECT_TRUE(port.Open(linkPath, 115200));
  }
  // After a replug the link leads to the new terminal.
  ASSERT_TRUE(sim.Command("unplug 0.2"));
  ASSERT_TRUE(sim.WaitForOutput("ready ", 2));
  const std::string out = sim.Process().Output();
  const size_t last = out.rfind("ready ");
  const std::string pty = out.substr(last + 6, out.find('\n', last) - last - 6);
  EXPECT_EQ(std::filesystem::read_symlink(linkPath).string(), pty);
  EXPECT_EQ(std::filesystem::read_symlink(sim.Port()).string(), pty);
  {
    TComPort port;
    EXPECT_TRUE(port.Open(linkPath, 115200));
  }
  EXPECT_EQ(sim.Terminate(), 0);
  testsupport::UnsetEnv("XDG_RUNTIME_DIR");
  EXPECT_FALSE(std::filesystem::is_symlink(linkPath));
  EXPECT_FALSE(std::filesystem::is_symlink(sim.Port()));
  EXPECT_FALSE(std::filesystem::exists(sim.Dir() / "control"));
}

TEST(EmulatorDeviceTest, RejectsBadOptionsAndCommands) {
  EXPECT_EQ(testsupport::RunProcess({testsupport::BinPath("zeltra-trackersim"), "--model", "x", "--no-register"}).exitCode, 1);
  EXPECT_EQ(testsupport::RunProcess({testsupport::BinPath("zeltra-trackersim"), "--speed", "1234"}).exitCode, 2);
  EXPECT_EQ(testsupport::RunProcess({testsupport::BinPath("zeltra-trackersim"), "--bogus"}).exitCode, 2);
  TEmulator sim;
  ASSERT_TRUE(sim.Ready());
  EXPECT_FALSE(sim.Command("pos 1 2"));
  EXPECT_FALSE(sim.Command("pos 40000 0 0"));  // beyond a Flock word
  EXPECT_FALSE(sim.Command("fly away"));
  EXPECT_FALSE(sim.Command("stream maybe"));
  EXPECT_TRUE(sim.Command("pos 1 2 3"));  // still serving
  TEmulator fastrak({"--model", "fastrak"});
  ASSERT_TRUE(fastrak.Ready());
  EXPECT_FALSE(fastrak.Command("pos 100000 0 0"));  // beyond its "Sxxx.xx" fields
  EXPECT_FALSE(fastrak.Command("pos 0 0 -100000"));
  EXPECT_TRUE(fastrak.Command("pos 99999 -99999 0"));
}

TEST(EmulatorDeviceTest, StreamsFromTheStartWhenAsked) {
  // No command from the program: records arrive, and a point request stops them.
  TEmulator sim({"--streaming"});
  ASSERT_TRUE(sim.Ready());
  ASSERT_TRUE(sim.Command("pos 8 12 16"));
  TComPort port;
  ASSERT_TRUE(port.Open(sim.Port(), 115200));
  ASSERT_TRUE(testsupport::WaitUntil([&] { return port.BytesWaiting() >= 60; }));
  port.WriteByte(0x42);
  SleepMs(200);
  while (port.BytesWaiting() > 0) port.ReadByte();
  SleepMs(200);
  EXPECT_EQ(port.BytesWaiting(), 0u);
  // The control command starts it again.
  ASSERT_TRUE(sim.Command("stream on"));
  EXPECT_TRUE(testsupport::WaitUntil([&] { return port.BytesWaiting() >= 60; }));
  ASSERT_TRUE(sim.Command("stream off"));
  port.Close();
}

}  // namespace
