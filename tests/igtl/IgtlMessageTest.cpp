// The encoder against hand-made bytes and the published CRC-64 check value.
#include <gtest/gtest.h>

#include <random>

#include "IgtlCraft.h"
#include "LoopbackClient.h"
#include "TestSupport.h"
#include "igtl/IgtlMessage.h"

using namespace igtltest;

namespace {

uint64_t Crc(const std::string& s) { return IgtlCrc64(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }

TEST(IgtlCrc64, CheckValueOfTheEcma182Catalogue) {
  EXPECT_EQ(Crc("123456789"), 0x6C40DF5F0B497347ull);
  EXPECT_EQ(Crc(""), 0u);
}

TEST(IgtlCrc64, EqualsPolynomialDivisionAndContinues) {
  std::mt19937 rng(7);
  for (size_t len : {1u, 2u, 7u, 8u, 9u, 48u, 63u, 200u, 4097u}) {
    std::string s(len, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    EXPECT_EQ(Crc(s), SlowCrc64(s)) << len;
    const size_t cut = len / 3;
    const uint64_t head = IgtlCrc64(reinterpret_cast<const uint8_t*>(s.data()), cut);
    EXPECT_EQ(IgtlCrc64(reinterpret_cast<const uint8_t*>(s.data()) + cut, len - cut, head), Crc(s)) << len;
  }
}

struct TimestampCase {
  int64_t epochMs;
  uint32_t seconds;
  uint32_t fraction;
};

class IgtlTimestampTest : public ::testing::TestWithParam<TimestampCase> {};

TEST_P(IgtlTimestampTest, SecondsAndFraction) {
  const TimestampCase& c = GetParam();
  const uint64_t t = IgtlTimestamp(c.epochMs);
  EXPECT_EQ(t >> 32, c.seconds);
  EXPECT_EQ(t & 0xFFFFFFFFu, c.fraction);
}

// Fractions: milliseconds * 2^32 / 1000, rounded.
INSTANTIATE_TEST_SUITE_P(Times, IgtlTimestampTest,
                         ::testing::Values(TimestampCase{0, 0, 0}, TimestampCase{-1500, 0, 0},
                                           TimestampCase{1, 0, 4294967u},
                                           TimestampCase{1000, 1, 0},
                                           TimestampCase{1500, 1, 0x80000000u},
                                           TimestampCase{1999, 1, 4290672329u},
                                           TimestampCase{1700000000123, 1700000000u, 528280977u},
                                           TimestampCase{4294967295999, 4294967295u, 4290672329u}));

TEST(IgtlEncode, TransformBytesFieldByField) {
  const double t[3] = {12.5, -7.25, 100};
  const std::string got = EncodeIgtlTransform("StylusToTracker", IgtlTranslation(t), 1500);
  std::string body;
  for (uint32_t f : {0x3F800000u, 0u, 0u, 0u, 0x3F800000u, 0u, 0u, 0u, 0x3F800000u,  // columns
                     0x41480000u, 0xC0E80000u, 0x42C80000u})                         // 12.5 -7.25 100
    Put(body, f, 4);
  const std::string want =
      Header(1, "TRANSFORM", "StylusToTracker", 48, SlowCrc64(body), (uint64_t{1} << 32) | 0x80000000u) + body;
  EXPECT_EQ(got, want) << testsupport::HexDump(got) << "\nwanted\n" << testsupport::HexDump(want);
  ASSERT_EQ(got.size(), kIgtlHeaderSize + kIgtlTransformBodySize);
  EXPECT_FLOAT_EQ(BodyFloat(got.substr(58), 10), -7.25f);
}

struct NameCase {
  std::string given;
  std::string field;  // the 20 bytes on the wire
};

class IgtlDeviceNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(IgtlDeviceNameTest, CutAndPadded) {
  const double t[3] = {0, 0, 0};
  const std::string m = EncodeIgtlTransform(GetParam().given, IgtlTranslation(t), 0);
  EXPECT_EQ(m.substr(14, 20), GetParam().field);
  EXPECT_EQ(m.substr(2, 12), std::string("TRANSFORM\0\0\0", 12));
}

INSTANTIATE_TEST_SUITE_P(Names, IgtlDeviceNameTest,
                         ::testing::Values(NameCase{"", std::string(20, '\0')},
                                           NameCase{"Stylus", "Stylus" + std::string(14, '\0')},
                                           NameCase{"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOPQRST"},
                                           NameCase{"ABCDEFGHIJKLMNOPQRSTUVWXY", "ABCDEFGHIJKLMNOPQRST"}));

struct StatusCase {
  uint16_t code;
  int64_t subcode;
  std::string errorName;
  std::string text;
  std::string body;  // expected body
};

class IgtlStatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(IgtlStatusTest, Body) {
  const StatusCase& c = GetParam();
  const std::string m = EncodeIgtlStatus("Dev", c.code, c.subcode, c.errorName, c.text, 1000);
  EXPECT_EQ(m.substr(0, 58), Header(1, "STATUS", "Dev", c.body.size(), SlowCrc64(c.body), uint64_t{1} << 32));
  EXPECT_EQ(m.substr(58), c.body) << testsupport::HexDump(m.substr(58));
}

std::string StatusBytes(uint16_t code, uint64_t subcode, const std::string& name, const std::string& text) {
  std::string b;
  Put(b, code, 2);
  Put(b, subcode, 8);
  b += Padded(name, 20) + text;
  b.push_back('\0');
  return b;
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, IgtlStatusTest,
    ::testing::Values(StatusCase{1, 0, "", "", StatusBytes(1, 0, "", "")},
                      StatusCase{6, 0, "Busy", "too many", StatusBytes(6, 0, "Busy", "too many")},
                      StatusCase{2, -1, "", "x", StatusBytes(2, 0xFFFFFFFFFFFFFFFFull, "", "x")},
                      StatusCase{1, 0, "A name longer than twenty bytes", "",
                                 StatusBytes(1, 0, "A name longer than ", "")},
                      StatusCase{1, 0, "12345678901234567890", "", StatusBytes(1, 0, "1234567890123456789", "")},
                      StatusCase{1, 0, "", std::string("cut\0here", 8), StatusBytes(1, 0, "", "cut")}));

TEST(IgtlDecode, HeaderFieldsBack) {
  const std::string h = Header(3, "POINT", std::string("ABCDEFGHIJKLMNOPQRST"), 0x0102030405060708ull,
                               0xA1A2A3A4A5A6A7A8ull, 0x1112131415161718ull);
  const TIgtlHeader d = DecodeIgtlHeader(reinterpret_cast<const uint8_t*>(h.data()));
  EXPECT_EQ(d.version, 3);
  EXPECT_EQ(d.type, "POINT");
  EXPECT_EQ(d.deviceName, "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(d.timestamp, 0x1112131415161718ull);
  EXPECT_EQ(d.bodySize, 0x0102030405060708ull);
  EXPECT_EQ(d.crc, 0xA1A2A3A4A5A6A7A8ull);
}

}  // namespace
