// The reader of client streams: what it keeps reading, what makes a client bad,
// and that any cutting of the stream into chunks reads the same.
#include <gtest/gtest.h>

#include <random>

#include "IgtlCraft.h"
#include "igtl/IgtlReader.h"

using namespace igtltest;

namespace {

struct ReaderCase {
  const char* name;
  std::string bytes;
  uint64_t messages;  // whole messages read
  bool atBoundary;
  std::string error;  // empty: the stream is good
};

std::string Transform1() {
  std::string body(48, '\0');
  return Message(1, "TRANSFORM", "Tool", body);
}

std::string BadDeviceName() {
  std::string h = Header(1, "STATUS", "Tool", 0);
  h[14 + 2] = '\x80';
  return h;
}

std::vector<ReaderCase> Cases() {
  const std::string http = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" + std::string(40, 'x');
  std::string afterNul = Header(1, "TRANSFORM", "Tool", 0);
  afterNul[14 + 6] = '\x07';  // behind the name's NUL: not looked at
  return {
      {"v1_transform", Transform1(), 1, true, ""},
      {"slicer_v2_greeting", SlicerGreeting(), 1, true, ""},
      {"v3_with_metadata", Version2Message(3, "STRING", "Text", std::string("\0\3\0\2hi", 6),
                                           {{"A", "1"}, {"Key2", "Value two"}}),
       1, true, ""},
      {"greeting_then_three_messages", SlicerGreeting() + Transform1() + Transform1() + Message(1, "GET_STATUS", "", ""),
       4, true, ""},
      {"empty_body", Message(1, "GET_CAPABIL", "", ""), 1, true, ""},
      {"half_a_header", Transform1().substr(0, 30), 0, false, ""},
      {"header_without_body", Transform1().substr(0, 58), 0, false, ""},
      {"body_of_exactly_64_MB", Header(1, "IMAGE", "Big", 64ull << 20), 0, false, ""},
      {"bytes_behind_the_name_are_ignored", afterNul, 1, true, ""},
      {"body_of_65_MB", Header(1, "IMAGE", "Big", 65ull << 20), 0, true, "body of 68157440 bytes is over 64 MB"},
      {"body_size_all_ones", Header(2, "IMAGE", "Big", ~0ull), 0, true, "body of 18446744073709551615 bytes is over 64 MB"},
      {"version_0", Header(0, "STATUS", "", 0), 0, true, "header version 0"},
      {"version_4", Header(4, "STATUS", "", 0), 0, true, "header version 4"},
      {"http_request", http, 0, true, "header version 18245"},
      {"empty_type", Header(1, "", "Tool", 0), 0, true, "empty message type"},
      {"control_byte_in_type", Header(1, "TRANS\x01ORM", "Tool", 0), 0, true, "message type holds byte 1 at 5"},
      {"high_byte_in_device_name", BadDeviceName(), 0, true, "device name holds byte 128 at 2"},
      {"good_then_garbage", Transform1() + std::string(58, '\xFF'), 1, true, "header version 65535"},
  };
}

void PrintTo(const ReaderCase& c, std::ostream* os) { *os << c.name; }

class IgtlReaderTest : public ::testing::TestWithParam<ReaderCase> {};

void ExpectOutcome(const TIgtlReader& r, const ReaderCase& c, const std::string& how) {
  EXPECT_EQ(r.Messages(), c.messages) << how;
  EXPECT_EQ(r.Error(), c.error) << how;
  EXPECT_EQ(r.Bad(), !c.error.empty()) << how;
  EXPECT_EQ(r.AtBoundary(), c.atBoundary) << how;
}

TEST_P(IgtlReaderTest, Whole) {
  const ReaderCase& c = GetParam();
  TIgtlReader r;
  EXPECT_EQ(r.Feed(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()), c.error.empty());
  ExpectOutcome(r, c, "in one piece");
}

// Any chunking gives the same outcome; a bad stream stays bad whatever follows.
TEST_P(IgtlReaderTest, AnyChunking) {
  const ReaderCase& c = GetParam();
  for (unsigned seed = 1; seed <= 300; ++seed) {
    std::mt19937 rng(seed);
    const size_t maxChunk = seed % 3 == 0 ? 1 : (seed % 3 == 1 ? 7 : 90);
    TIgtlReader r;
    bool wentBad = false;
    for (size_t at = 0; at < c.bytes.size();) {
      const size_t n = std::min(c.bytes.size() - at, 1 + rng() % maxChunk);
      const bool ok = r.Feed(reinterpret_cast<const uint8_t*>(c.bytes.data()) + at, n);
      if (wentBad) {
        EXPECT_FALSE(ok);
      }
      wentBad = wentBad || !ok;
      at += n;
    }
    ExpectOutcome(r, c, "seed " + std::to_string(seed));
    if (::testing::Test::HasFailure()) break;
    // Between messages, a good stream takes the next one; a bad one nothing.
    if (!c.atBoundary) continue;
    const std::string more = Transform1();
    EXPECT_EQ(r.Feed(reinterpret_cast<const uint8_t*>(more.data()), more.size()), c.error.empty());
    EXPECT_EQ(r.Messages(), c.messages + (c.error.empty() ? 1 : 0));
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, IgtlReaderTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<ReaderCase>& info) { return std::string(info.param.name); });

TEST(IgtlReader, SkipsABigBodyWithoutKeepingIt) {
  TIgtlReader r;
  const std::string h = Header(1, "IMAGE", "Scan", 64ull << 20);
  ASSERT_TRUE(r.Feed(reinterpret_cast<const uint8_t*>(h.data()), h.size()));
  EXPECT_EQ(r.LastHeader().type, "IMAGE");
  EXPECT_EQ(r.LastHeader().deviceName, "Scan");
  const std::string mb(1 << 20, '\x55');
  for (int i = 0; i < 63; ++i) ASSERT_TRUE(r.Feed(reinterpret_cast<const uint8_t*>(mb.data()), mb.size()));
  EXPECT_EQ(r.Messages(), 0u);
  EXPECT_EQ(r.BodyLeft(), uint64_t{1} << 20);
  // The last megabyte of the body and the next header in one chunk.
  const std::string tail = mb + Message(1, "STATUS", "Next", StatusBody(1, "ok"));
  ASSERT_TRUE(r.Feed(reinterpret_cast<const uint8_t*>(tail.data()), tail.size()));
  EXPECT_EQ(r.Messages(), 2u);
  EXPECT_EQ(r.LastHeader().deviceName, "Next");
  EXPECT_TRUE(r.AtBoundary());
  EXPECT_LE(sizeof(TIgtlReader), 512u);
}

TEST(IgtlReader, GreetingHeaderFields) {
  TIgtlReader r;
  const std::string g = SlicerGreeting();
  ASSERT_TRUE(r.Feed(reinterpret_cast<const uint8_t*>(g.data()), g.size()));
  EXPECT_EQ(r.LastHeader().version, 2);
  EXPECT_EQ(r.LastHeader().type, "STATUS");
  EXPECT_EQ(r.LastHeader().bodySize, g.size() - 58);
}

}  // namespace
