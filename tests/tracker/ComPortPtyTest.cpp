// TComPort on real pseudo-terminals: the test holds the master side, the port
// object opens the slave by its path, as the program opens a device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "ComPort.h"
#include "SerialCapture.h"
#include "TestSupport.h"

using namespace std::chrono;
using testsupport::TempDir;
using testsupport::WaitUntil;

namespace {

class TMaster {
 public:
  TMaster() {
    fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0) return;
    char name[128];
    if (ptsname_r(fd, name, sizeof name) == 0) slave = name;
    // The master side never blocks the test.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  ~TMaster() { Close(); }
  void Close() {
    if (fd >= 0) close(fd);
    fd = -1;
  }
  void Write(const std::string& s) const { ASSERT_EQ(write(fd, s.data(), s.size()), static_cast<ssize_t>(s.size())); }
  // Everything the port wrote so far, waiting until `count` bytes came.
  std::string Read(size_t count, milliseconds timeout = milliseconds(2000)) const {
    std::string got;
    WaitUntil([&] {
      char buf[4096];
      ssize_t n;
      while ((n = read(fd, buf, sizeof buf)) > 0) got.append(buf, static_cast<size_t>(n));
      return got.size() >= count;
    }, timeout);
    return got;
  }
  termios Settings() const {
    termios t{};
    tcgetattr(fd, &t);
    return t;
  }
  int fd = -1;
  std::string slave;
};

template <typename F>
milliseconds Timed(F f) {
  const auto t0 = steady_clock::now();
  f();
  return duration_cast<milliseconds>(steady_clock::now() - t0);
}

class ComPortPtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GE(master.fd, 0);
    ASSERT_FALSE(master.slave.empty());
    testsupport::UnsetEnv(kSerialCaptureVariable);
  }
  TMaster master;
};

TEST_F(ComPortPtyTest, OpensAndSetsRaw8N1WithoutFlowControl) {
  TComPort port;
  EXPECT_FALSE(port.IsOpen());
  struct TCase {
    int32_t bps;
    speed_t constant;
  };
  for (const TCase c : {TCase{9600, B9600}, TCase{19200, B19200}, TCase{38400, B38400},
                        TCase{57600, B57600}, TCase{115200, B115200}}) {
    ASSERT_TRUE(port.Open(master.slave, c.bps)) << c.bps;
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.GetBaudRate(), c.bps);
    EXPECT_EQ(port.GetDeviceName(), master.slave);
    // The master side sees what the port set on the line.
    const termios t = master.Settings();
    EXPECT_EQ(cfgetospeed(&t), c.constant) << c.bps;
    EXPECT_EQ(cfgetispeed(&t), c.constant) << c.bps;
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP | INPCK), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    port.Close();
    EXPECT_FALSE(port.IsOpen());
  }
}

TEST_F(ComPortPtyTest, BytesPassUnchangedBothWays) {
  TComPort port;
  ASSERT_TRUE(port.Open(master.slave, 115200));
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  // Line ends, XON/XOFF, interrupt characters: raw means none is special.
  ASSERT_TRUE(port.WriteString(all));
  const std::string got = master.Read(256);
  EXPECT_EQ(got, all) << testsupport::HexDump(got);
  master.Write(all);
  ASSERT_TRUE(WaitUntil([&] { return port.BytesWaiting() == 256; }));
  std::string back;
  for (int i = 0; i < 256; ++i) {
    back += static_cast<char>(port.ReadByte());
    // Those taken into the receive buffer count as waiting until they are read.
    if (i == 0) {
      EXPECT_EQ(port.BytesWaiting(), 255u);
    }
  }
  EXPECT_EQ(back, all) << testsupport::HexDump(back);
  EXPECT_EQ(port.BytesWaiting(), 0u);
  port.WriteByte(0x42);
  EXPECT_EQ(master.Read(1), "B");
  EXPECT_TRUE(port.WriteString(""));
}

TEST_F(ComPortPtyTest, ASecondOpenOfAHeldPortFails) {
  // Also as root, which TIOCEXCL alone does not stop.
  TComPort first, second;
  ASSERT_TRUE(first.Open(master.slave, 115200));
  EXPECT_FALSE(second.Open(master.slave, 115200));
  EXPECT_FALSE(second.IsOpen());
  // The holder keeps working.
  ASSERT_TRUE(first.WriteString("ok"));
  EXPECT_EQ(master.Read(2), "ok");
  // Once it lets go, the port opens again (TF6 closes, then opens).
  first.Close();
  EXPECT_TRUE(second.Open(master.slave, 115200));
}

TEST_F(ComPortPtyTest, CloseLeavesNoExclusiveModeBehind) {
  // The emulator's side keeps the terminal open; exclusive mode must not outlive
  // the port's handle, or a later open by an ordinary user fails with EBUSY.
  const int keeper = open(master.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(keeper, 0);
  TComPort port;
  ASSERT_TRUE(port.Open(master.slave, 115200));
  int excl = -1;
  ASSERT_EQ(ioctl(keeper, TIOCGEXCL, &excl), 0);
  EXPECT_EQ(excl, 1);
  port.Close();
  ASSERT_EQ(ioctl(keeper, TIOCGEXCL, &excl), 0);
  EXPECT_EQ(excl, 0);
  close(keeper);
}

TEST_F(ComPortPtyTest, ReopeningTheSameObjectClosesFirst) {
  TComPort port;
  ASSERT_TRUE(port.Open(master.slave, 115200));
  // Without closing its own handle first, the object would lock itself out.
  EXPECT_TRUE(port.Open(master.slave, 9600));
  EXPECT_EQ(cfgetospeed(&static_cast<const termios&>(master.Settings())), static_cast<speed_t>(B9600));
  TComPort other;
  EXPECT_FALSE(other.Open(master.slave, 9600));  // one handle only, still held
}

TEST_F(ComPortPtyTest, NamesThatAreNoSerialPortFailAndStayClosed) {
  TempDir dir;
  const auto file = dir / "plain.txt";
  testsupport::WriteFileBytes(file, "not a port");
  for (const std::string& name :
       {file.string(), std::string("/dev/null"), (dir / "missing").string(), dir.str(), std::string("")}) {
    TComPort port;
    EXPECT_FALSE(port.Open(name, 115200)) << name;
    EXPECT_FALSE(port.IsOpen()) << name;
    EXPECT_EQ(port.BytesWaiting(), 0u);
    EXPECT_FALSE(port.WriteString("x"));
  }
  EXPECT_EQ(testsupport::ReadFileBytes(file), "not a port");
}

TEST_F(ComPortPtyTest, AnUnsupportedSpeedFailsButHoldsThePort) {
  TComPort port;
  EXPECT_FALSE(port.Open(master.slave, 12345));
  EXPECT_TRUE(port.IsOpen());
  TComPort other;
  EXPECT_FALSE(other.Open(master.slave, 9600));
  port.Close();
  EXPECT_FALSE(port.IsOpen());
}

TEST_F(ComPortPtyTest, ReadByteWaitsAtMostTheTimeOutAndKeepsTheOldByte) {
  TComPort port;
  ASSERT_TRUE(port.Open(master.slave, 115200));
  uint8_t b = 0xEE;
  // Before any byte arrived the buffer holds 0.
  milliseconds took = Timed([&] { b = port.ReadByte(); });
  EXPECT_EQ(b, 0);
  EXPECT_GE(took.count(), 280);
  EXPECT_LE(took.count(), 1000);
  master.Write("A");
  ASSERT_TRUE(WaitUntil([&] { return port.BytesWaiting() == 1; }));
  took = Timed([&] { b = port.ReadByte(); });
  EXPECT_EQ(b, 'A');
  EXPECT_LT(took.count(), 100);
  took = Timed([&] { b = port.ReadByte(); });
  EXPECT_EQ(b, 'A');  // the byte the previous read left
  EXPECT_GE(took.count(), 280);
  EXPECT_LE(took.count(), 1000);
}

TEST_F(ComPortPtyTest, AByteThatArrivesDuringTheWaitIsReturnedAtOnce) {
  TComPort port;
  ASSERT_TRUE(port.Open(master.slave, 115200));
  steady_clock::time_point sentAt;
  std::thread later([&] {
    std::this_thread::sleep_for(milliseconds(50));
    sentAt = steady_clock::now();
    master.Write("Z");
  });
  const auto t0 = steady_clock::now();
  const uint8_t b = port.ReadByte();
  const auto t1 = steady_clock::now();
  later.join();
  EXPECT_EQ(b, 'Z');
  EXPECT_GE(duration_cast<milliseconds>(t1 - t0).count(), 40);
  // Returned when the byte came, not at the end of the time-out.
  EXPECT_LT(duration_cast<milliseconds>(t1 - sentAt).count(), 100);
}

void OnAlarm(int) {}

TEST_F(ComPortPtyTest, SignalsDoNotCutTheWaitShort) {
  struct sigaction sa {}, old {};
  sa.sa_handler = OnAlarm;  // no SA_RESTART: poll and read fail with EINTR
  sigemptyset(&sa.sa_mask);
  ASSERT_EQ(sigaction(SIGALRM, &sa, &old), 0);
  itimerval every{{0, 20000}, {0, 20000}};  // every 20 ms
  ASSERT_EQ(setitimer(ITIMER_REAL, &every, nullptr), 0);
  TComPort port;
  const bool opened = port.Open(master.slave, 115200);
  uint8_t b = 0;
  const milliseconds took = Timed([&] { b = port.ReadByte(); });
  master.Write("Q");
  uint32_t waiting = 0;
  WaitUntil([&] { return (waiting = port.BytesWaiting()) == 1; });
  const uint8_t q = port.ReadByte();
  const bool wrote = port.WriteString(std::string(100, 'w'));
  itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &old, nullptr);
  EXPECT_TRUE(opened);
  EXPECT_GE(took.count(), 280);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(waiting, 1u);
  EXPECT_EQ(q, 'Q');
  EXPECT_TRUE(wrote);
  EXPECT_EQ(master.Read(100).size(), 100u);
}

TEST_F(ComPortPtyTest, AWriteNobodyTakesFailsAfterTheTimeOut) {
  TComPort port;
  ASSERT_TRUE(port.Open(master.slave, 115200));
  // The master never reads: the terminal's buffers fill up and stay full.
  bool ok = true;
  const milliseconds took = Timed([&] { ok = port.WriteString(std::string(1 << 20, 'x')); });
  EXPECT_FALSE(ok);
  EXPECT_GE(took.count(), 280);
  EXPECT_LT(took.count(), 3000);
  // What was accepted before is there, in order.
  const std::string got = master.Read(1 << 20, milliseconds(300));
  EXPECT_GT(got.size(), 0u);
  EXPECT_EQ(got, std::string(got.size(), 'x'));
}

TEST_F(ComPortPtyTest, ClosedPortOperationsAreHarmless) {
  TComPort port;
  EXPECT_EQ(port.BytesWaiting(), 0u);
  EXPECT_FALSE(port.WriteString("x"));
  port.WriteByte(1);
  const milliseconds took = Timed([&] { EXPECT_EQ(port.ReadByte(), 0); });
  EXPECT_LT(took.count(), 50);  // no wait on a closed port
  port.Close();
  port.Close();
  ASSERT_TRUE(port.Open(master.slave, 115200));
  master.Write("k");
  ASSERT_TRUE(WaitUntil([&] { return port.BytesWaiting() == 1; }));
  EXPECT_EQ(port.ReadByte(), 'k');
  port.Close();
  port.Close();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.BytesWaiting(), 0u);
  EXPECT_EQ(port.ReadByte(), 'k');  // the old byte, at once
}

TEST_F(ComPortPtyTest, AHungUpDeviceGivesNothingAndNeverBlocks) {
  TComPort port;
  ASSERT_TRUE(port.Open(master.slave, 115200));
  master.Write("abc");
  ASSERT_TRUE(WaitUntil([&] { return port.BytesWaiting() == 3; }));
  EXPECT_EQ(port.ReadByte(), 'a');
  master.Close();  // the adapter is unplugged
  const milliseconds took = Timed([&] {
    for (int i = 0; i < 100; ++i) {
      EXPECT_EQ(port.BytesWaiting(), 0u);
      EXPECT_EQ(port.ReadByte(), 'a');
      EXPECT_FALSE(port.WriteString("x"));
    }
  });
  EXPECT_LT(took.count(), 250);  // no time-outs: the hang-up is seen at once
  EXPECT_TRUE(port.IsOpen());
  port.Close();
  EXPECT_FALSE(port.IsOpen());
}

TEST_F(ComPortPtyTest, CaptureRecordsTheSession) {
  TempDir dir;
  const std::string path = (dir / "capture.txt").string();
  testsupport::SetEnv(kSerialCaptureVariable, path);
  {
    TComPort port;
    ASSERT_TRUE(port.Open(master.slave, 57600));
    testsupport::UnsetEnv(kSerialCaptureVariable);  // read at Open only
    port.WriteString("\x4f\x0f");
    master.Write("6DF");
    ASSERT_TRUE(WaitUntil([&] { return port.BytesWaiting() == 3; }));
    for (int i = 0; i < 3; ++i) port.ReadByte();
    port.Close();
    ASSERT_TRUE(port.Open(master.slave, 57600));  // no capture now
    port.WriteByte(1);
    port.Close();
  }
  std::vector<TCaptureEvent> events;
  std::string error;
  ASSERT_TRUE(ParseSerialCapture(testsupport::ReadFileBytes(path), events, error)) << error;
  ASSERT_EQ(events.size(), 5u) << testsupport::ReadFileBytes(path);
  EXPECT_EQ(events[0].kind, TCaptureEvent::Open);
  EXPECT_EQ(events[0].baud, 57600);
  EXPECT_EQ(events[0].device, master.slave);
  EXPECT_EQ(events[1].kind, TCaptureEvent::Sent);
  EXPECT_EQ(events[1].bytes, "\x4f\x0f");
  EXPECT_EQ(events[2].kind, TCaptureEvent::Waiting);
  EXPECT_EQ(events[2].count, 3u);
  EXPECT_EQ(events[3].kind, TCaptureEvent::Received);
  EXPECT_EQ(events[3].bytes, "6DF");
  EXPECT_EQ(events[4].kind, TCaptureEvent::Close);
  EXPECT_LE(events[1].ms, events[2].ms);
  EXPECT_LE(events[2].ms, events[3].ms);
}

TEST_F(ComPortPtyTest, AFailedOpenTellsWhy) {
  using E = ISerialPort::TOpenError;
  TempDir dir;
  testsupport::WriteFileBytes(dir / "plain.txt", "not a port");
  TComPort holder;
  struct TCase {
    std::string name;
    int32_t bps;
    E error;
    const char* text;
    bool staysOpen;
  };
  const TCase cases[] = {
      {(dir / "ttyUSB0").string(), 115200, E::NotFound, "No such file or directory", false},
      {(dir / "no-such-folder" / "ttyUSB0").string(), 115200, E::NotFound, "No such file or directory", false},
      {"", 115200, E::NotFound, "No such file or directory", false},
      {(dir / "plain.txt").string(), 115200, E::NotSerial, "not a serial port", false},
      {"/dev/null", 115200, E::NotSerial, "not a serial port", false},
      {master.slave, 115200, E::InUse, "in use by another program", false},  // held by `holder`
      {master.slave, 12345, E::Settings, "unsupported speed", true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name + " at " + std::to_string(c.bps));
    const bool held = c.error == E::InUse;
    if (held) {
      ASSERT_TRUE(holder.Open(master.slave, 115200));
    }
    TComPort port;
    EXPECT_FALSE(port.Open(c.name, c.bps));
    EXPECT_EQ(port.LastError(), c.error);
    EXPECT_EQ(port.LastErrorText(), c.text);
    EXPECT_EQ(port.IsOpen(), c.staysOpen);
    port.Close();
    holder.Close();
    // A successful open forgets the failure.
    ASSERT_TRUE(port.Open(master.slave, 115200));
    EXPECT_EQ(port.LastError(), E::None);
    EXPECT_EQ(port.LastErrorText(), "");
    port.Close();
  }
  EXPECT_EQ(testsupport::ReadFileBytes(dir / "plain.txt"), "not a port");
}

}  // namespace
