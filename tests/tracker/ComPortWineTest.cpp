// TComPort's Win32 backend on a COM port that Wine maps to the native emulator's
// pseudo-terminal (wine-comport.sh starts the emulator and makes the mapping).
//   ZELTRA_TEST_COM      the port name, e.g. COM23
//   ZELTRA_TEST_DIR      the emulator's folder as a Windows path (Z:\...): its
//                        control FIFO "control"
// Wine falls short of Windows here: it does not refuse a second handle on a port
// opened with share mode 0, and EscapeCommFunction fails on a pseudo-terminal.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "ComPort.h"
#include "SystemClock.h"
#include "TestSupport.h"
#include "TrackerFakes.h"
#include "tracker/TrackerLink.h"

using namespace std::chrono;
using testsupport::WaitUntil;
using namespace trackertest;

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

template <typename F>
milliseconds Timed(F f) {
  const auto t0 = steady_clock::now();
  f();
  return duration_cast<milliseconds>(steady_clock::now() - t0);
}

// A command to the emulator through its control FIFO (reached through Wine's Z:).
bool Control(const std::string& line) {
  const std::string path = Env("ZELTRA_TEST_DIR") + "\\control";
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const std::string text = line + "\n";
  DWORD written = 0;
  const BOOL ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(h);
  Sleep(100);  // the emulator applies it within a few milliseconds
  return ok && written == text.size();
}

class ComPortWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    com = Env("ZELTRA_TEST_COM");
    if (com.empty()) GTEST_SKIP() << "run through wine-comport.sh (ZELTRA_TEST_COM unset)";
  }
  std::string com;
};

TEST_F(ComPortWineTest, OpensAndConfiguresTheLine) {
  TComPort port;
  ASSERT_TRUE(port.Open(com, 57600));
  EXPECT_TRUE(port.IsOpen());
  // Read the line back through a handle of our own (Wine lets a second one open).
  HANDLE h = CreateFileA(com.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(h, &dcb));
    EXPECT_EQ(dcb.BaudRate, 57600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    // (Wine reports fRtsControl as RTS_CONTROL_ENABLE and fTXContinueOnXoff as 0
    // whatever was set: it derives them from the terminal's settings.)
    CloseHandle(h);
  }
  port.Close();
  EXPECT_FALSE(port.IsOpen());
}

TEST_F(ComPortWineTest, ASecondOpenFailsOnWindows) {
  TComPort first, second;
  ASSERT_TRUE(first.Open(com, 115200));
  EXPECT_EQ(first.LastError(), ISerialPort::TOpenError::None);
  const bool opened = second.Open(com, 115200);
  if (UnderWine() && opened) {
    GTEST_SKIP() << "Wine does not enforce share mode 0 on a COM port";
  }
  EXPECT_FALSE(opened);
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(second.LastError(), ISerialPort::TOpenError::InUse);
  EXPECT_EQ(second.LastErrorText(), kPortInUseText);  // as on POSIX, not "Access is denied"
}

TEST_F(ComPortWineTest, AsksTheModelAndReadsTheAnswer) {
  TComPort port;
  ASSERT_TRUE(port.Open(com, 115200));
  while (port.BytesWaiting() > 0) port.ReadByte();
  ASSERT_TRUE(port.WriteString("\x4f\x0f"));
  ASSERT_TRUE(WaitUntil([&] { return port.BytesWaiting() == 10; }, seconds(3)))
      << "waiting: " << port.BytesWaiting();
  std::string id;
  for (int i = 0; i < 10; ++i) id += static_cast<char>(port.ReadByte());
  EXPECT_EQ(id, "6DFOB     ");
  EXPECT_EQ(port.BytesWaiting(), 0u);
  // Nothing more comes: the read waits its 300 ms and keeps the last byte.
  uint8_t b = 0;
  const milliseconds took = Timed([&] { b = port.ReadByte(); });
  EXPECT_EQ(b, ' ');
  EXPECT_GE(took.count(), 250);
  EXPECT_LE(took.count(), 1500);
  EXPECT_TRUE(port.WriteString(""));
}

TEST_F(ComPortWineTest, NamesThatAreNoSerialPortFail) {
  TComPort port;
  const std::string file = Env("ZELTRA_TEST_DIR") + "\\log";
  EXPECT_FALSE(port.Open(file, 115200));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.LastError(), ISerialPort::TOpenError::NotSerial);
  EXPECT_EQ(port.LastErrorText(), "not a serial port");
  EXPECT_FALSE(port.Open("COM251", 115200));
  EXPECT_FALSE(port.IsOpen());
  // A port that is not there is said as such, with the system's words.
  EXPECT_EQ(port.LastError(), ISerialPort::TOpenError::NotFound);
  EXPECT_FALSE(port.LastErrorText().empty());
  EXPECT_EQ(port.LastErrorText().find_first_of("\r\n"), std::string::npos) << port.LastErrorText();
  EXPECT_EQ(port.BytesWaiting(), 0u);
  EXPECT_FALSE(port.WriteString("x"));
  port.Close();
  port.Close();
}

TEST_F(ComPortWineTest, TheStartUpExchangeAndStreamReading) {
  TTrackerState state;
  state.PortName = com;
  state.IsStreaming = true;
  TTrackerReading reading;
  TSystemClock clock;
  TFakeMessages messages;
  TFakeHost host;
  TComPort port;
  TTrackerLink link(state, reading, clock, messages, host);
  link.SetPort(&port);
  ASSERT_TRUE(Control("pos 400 -800 1200"));
  link.InitFOB();
  EXPECT_TRUE(messages.messages.empty()) << messages.messages.front();
  EXPECT_EQ(host.caption, "6DFOB     ");
  EXPECT_TRUE(state.TrackerReady);
  EXPECT_TRUE(WaitUntil([&] { return link.ReadFOB() && reading.FOBx == 400 && reading.FOBy == -800 &&
                                     reading.FOBz == 1200; }, seconds(3)));
  // Unplugged: reads fail at once.
  ASSERT_TRUE(Control("unplug 1"));
  int truths = 0;
  const milliseconds took = Timed([&] {
    for (int i = 0; i < 20; ++i) truths += link.ReadFOB();
  });
  EXPECT_LT(took.count(), 500);
  EXPECT_LE(truths, 1);
  link.Shutdown();
  EXPECT_FALSE(port.IsOpen());
}

}  // namespace
