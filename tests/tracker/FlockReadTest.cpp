// Flock of Birds / miniBIRD records: decoding and the read of every polling tick.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "TrackerFakes.h"
#include "tracker/FlockRecord.h"
#include "tracker/TrackerLink.h"

using namespace trackertest;

namespace {

std::string Bytes(std::initializer_list<uint8_t> b) { return std::string(b.begin(), b.end()); }

void ExpectReading(const TTrackerReading& r, int32_t x, int32_t y, int32_t z) {
  EXPECT_EQ(r.FOBx, x);
  EXPECT_EQ(r.FOBy, y);
  EXPECT_EQ(r.FOBz, z);
}

TEST(FlockRecordTest, DecodesTheDocumentedExampleRecords) {
  {
    const uint8_t rec[6] = {
        0x81,  // X low: phasing bit, bits 8-2 of X = 0000001
        0x40,  // X high: bits 15-9 = 1000000  -> X word 0x8004
        0x02,  // Y low: 0000010
        0x00,  // Y high                       -> Y word 0x0008
        0x7F,  // Z low: 1111111
        0x7F,  // Z high: 1111111              -> Z word 0xFFFC
    };
    ExpectReading(DecodeFlockRecord(rec), -32764, 8, -4);
  }
  {
    const uint8_t rec[6] = {
        0xFF,  // X low: phasing bit, 1111111
        0x3F,  // X high: 0111111              -> X word 0x7FFC
        0x01,  // Y low: 0000001
        0x40,  // Y high: 1000000              -> Y word 0x8004
        0x00,  // Z low
        0x01,  // Z high: bit 9                -> Z word 0x0200
    };
    ExpectReading(DecodeFlockRecord(rec), 32764, -32764, 512);
  }
  {
    const uint8_t rec[6] = {0x80, 0, 0, 0, 0, 0};  // phasing bit only
    ExpectReading(DecodeFlockRecord(rec), 0, 0, 0);
  }
}

TEST(FlockRecordTest, EveryWordValueDecodesFromTheTableLayout) {
  // Build each record byte by byte from the layout table (bits 8-2 in the low
  // byte, bits 15-9 in the high byte) and compare with the signed word.
  for (int32_t w = -32768; w <= 32764; w += 4) {
    const uint16_t u = static_cast<uint16_t>(w);
    const uint8_t lo = static_cast<uint8_t>((u >> 2) & 0x7F), hi = static_cast<uint8_t>(u >> 9);
    const uint8_t rec[6] = {static_cast<uint8_t>(0x80 | lo), hi, lo, hi, lo, hi};
    const TTrackerReading r = DecodeFlockRecord(rec);
    ASSERT_EQ(r.FOBx, w);
    ASSERT_EQ(r.FOBy, w);
    ASSERT_EQ(r.FOBz, w);
    const TFlockRecord enc = EncodeFlockRecord(w, w, w);
    ASSERT_EQ(std::string(enc.begin(), enc.end()), std::string(rec, rec + 6));
  }
}

TEST(FlockRecordTest, YAndZUseTheWholeLowByte) {
  // Bit 7 of a Y or Z low byte is not a phasing bit to strip: it adds 0x200.
  const uint8_t rec[6] = {0x80, 0x00, 0x80, 0x00, 0x81, 0x00};
  ExpectReading(DecodeFlockRecord(rec), 0, 512, 516);
}

TEST(FlockRecordTest, EncodingDropsTheTwoLowestBits) {
  const TFlockRecord r = EncodeFlockRecord(7, -5, 65536 + 12);
  ExpectReading(DecodeFlockRecord(r.data()), 4, -8, 12);
}

class FlockReadTest : public ::testing::Test {
 protected:
  FlockReadTest() : link(state, reading, clock, messages, host) {
    state.PortName = "COM1";
    state.IsStreaming = true;
    state.TrackerReady = true;
    port.open = true;
    link.SetPort(&port);
  }
  TTrackerState state;
  TTrackerReading reading;
  TFakeClock clock;
  TFakeMessages messages;
  TFakeHost host;
  TFakePort port;
  TTrackerLink link;
};

TEST_F(FlockReadTest, NothingHappensBeforeTheTrackerIsReady) {
  state.TrackerReady = false;
  port.Feed(FlockBytes(4, 8, 12));
  EXPECT_FALSE(link.ReadFOB());
  EXPECT_EQ(port.reads, 0u);
  EXPECT_EQ(port.waitingQueries, 0u);
  EXPECT_EQ(port.written, "");
  state.IsStreaming = false;
  EXPECT_FALSE(link.ReadFOB());
  EXPECT_EQ(port.written, "");
}

TEST_F(FlockReadTest, NoPortObjectReadsNothing) {
  link.SetPort(nullptr);
  EXPECT_FALSE(link.ReadFOB());
}

TEST_F(FlockReadTest, FiveWaitingBytesAreLeftAlone) {
  reading = {11, 22, 33};
  port.Feed(FlockBytes(4, 8, 12).substr(0, 5));
  EXPECT_FALSE(link.ReadFOB());
  EXPECT_EQ(port.reads, 0u);
  EXPECT_EQ(port.input.size(), 5u);
  ExpectReading(reading, 11, 22, 33);
}

TEST_F(FlockReadTest, OneRecordIsDecoded) {
  port.Feed(FlockBytes(-400, 1236, 32764));
  EXPECT_TRUE(link.ReadFOB());
  ExpectReading(reading, -400, 1236, 32764);
  EXPECT_TRUE(port.input.empty());
  EXPECT_EQ(port.written, "");  // stream mode requests nothing
}

TEST_F(FlockReadTest, ElevenBytesAreNotTrimmed) {
  // A whole record, then 5 bytes of the next: dropping even one old byte would
  // lose the whole record.
  port.Feed(FlockBytes(100, 200, 300) + FlockBytes(4, 4, 4).substr(0, 5));
  EXPECT_TRUE(link.ReadFOB());
  ExpectReading(reading, 100, 200, 300);
  EXPECT_EQ(port.input.size(), 5u);
}

TEST_F(FlockReadTest, TwelveBytesLoseTheTwoOldest) {
  // Two records: the newest 10 bytes hold the second one only.
  port.Feed(FlockBytes(100, 200, 300) + FlockBytes(-100, -200, -300));
  EXPECT_TRUE(link.ReadFOB());
  ExpectReading(reading, -100, -200, -300);
  EXPECT_EQ(port.reads, 12u);  // 2 dropped, 4 searched past, 6 of the record
  EXPECT_TRUE(port.input.empty());
}

TEST_F(FlockReadTest, TwentyBytesYieldTheNewestWholeRecord) {
  const std::string r0 = FlockBytes(1, 1, 1), r1 = FlockBytes(1000, 2000, 3000),
                    r2 = FlockBytes(-1000, -2000, -3000), r3 = FlockBytes(8, 8, 8);
  // Last 5 bytes of one record, two whole records, the first 3 of a fourth.
  port.Feed(r0.substr(1) + r1 + r2 + r3.substr(0, 3));
  ASSERT_EQ(port.input.size(), 20u);
  EXPECT_TRUE(link.ReadFOB());
  ExpectReading(reading, -1000, -2000, -3000);
  EXPECT_EQ(port.input.size(), 3u);
}

TEST_F(FlockReadTest, TwentyBytesEndingInFiveOfARecordWaitForTheSixth) {
  const std::string r0 = FlockBytes(1, 1, 1), r1 = FlockBytes(1000, 2000, 3000),
                    r2 = FlockBytes(-1000, -2000, -3000), r3 = FlockBytes(400, 500, 600);
  reading = {7, 7, 7};
  port.Feed(r0.substr(3) + r1 + r2 + r3.substr(0, 5));
  ASSERT_EQ(port.input.size(), 20u);
  EXPECT_FALSE(link.ReadFOB());
  ExpectReading(reading, 7, 7, 7);
  ASSERT_EQ(port.input.size(), 5u);
  EXPECT_EQ(std::string(port.input.begin(), port.input.end()), r3.substr(0, 5))
      << testsupport::HexDump(std::string(port.input.begin(), port.input.end()));
  // The sixth byte arrives: the next read completes the record.
  port.Feed(r3.substr(5));
  EXPECT_TRUE(link.ReadFOB());
  ExpectReading(reading, 400, 500, 600);
}

TEST_F(FlockReadTest, BytesWithoutPhasingBitAreConsumedDownToFive) {
  reading = {7, 7, 7};
  port.Feed(Bytes({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}));
  EXPECT_FALSE(link.ReadFOB());
  EXPECT_EQ(port.input.size(), 5u);
  EXPECT_EQ(port.reads, 3u);
  ExpectReading(reading, 7, 7, 7);
  // Then a record follows the noise.
  port.Feed(FlockBytes(40, 80, 120));
  EXPECT_TRUE(link.ReadFOB());  // 11 waiting: the 5 noise bytes are searched past
  ExpectReading(reading, 40, 80, 120);
}

TEST_F(FlockReadTest, PointModeRequestsBeforeLookingAtTheQueue) {
  state.IsStreaming = false;
  std::vector<size_t> queriesAtRequest;
  port.onWrite = [&](uint8_t b) {
    EXPECT_EQ(b, kFlockPoint);
    queriesAtRequest.push_back(port.waitingQueries);
  };
  EXPECT_FALSE(link.ReadFOB());  // nothing waiting yet: still one request
  port.Feed(FlockBytes(12, 16, 20));
  EXPECT_TRUE(link.ReadFOB());
  ExpectReading(reading, 12, 16, 20);
  port.Feed(FlockBytes(12, 16, 20).substr(0, 5));
  EXPECT_FALSE(link.ReadFOB());
  EXPECT_EQ(port.written, "BBB");
  // Each request went out before that read's first look at the queue.
  ASSERT_EQ(queriesAtRequest.size(), 3u);
  EXPECT_EQ(queriesAtRequest[0], 0u);
  EXPECT_EQ(queriesAtRequest[1], 1u);
  EXPECT_EQ(queriesAtRequest[2], 2u);
}

TEST_F(FlockReadTest, ARecordThatBrokeOffIsNotMixedWithTheNext) {
  // Three bytes of a record, then a whole one: reading six bytes from the first
  // phasing byte would mix the two positions.
  port.Feed(FlockBytes(1000, 2000, 3000).substr(0, 3) + FlockBytes(-4, -8, -12));
  EXPECT_TRUE(link.ReadFOB());
  ExpectReading(reading, -4, -8, -12);
  EXPECT_TRUE(port.input.empty());
}

TEST_F(FlockReadTest, ABrokenRecordFollowedByAnIncompleteOneGivesNothing) {
  reading = {7, 7, 7};
  port.Feed(FlockBytes(1000, 2000, 3000).substr(0, 4) + FlockBytes(-4, -8, -12).substr(0, 4));
  EXPECT_FALSE(link.ReadFOB());
  ExpectReading(reading, 7, 7, 7);
}

// A port that claims bytes forever but returns nothing new must not hold the tick.
class TLyingPort : public TFakePort {
 public:
  uint32_t BytesWaiting() override { return 8; }
  uint8_t ReadByte() override {
    ++reads;
    return 0x11;
  }
};

TEST_F(FlockReadTest, APortThatNeverEmptiesCannotHoldTheTick) {
  TLyingPort liar;
  liar.open = true;
  link.SetPort(&liar);
  EXPECT_FALSE(link.ReadFOB());
  EXPECT_LE(liar.reads, kFlockMaxScan);
}

}  // namespace
