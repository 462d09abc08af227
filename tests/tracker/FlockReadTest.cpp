// Flock of Birds / miniBIRD records: decoding and the read of every polling tick.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

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

// A connected link over a fake port, for tests that need one per case.
struct TFlockLink {
  explicit TFlockLink(bool streaming = true) {
    state.PortName = "COM1";
    state.IsStreaming = streaming;
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
  TTrackerLink link{state, reading, clock, messages, host};
};

// The streaming link of most tests.
class FlockReadTest : public ::testing::Test, protected TFlockLink {};

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
  // The newest whole record is the position, although its first byte is among
  // the oldest ten.
  EXPECT_TRUE(link.ReadFOB());
  ExpectReading(reading, -1000, -2000, -3000);
  EXPECT_FALSE(link.Noisy());
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
  // Up to five such bytes may be the end of a record the stream was joined in.
  EXPECT_FALSE(link.Noisy());
  // A record follows: eight bytes without a record are more than that. The read
  // that discarded them gives no position; once enough whole records in a row
  // have followed, the newest is the position.
  port.Feed(FlockBytes(40, 80, 120));
  EXPECT_FALSE(link.ReadFOB());
  EXPECT_TRUE(link.Noisy());
  EXPECT_EQ(link.DiscardedBytes(), 8u);
  ExpectReading(reading, 7, 7, 7);
  for (uint32_t n = 2; n <= kFlockRecordsAfterNoise; ++n) {
    port.Feed(FlockBytes(44, 88, static_cast<int32_t>(4 * n)));
    EXPECT_EQ(link.ReadFOB(), n == kFlockRecordsAfterNoise) << n;
  }
  EXPECT_FALSE(link.Noisy());
  ExpectReading(reading, 44, 88, static_cast<int32_t>(4 * kFlockRecordsAfterNoise));
  EXPECT_EQ(link.ReadingsCount(), 1u);
  EXPECT_EQ(link.DiscardedBytes(), 8u);
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
  // phasing byte would mix the two positions. The three are discarded, and the
  // read that discarded them publishes nothing; the next record is the position.
  reading = {7, 7, 7};
  port.Feed(FlockBytes(1000, 2000, 3000).substr(0, 3) + FlockBytes(-4, -8, -12));
  EXPECT_FALSE(link.ReadFOB());
  ExpectReading(reading, 7, 7, 7);
  EXPECT_TRUE(port.input.empty());
  EXPECT_EQ(link.DiscardedBytes(), 3u);
  EXPECT_TRUE(link.Noisy());
  // Two more whole records in one read: three in a row end the noise.
  port.Feed(FlockBytes(-8, -16, -24) + FlockBytes(-12, -16, -24));
  EXPECT_TRUE(link.ReadFOB());
  ExpectReading(reading, -12, -16, -24);
  EXPECT_FALSE(link.Noisy());
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


TEST(FlockFramingTest, APhasingByteInsideARecordBeginsTheNextOneAcrossReads) {
  // `broken` bytes of a record that broke off, then the first `arrived` bytes of the
  // next one (its phasing byte first): the read discards the broken bytes and keeps
  // the phasing byte, so that the rest, arriving later, completes that record.
  for (int broken = 1; broken <= 5; ++broken) {
    for (int arrived = 6 - broken; arrived <= 5; ++arrived) {
      SCOPED_TRACE("broken " + std::to_string(broken) + ", arrived " + std::to_string(arrived));
      TFlockLink f;
      f.port.Feed(FlockBytes(4, 8, 12));
      ASSERT_TRUE(f.link.ReadFOB());
      const std::string next = FlockBytes(-400, 800, -1200);
      f.port.Feed(FlockBytes(1000, 2000, 3000).substr(0, static_cast<size_t>(broken)) +
                  next.substr(0, static_cast<size_t>(arrived)));
      EXPECT_FALSE(f.link.ReadFOB());
      EXPECT_TRUE(f.link.Noisy());
      EXPECT_EQ(f.link.DiscardedBytes(), static_cast<uint64_t>(broken));
      EXPECT_EQ(f.port.input.size(), static_cast<size_t>(arrived - 1));
      // The rest of that record and the next one: whole records in a row, the
      // first of them that record (none of its bytes is discarded), so that they
      // end the noise.
      f.port.Feed(next.substr(static_cast<size_t>(arrived)) + FlockBytes(12, 16, 20) +
                  FlockBytes(-400, 800, -1200));
      EXPECT_TRUE(f.link.ReadFOB());
      ExpectReading(f.reading, -400, 800, -1200);
      EXPECT_FALSE(f.link.Noisy());
      EXPECT_TRUE(f.port.input.empty());
      EXPECT_EQ(f.link.DiscardedBytes(), static_cast<uint64_t>(broken));
      EXPECT_EQ(f.link.ReadingsCount(), 2u);
    }
  }
}

TEST(FlockFramingTest, ABurstOfNoiseEndsWithThreeWholeRecordsInARow) {
  std::string stray = FlockBytes(100, 200, 300);
  stray[2] = static_cast<char>(stray[2] | 0x80);  // a phasing bit inside a record
  struct TCase {
    const char* what;
    std::string noise;
    uint64_t discarded;
  };
  const TCase cases[] = {
      {"a record cut short", FlockBytes(1, 2, 3).substr(0, 3), 3},
      {"bytes without phasing bit", "\x11\x22\x33\x44\x55\x66\x77", 7},
      {"a lone phasing byte", "\x85", 1},
      {"a phasing bit inside a record", stray, 6},
      {"two records cut short", FlockBytes(8, 8, 8).substr(0, 5) + FlockBytes(9, 9, 9).substr(0, 4), 9},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TFlockLink f;
    f.port.Feed(FlockBytes(40, 80, 120));
    ASSERT_TRUE(f.link.ReadFOB());
    // The noise and a whole record after it arrive before one read: a record
    // next to noise is no position yet.
    f.port.Feed(c.noise + FlockBytes(-4, -8, -12));
    EXPECT_FALSE(f.link.ReadFOB());
    EXPECT_TRUE(f.link.Noisy());
    EXPECT_EQ(f.link.DiscardedBytes(), c.discarded);
    ExpectReading(f.reading, 40, 80, 120);
    // A read that brings two more (a stream's tick) is back to normal.
    f.port.Feed(FlockBytes(-20, -40, -60) + FlockBytes(-40, -80, -120));
    EXPECT_TRUE(f.link.ReadFOB());
    EXPECT_FALSE(f.link.Noisy());
    ExpectReading(f.reading, -40, -80, -120);
    EXPECT_EQ(f.link.ReadingsCount(), 2u);
    // Noise and three whole records after it in one read: the third is the position
    // at once.
    f.port.Feed(c.noise + FlockBytes(4, 4, 4) + FlockBytes(8, 8, 8) + FlockBytes(12, 12, 12));
    EXPECT_TRUE(f.link.ReadFOB());
    EXPECT_FALSE(f.link.Noisy());
    ExpectReading(f.reading, 12, 12, 12);
    EXPECT_EQ(f.link.DiscardedBytes(), 2 * c.discarded);
  }
}

TEST(FlockFramingTest, RandomBytesAtTheRatesOfAWrongSpeedGiveNoPosition) {
  // A device at another speed than the line's delivers random bytes; a tick of
  // 25 ms brings about a tenth of its speed in bytes per second / 40.
  struct TCase {
    const char* what;
    int bytesPerTick;
    bool streaming;
  };
  const TCase cases[] = {
      {"9600 bps, stream mode", 24, true},
      {"9600 bps, point mode", 24, false},
      {"19200 bps", 48, true},
      {"57600 bps", 144, true},
      {"115200 bps", 288, true},
  };
  std::mt19937 random(20240611);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TFlockLink f(c.streaming);
    f.reading = {7, 7, 7};
    uint64_t fed = 0;
    int published = 0;
    for (int tick = 0; tick < 2000; ++tick) {
      const int n = c.bytesPerTick - 4 + static_cast<int>(random() % 9);
      for (int i = 0; i < n; ++i) f.port.Feed({static_cast<uint8_t>(random())});
      fed += static_cast<uint64_t>(n);
      if (f.link.ReadFOB()) ++published;
    }
    EXPECT_EQ(published, 0);
    ExpectReading(f.reading, 7, 7, 7);
    EXPECT_TRUE(f.link.Noisy());
    EXPECT_EQ(f.link.ReadingsCount(), 0u);
    // Most of them form no record (a phasing byte and five without the bit now and
    // then do, by chance).
    EXPECT_GT(f.link.DiscardedBytes(), fed / 2);
    EXPECT_LE(f.link.DiscardedBytes(), fed);
  }
}

TEST(FlockFramingTest, ACleanStreamIsNeverNoisyHoweverItIsChunked) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 400; ++trial) {
    TFlockLink f(trial % 2 == 0);
    // Joined in the middle of a record: up to five bytes of its end come first.
    const size_t tail = static_cast<size_t>(trial % 6);
    std::string stream = FlockBytes(1, 2, 3).substr(kFlockRecordSize - tail);
    std::vector<TTrackerReading> records;
    for (int i = 0; i < 40; ++i) {
      auto word = [&] { return (static_cast<int32_t>(random() % 16384) - 8192) * 4; };
      const TTrackerReading r{word(), word(), word()};
      records.push_back(r);
      stream += FlockBytes(r.FOBx, r.FOBy, r.FOBz);
    }
    size_t fed = 0, known = 0;
    uint64_t truths = 0;
    while (fed < stream.size()) {
      // Chunks of 0 to 19 bytes, whatever their place in the records.
      const size_t n = std::min<size_t>(random() % 20, stream.size() - fed);
      f.port.Feed(stream.substr(fed, n));
      fed += n;
      const size_t complete = fed >= tail ? (fed - tail) / kFlockRecordSize : 0;
      const bool got = f.link.ReadFOB();
      ASSERT_FALSE(f.link.Noisy()) << "trial " << trial << " at byte " << fed;
      // Each read that has a new whole record gives the newest one.
      ASSERT_EQ(got, complete > known) << "trial " << trial << " at byte " << fed;
      if (got) {
        ++truths;
        const TTrackerReading& want = records[complete - 1];
        ASSERT_EQ(f.reading.FOBx, want.FOBx);
        ASSERT_EQ(f.reading.FOBy, want.FOBy);
        ASSERT_EQ(f.reading.FOBz, want.FOBz);
      }
      known = complete;
    }
    EXPECT_EQ(f.link.DiscardedBytes(), tail);
    EXPECT_EQ(f.link.ReadingsCount(), truths);
  }
}

}  // namespace
