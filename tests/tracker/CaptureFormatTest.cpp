// The serial capture file: what TSerialCapture writes and what the replay reads.
#include <gtest/gtest.h>

#include <cstdio>

#include "SerialCapture.h"
#include "TestSupport.h"

using testsupport::TempDir;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    lines.push_back(text.substr(pos, nl - pos));
    pos = nl + 1;
  }
  return lines;
}

// "> 12.345 4f 0f" -> "> 4f 0f": the event without its time.
std::string WithoutTime(const std::string& line) {
  const size_t a = line.find(' ');
  if (a == std::string::npos || line[0] == '#') return line;
  const size_t b = line.find(' ', a + 1);
  return line.substr(0, a) + (b == std::string::npos ? "" : line.substr(b));
}

TEST(SerialCaptureTest, WritesEveryEventInOrder) {
  TempDir dir;
  const auto path = dir / "capture.txt";
  {
    std::FILE* f = std::fopen(path.string().c_str(), "ab");
    ASSERT_NE(f, nullptr);
    TSerialCapture c(f, "COM 5", 115200);
    const uint8_t query[] = {0x4f, 0x0f};
    c.Sent(query, 2);
    c.Waiting(0);  // nothing new: no line
    c.Waiting(3);
    c.Received(0x36);
    c.Received(0x44);
    c.Waiting(1);  // the third byte, already known: no line
    c.Received(0x46);
    c.Waiting(2);  // two new ones
    c.Purged();
    c.Comment("a note");
    c.Closed();
    c.Closed();  // once only
  }
  const auto lines = Lines(testsupport::ReadFileBytes(path));
  std::vector<std::string> events;
  for (const auto& l : lines) events.push_back(WithoutTime(l));
  EXPECT_EQ(events, (std::vector<std::string>{"open COM 5", "> 4f 0f", "? 3", "< 36 44 46", "? 2",
                                              "purge", "# a note", "close"}));
  // The open line keeps the speed first, then the whole device name.
  EXPECT_EQ(lines[0], "open 115200 COM 5");
}

TEST(SerialCaptureTest, ParsesWhatItWrites) {
  const std::string text =
      "# comment\n"
      "open 9600 /dev/pts/3\n"
      "> 800.125 4f 0f\r\n"
      "? 1600.5 10\n"
      "< 1600.6 36 44 46 4F 42\n"
      "\n"
      "purge 1700\n"
      "close 1800.000\n";
  std::vector<TCaptureEvent> events;
  std::string error;
  ASSERT_TRUE(ParseSerialCapture(text, events, error)) << error;
  ASSERT_EQ(events.size(), 6u);
  EXPECT_EQ(events[0].kind, TCaptureEvent::Open);
  EXPECT_EQ(events[0].baud, 9600);
  EXPECT_EQ(events[0].device, "/dev/pts/3");
  EXPECT_EQ(events[1].kind, TCaptureEvent::Sent);
  EXPECT_DOUBLE_EQ(events[1].ms, 800.125);
  EXPECT_EQ(events[1].bytes, "\x4f\x0f");
  EXPECT_EQ(events[2].kind, TCaptureEvent::Waiting);
  EXPECT_EQ(events[2].count, 10u);
  EXPECT_EQ(events[3].kind, TCaptureEvent::Received);
  EXPECT_EQ(events[3].bytes, "6DFOB");
  EXPECT_EQ(events[4].kind, TCaptureEvent::Purge);
  EXPECT_EQ(events[5].kind, TCaptureEvent::Close);
}

TEST(SerialCaptureTest, RejectsMalformedLinesNamingThem) {
  for (const char* bad : {"open\n", "> x 4f\n", "> 1 4\n", "> 1 4g\n", "? 1\n", "? 1 -2\n", "? 1 99999999999\n",
                          "purge\n", "send 1 4f\n", "< -1 00\n"}) {
    std::vector<TCaptureEvent> events;
    std::string error;
    EXPECT_FALSE(ParseSerialCapture(std::string("open 1 x\n") + bad, events, error)) << bad;
    EXPECT_EQ(error.rfind("line 2:", 0), 0u) << error;
  }
}

TEST(SerialCaptureTest, OffWithoutTheVariable) {
  testsupport::UnsetEnv(kSerialCaptureVariable);
  EXPECT_EQ(TSerialCapture::FromEnvironment("COM1", 9600), nullptr);
  testsupport::SetEnv(kSerialCaptureVariable, "");
  EXPECT_EQ(TSerialCapture::FromEnvironment("COM1", 9600), nullptr);
  testsupport::UnsetEnv(kSerialCaptureVariable);
}

TEST(SerialCaptureTest, AppendsAcrossSessions) {
  TempDir dir;
  const auto path = (dir / "c.txt").string();
  testsupport::SetEnv(kSerialCaptureVariable, path);
  for (int i = 0; i < 2; ++i) {
    auto c = TSerialCapture::FromEnvironment("COM1", 9600);
    ASSERT_NE(c, nullptr);
    const uint8_t b = static_cast<uint8_t>(0x40 + i);
    c->Sent(&b, 1);
  }
  testsupport::UnsetEnv(kSerialCaptureVariable);
  std::vector<TCaptureEvent> events;
  std::string error;
  ASSERT_TRUE(ParseSerialCapture(testsupport::ReadFileBytes(path), events, error)) << error;
  ASSERT_EQ(events.size(), 6u);
  EXPECT_EQ(events[1].bytes, "@");
  EXPECT_EQ(events[3].kind, TCaptureEvent::Open);
  EXPECT_EQ(events[4].bytes, "A");
  EXPECT_EQ(events[5].kind, TCaptureEvent::Close);
}

}  // namespace
