// The start-up exchange, the operator prompt and the bytes sent at exit, checked
// as one ordered trace of port traffic, waits, messages and window calls.
#include <gtest/gtest.h>

#include <numeric>
#include <stdexcept>

#include "TrackerFakes.h"
#include "tracker/TrackerLink.h"

using namespace trackertest;

namespace {

const char kModelId[] = "6DFOB     ";

std::string JoinTrace(const TTrace& t) {
  std::string s;
  for (const auto& line : t) s += "  " + line + "\n";
  return s;
}

class InitFobTest : public ::testing::Test {
 protected:
  InitFobTest()
      : port(&trace), clock(&trace), messages(&trace), host(&trace),
        link(state, reading, clock, messages, host) {
    state.PortName = "COM1";
    state.BPS = 115200;
    state.IsStreaming = true;
    link.SetPort(&port);
  }
  // The device answers the model query at once, with `extra` after the 10 bytes.
  void AnswerModelQuery(const std::string& answer) {
    port.onWrite = [this, answer, last = uint8_t{0}](uint8_t b) mutable {
      if (last == kFlockExamine && b == kFlockModelIdParam) port.Feed(answer);
      last = b;
    };
  }
  TTrace trace;
  TTrackerState state;
  TTrackerReading reading;
  TFakePort port;
  TFakeClock clock;
  TFakeMessages messages;
  TFakeHost host;
  TTrackerLink link;
};

const TTrace kExchangeTail = {
    "sleep 320", "w f1", "w 50", "w 32", "w 01", "sleep 620", "w 56",
};

TTrace Concat(std::initializer_list<TTrace> parts) {
  TTrace all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST_F(InitFobTest, StreamModeExchangeInOrder) {
  AnswerModelQuery(std::string(kModelId) + "xyz");
  link.InitFOB();
  const TTrace expected = Concat({
      {"stop polling", "open COM1 115200", "begin connect", "w 42", "sleep 800", "w 4f", "w 0f",
       "sleep 800", std::string("caption ") + kModelId},
      kExchangeTail,
      {"w 40", "end connect", "start polling"},
  });
  EXPECT_EQ(trace, expected) << JoinTrace(trace);
  EXPECT_TRUE(state.TrackerReady);
  EXPECT_EQ(host.caption.size(), 10u);
  // Bytes after the tenth stay for the reads that follow.
  EXPECT_EQ(std::string(port.input.begin(), port.input.end()), "xyz");
  EXPECT_EQ(clock.sleeps, (std::vector<uint32_t>{800, 800, 320, 620}));
  EXPECT_EQ(std::accumulate(clock.sleeps.begin(), clock.sleeps.end(), 0u), 2540u);
  EXPECT_TRUE(link.Connected());
  EXPECT_EQ(link.FailureText(), "");
}

TEST_F(InitFobTest, PointModeEndsWithAPointRequest) {
  state.IsStreaming = false;
  AnswerModelQuery(kModelId);
  link.InitFOB();
  ASSERT_GE(trace.size(), 3u);
  EXPECT_EQ(trace[trace.size() - 3], "w 42");
  EXPECT_EQ(port.written, std::string("\x42\x4f\x0f\xf1\x50\x32\x01\x56\x42", 9));
}

TEST_F(InitFobTest, StaleBytesAreDrainedBeforeTheQuery) {
  port.open = true;  // still open from an earlier connection
  port.Feed("stale bytes of an old stream");
  AnswerModelQuery(kModelId);
  link.InitFOB();
  EXPECT_EQ(host.caption, kModelId);
  ASSERT_GE(trace.size(), 3u);
  EXPECT_EQ(trace[0], "stop polling");
  EXPECT_EQ(trace[1], "close");  // an open port is closed first
  EXPECT_EQ(trace[2], "open COM1 115200");
}

TEST_F(InitFobTest, SilentDeviceGivesTheConnectionErrorWithTheCount) {
  link.InitFOB();
  const std::string message =
      "Connection error: no response to Examine:SystemModelIdentification (79:15) \"COM1\" "
      "bps:115200  response(Bytes):0";
  // The progress ends before the message, which does not stand over it.
  const TTrace expected = Concat({
      {"stop polling", "open COM1 115200", "begin connect", "w 42", "sleep 800", "w 4f", "w 0f",
       "sleep 800", "end connect", "message " + message},
      kExchangeTail,
      {"w 40", "start polling"},
  });
  EXPECT_EQ(trace, expected) << JoinTrace(trace);
  EXPECT_EQ(host.caption, "Zeltra");
  EXPECT_TRUE(state.TrackerReady);
  EXPECT_FALSE(link.Connected());
  EXPECT_EQ(link.FailureText(), message);
}

TEST_F(InitFobTest, APartialAnswerIsCountedAndLeft) {
  state.PortName = "/dev/ttyUSB0";
  state.BPS = 9600;
  AnswerModelQuery("6DF\x80");
  link.InitFOB();
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_EQ(messages.messages[0],
            "Connection error: no response to Examine:SystemModelIdentification (79:15) "
            "\"/dev/ttyUSB0\" bps:9600  response(Bytes):4");
  EXPECT_EQ(port.input.size(), 4u);
}

TEST_F(InitFobTest, APortThatDoesNotOpenIsSaidOnceAndGetsNoExchange) {
  using E = ISerialPort::TOpenError;
  struct TCase {
    bool fastrak;
    E error;
    const char* reason;
    std::string message;
  };
  const std::string at = "Serial port /dev/ttyUSB0 could not be opened at 9600 bps";
  const TCase cases[] = {
      {false, E::NotFound, "No such file or directory", "Serial port /dev/ttyUSB0 not found"},
      {true, E::NotFound, "No such file or directory", "Serial port /dev/ttyUSB0 not found"},
      {false, E::InUse, "in use by another program", at + ": in use by another program"},
      {true, E::InUse, "Access is denied", at + ": Access is denied"},
      {true, E::Other, "Permission denied", at + ": Permission denied"},
      {false, E::NotSerial, "not a serial port", at + ": not a serial port"},
      {true, E::Settings, "unsupported speed", at + ": unsupported speed"},
      {false, E::Other, "", at},
  };
  state.PortName = "/dev/ttyUSB0";
  state.BPS = 9600;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.message + (c.fastrak ? " (Fastrak)" : " (Flock)"));
    trace.clear();
    messages.messages.clear();
    clock.sleeps.clear();
    port.written.clear();
    state.TrackerReady = false;
    state.IsFastrak = c.fastrak;
    port.openSucceeds = false;
    port.openError = c.error;
    port.openErrorText = c.reason;
    link.InitFOB();
    // One message, naming the port (and for a port that is there, the speed and
    // the system's reason); no exchange with a port that is not open.
    EXPECT_EQ(trace, (TTrace{"stop polling", "open /dev/ttyUSB0 9600", "message " + c.message, "start polling"}))
        << JoinTrace(trace);
    EXPECT_FALSE(link.Connected());
    EXPECT_EQ(link.FailureText(), c.message);
    EXPECT_TRUE(state.TrackerReady);
    EXPECT_TRUE(host.polling);
    EXPECT_TRUE(clock.sleeps.empty());
    EXPECT_EQ(port.written, "");
    EXPECT_FALSE(link.ReadFOB());
  }
  // The adapter is plugged in: the next connection succeeds and says nothing.
  state.IsFastrak = false;
  port.openSucceeds = true;
  messages.messages.clear();
  AnswerModelQuery(kModelId);
  link.InitFOB();
  EXPECT_TRUE(messages.messages.empty());
  EXPECT_TRUE(link.Connected());
  EXPECT_EQ(link.FailureText(), "");
}

TEST_F(InitFobTest, AStreamLeftRunningIsStoppedBeforeTheQuery) {
  // The device still streams from an earlier run: a backlog waits when the port
  // opens and records keep coming during each wait until a point request (0x42)
  // stops them, which the device answers with one more record.
  const std::string record = FlockBytes(400, 800, 1200);
  bool streaming = true;
  for (int i = 0; i < 300; ++i) port.Feed(record);
  clock.onSleep = [&](uint32_t ms) {
    for (uint32_t t = 0; streaming && t < ms; t += 10) port.Feed(record);
  };
  port.onWrite = [&, last = uint8_t{0}](uint8_t b) mutable {
    if (b == kFlockPoint) {
      streaming = false;
      port.Feed(record);
    }
    if (last == kFlockExamine && b == kFlockModelIdParam) port.Feed(kModelId);
    last = b;
  };
  link.InitFOB();
  EXPECT_EQ(host.caption, kModelId);
  EXPECT_TRUE(messages.messages.empty());
  EXPECT_TRUE(link.Connected());
  // The stop goes out before the query, and the line is empty when the query goes.
  EXPECT_EQ(port.written.substr(0, 3), "\x42\x4f\x0f");
  EXPECT_TRUE(port.input.empty());
}

TEST_F(InitFobTest, AFastrakThatOpensIsConnected) {
  state.IsFastrak = true;
  link.InitFOB();
  EXPECT_TRUE(link.Connected());
  EXPECT_EQ(link.FailureText(), "");
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(InitFobTest, AReconnectionStartsTheReadersAfresh) {
  // Noise before a reconnection does not make the new link noisy, and the end of
  // a record that the old connection left begun is not joined to the new bytes.
  port.open = true;
  state.TrackerReady = true;
  port.Feed(FlockBytes(4, 8, 12));
  EXPECT_TRUE(link.ReadFOB());
  // A record cut short, then the first four bytes of the next: the read keeps the
  // next one's phasing byte for the read after it.
  port.Feed(FlockBytes(4, 8, 12).substr(0, 3) + FlockBytes(4, 8, 12).substr(0, 4));
  EXPECT_FALSE(link.ReadFOB());
  EXPECT_TRUE(link.Noisy());
  EXPECT_EQ(port.input.size(), 3u);
  AnswerModelQuery(kModelId);
  link.InitFOB();
  EXPECT_FALSE(link.Noisy());
  EXPECT_TRUE(port.input.empty());  // drained
  port.Feed(FlockBytes(16, 20, 24));
  EXPECT_TRUE(link.ReadFOB());
  EXPECT_EQ(reading.FOBx, 16);
  EXPECT_FALSE(link.Noisy());
}

TEST_F(InitFobTest, NoPortNameDoesNothing) {
  state.PortName.clear();
  link.InitFOB();
  EXPECT_TRUE(trace.empty()) << JoinTrace(trace);
  EXPECT_FALSE(state.TrackerReady);
}

TEST_F(InitFobTest, NoPortObjectDoesNothing) {
  link.SetPort(nullptr);
  link.InitFOB();
  EXPECT_TRUE(trace.empty()) << JoinTrace(trace);
  EXPECT_FALSE(state.TrackerReady);
}

TEST_F(InitFobTest, AFastrakOnlyOpensThePort) {
  state.IsFastrak = true;
  link.InitFOB();
  EXPECT_EQ(trace, (TTrace{"stop polling", "open COM1 115200", "start polling"})) << JoinTrace(trace);
  EXPECT_TRUE(state.TrackerReady);
  EXPECT_TRUE(clock.sleeps.empty());
}

TEST_F(InitFobTest, TheDialogStopsStreamingThenPrompts) {
  port.open = true;
  state.BPS = 19200;
  AnswerModelQuery(kModelId);
  link.InitFOBdialog();
  ASSERT_GE(trace.size(), 4u);
  EXPECT_EQ(trace[0], "w 42");
  EXPECT_EQ(trace[1],
            "message Please switch on the miniBIRD/FOB tracker and set it to 'FLY'. If the tracker "
            "was already on FLY, set it to STDBY briefly first. Press 'OK' when the panel light "
            "stops flashing. BPS: 19200");
  EXPECT_EQ(trace[2], "stop polling");
  EXPECT_EQ(trace[3], "close");
  EXPECT_EQ(host.caption, kModelId);
}

TEST_F(InitFobTest, TheDialogOnAClosedPortOnlyPrompts) {
  link.InitFOBdialog();
  ASSERT_GE(trace.size(), 2u);
  EXPECT_EQ(trace[0].rfind("message Please switch on", 0), 0u);
  EXPECT_EQ(trace[1], "stop polling");
}

TEST_F(InitFobTest, TheDialogForAFastrakReconnectsWithoutPrompt) {
  state.IsFastrak = true;
  port.open = true;
  link.InitFOBdialog();
  EXPECT_EQ(trace, (TTrace{"stop polling", "close", "open COM1 115200", "start polling"}))
      << JoinTrace(trace);
}

TEST_F(InitFobTest, ShutdownPutsTheTrackerToSleepWhateverItsType) {
  for (bool fastrak : {false, true}) {
    trace.clear();
    state.IsFastrak = fastrak;
    port.open = true;
    link.Shutdown();
    EXPECT_EQ(trace, (TTrace{"w 42", "w 47", "close"})) << JoinTrace(trace);
    EXPECT_FALSE(port.IsOpen());
  }
  trace.clear();
  link.Shutdown();  // not open: nothing to send
  EXPECT_EQ(trace, (TTrace{"close"}));
}

TEST_F(InitFobTest, AnErrorDuringTheExchangeDoesNotStopPollingForGood) {
  messages.onMessage = [](const std::string&) { throw std::runtime_error("box failed"); };
  EXPECT_THROW(link.InitFOB(), std::runtime_error);
  EXPECT_EQ(host.begins, 1);
  EXPECT_EQ(host.ends, 1);
  EXPECT_TRUE(host.polling);
}

}  // namespace
