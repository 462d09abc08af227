// Fastrak record lines: number conversion, line parsing and the read of every tick.
#include <gtest/gtest.h>

#include <cmath>

#include "TestSupport.h"
#include "TrackerFakes.h"
#include "tracker/FastrakLine.h"
#include "tracker/TrackerLink.h"

using namespace trackertest;

namespace {

void ExpectReading(const TTrackerReading& r, int32_t x, int32_t y, int32_t z) {
  EXPECT_EQ(r.FOBx, x);
  EXPECT_EQ(r.FOBy, y);
  EXPECT_EQ(r.FOBz, z);
}

int32_t Hundredths(const std::string& text) {
  int32_t v = 0x5A5A5A5A;
  EXPECT_EQ(ConvertHundredths(text, v), TNumberResult::Ok) << text;
  return v;
}

TEST(FastrakNumberTest, AcceptsDecimalNumbers) {
  EXPECT_EQ(Hundredths("12.34"), 1234);
  EXPECT_EQ(Hundredths("-5.60"), -560);
  EXPECT_EQ(Hundredths("100.00"), 10000);
  EXPECT_EQ(Hundredths("+1.5"), 150);
  EXPECT_EQ(Hundredths("2"), 200);
  EXPECT_EQ(Hundredths("12."), 1200);
  EXPECT_EQ(Hundredths(".5"), 50);
  EXPECT_EQ(Hundredths("-.5"), -50);
  EXPECT_EQ(Hundredths("+.25"), 25);
  EXPECT_EQ(Hundredths("007.250"), 725);
  EXPECT_EQ(Hundredths("-0"), 0);
  EXPECT_EQ(Hundredths(std::string(200, '0') + "1.5" + std::string(200, '0')), 150);
}

TEST(FastrakNumberTest, RoundsHalvesToEven) {
  EXPECT_EQ(Hundredths("0.005"), 0);
  EXPECT_EQ(Hundredths("0.015"), 2);
  EXPECT_EQ(Hundredths("0.025"), 2);
  EXPECT_EQ(Hundredths("0.0251"), 3);
  EXPECT_EQ(Hundredths("0.02500000000000000000001"), 3);
  EXPECT_EQ(Hundredths("-0.015"), -2);
  EXPECT_EQ(Hundredths("-0.025"), -2);
  EXPECT_EQ(Hundredths("1.2349"), 123);
  EXPECT_EQ(Hundredths("1.235"), 124);
  EXPECT_EQ(Hundredths("1.245"), 124);
  EXPECT_EQ(Hundredths("-1.245"), -124);
  // 12.345 is not representable in binary: converting through a double gives
  // 1234.4999... or 1234.5 depending on the path; the decimal value is a tie.
  EXPECT_EQ(Hundredths("12.345"), 1234);
  EXPECT_EQ(Hundredths("12.355"), 1236);
}

TEST(FastrakNumberTest, RoundingAgreesWithTheFloatingPointUnit) {
  // Independent reference: k/1000 written with three decimals times 100 is k/10,
  // which binary floating point holds exactly when it is a tie (n.5), and the
  // default rounding mode rounds ties to even (IEEE 754 roundTiesToEven).
  for (int k = -200000; k <= 200000; k += 7) {
    const int a = k < 0 ? -k : k;
    char text[32];
    std::snprintf(text, sizeof text, "%s%d.%03d", k < 0 ? "-" : "", a / 1000, a % 1000);
    const double expected = std::nearbyint(static_cast<double>(k) / 10.0);
    ASSERT_EQ(Hundredths(text), static_cast<int32_t>(expected)) << text;
  }
}

TEST(FastrakNumberTest, TheThirtyTwoBitLimits) {
  EXPECT_EQ(Hundredths("21474836.47"), 2147483647);
  EXPECT_EQ(Hundredths("-21474836.48"), -2147483647 - 1);
  // -2147483648.5 rounds to the even -2147483648, which fits.
  EXPECT_EQ(Hundredths("-21474836.485"), -2147483647 - 1);
  int32_t v = 99;
  EXPECT_EQ(ConvertHundredths("21474836.48", v), TNumberResult::OutOfRange);
  EXPECT_EQ(ConvertHundredths("21474836.475", v), TNumberResult::OutOfRange);  // to 2147483648
  EXPECT_EQ(ConvertHundredths("-21474836.49", v), TNumberResult::OutOfRange);
  EXPECT_EQ(ConvertHundredths(std::string(60, '9'), v), TNumberResult::OutOfRange);
  EXPECT_EQ(v, 99);
}

TEST(FastrakNumberTest, RejectsWhatIsNoDecimalNumber) {
  for (const char* text : {"", "+", "-", ".", "+.", "-.", "+-1", "-+1", "--1", "++1", "1.2.3", "1..2",
                           "1-2", "1+", "1e5", "1E5", " 1", "1 ", "0x10", "inf", "nan", "1,5"}) {
    int32_t v = 99;
    EXPECT_EQ(ConvertHundredths(text, v), TNumberResult::Invalid) << "'" << text << "'";
    EXPECT_EQ(v, 99);
  }
}

TEST(FastrakLineTest, TheDocumentedLines) {
  TTrackerReading r;
  EXPECT_TRUE(ParseFastrakLine("01   12.34   -5.60  100.00   1.00   2.00   3.00", r));
  ExpectReading(r, 1234, -560, 10000);
  EXPECT_TRUE(ParseFastrakLine("01 12.34-56.78-90.12", r));
  ExpectReading(r, 1234, -5678, -9012);
  EXPECT_TRUE(ParseFastrakLine("01 +1.5 2 7", r));
  ExpectReading(r, 150, 200, 700);
}

TEST(FastrakLineTest, ShortLinesAreNotParsed) {
  TTrackerReading r{5, 6, 7};
  EXPECT_FALSE(ParseFastrakLine("01 1 2 3", r));  // 8 characters
  ExpectReading(r, 5, 6, 7);
  EXPECT_TRUE(ParseFastrakLine("01 1 2 34", r));  // 9
  ExpectReading(r, 100, 200, 3400);
}

TEST(FastrakLineTest, TheHeaderIsNotRead) {
  TTrackerReading r;
  EXPECT_TRUE(ParseFastrakLine("9.9 1 2 3 4", r));
  ExpectReading(r, 100, 200, 300);
  EXPECT_TRUE(ParseFastrakLine("01-1.0 2.0 3.0", r));  // the '-' is header
  ExpectReading(r, 100, 200, 300);
}

TEST(FastrakLineTest, AnySeparatorAndSignsAfterDigits) {
  TTrackerReading r;
  EXPECT_TRUE(ParseFastrakLine(std::string("01 \x00 1\xff" "2\x80" "3 4", 12), r));
  ExpectReading(r, 100, 200, 300);
  EXPECT_TRUE(ParseFastrakLine("01 x1.5y-2.5z+3.5w", r));
  ExpectReading(r, 150, -250, 350);
  EXPECT_TRUE(ParseFastrakLine("01 1+2-3 ", r));
  ExpectReading(r, 100, 200, -300);
}

TEST(FastrakLineTest, FewerThanThreeNumbersKeepWhatWasStored) {
  TTrackerReading r{5, 6, 7};
  EXPECT_FALSE(ParseFastrakLine("01 1.00 2.00", r));
  ExpectReading(r, 100, 200, 7);
  r = {5, 6, 7};
  EXPECT_FALSE(ParseFastrakLine("01 1.00 2.00 ", r));  // one separator: the line has ended
  ExpectReading(r, 100, 200, 7);
  r = {5, 6, 7};
  EXPECT_FALSE(ParseFastrakLine("01 1.00 2.00-", r));  // a carried sign at the end
  ExpectReading(r, 100, 200, 7);
}

void ExpectConvertError(const std::string& line, const std::string& message, TTrackerReading& r) {
  try {
    ParseFastrakLine(line, r);
    ADD_FAILURE() << "no error for " << line;
  } catch (const EConvertError& e) {
    EXPECT_EQ(std::string(e.what()), message);
  }
}

TEST(FastrakLineTest, ConversionErrorsNameTheText) {
  TTrackerReading r{5, 6, 7};
  ExpectConvertError("01 1.00 2.00 +-3.00", "'+-3.00' is not a valid floating point value", r);
  ExpectReading(r, 100, 200, 7);  // stored before the failing number
  r = {5, 6, 7};
  ExpectConvertError("01 1.2.3 4 5", "'1.2.3' is not a valid floating point value", r);
  ExpectReading(r, 5, 6, 7);
  r = {5, 6, 7};
  ExpectConvertError("01 1.00 2.00  ", "'' is not a valid floating point value", r);
  ExpectReading(r, 100, 200, 7);
  ExpectConvertError("01 1.00 2.00 .", "'.' is not a valid floating point value", r);
  ExpectConvertError("01 1.00 2.00 -", "'-' is not a valid floating point value", r);
  ExpectConvertError("01 1.00 --2.00 3", "'--2.00' is not a valid floating point value", r);
  // A sign carried over joins a sign of the next number's own.
  ExpectConvertError("01 1.00-+2.00 3", "'-+2.00' is not a valid floating point value", r);
}

TEST(FastrakLineTest, AValueBeyondThirtyTwoBitsStopsTheLine) {
  TTrackerReading r{5, 6, 7};
  EXPECT_FALSE(ParseFastrakLine("01 1.00 99999999.99 3.00", r));
  ExpectReading(r, 100, 6, 7);
}

TEST(FastrakLineTest, APointBeforeTheDigitsBelongsToTheNumber) {
  // '.' sets no digit, so a separator after a lone point is skipped.
  TTrackerReading r;
  EXPECT_TRUE(ParseFastrakLine("01 1.00 . 5 3", r));
  ExpectReading(r, 100, 50, 300);
}

class FastrakReadTest : public ::testing::Test {
 protected:
  FastrakReadTest() : link(state, reading, clock, messages, host) {
    state.PortName = "COM1";
    state.IsFastrak = true;
    state.TrackerReady = true;
    port.open = true;
    link.SetPort(&port);
  }
  // The request goes out after the bytes were read.
  void ExpectOneRequestAfterReading() {
    EXPECT_EQ(port.written, "P");
    EXPECT_TRUE(port.input.empty());
    port.written.clear();
  }
  TTrackerState state;
  TTrackerReading reading;
  TFakeClock clock;
  TFakeMessages messages;
  TFakeHost host;
  TFakePort port;
  TTrackerLink link;
};

TEST_F(FastrakReadTest, FewerThanSixBytesOnlyRequest) {
  port.Feed("01 1\r");
  EXPECT_FALSE(link.ReadFOB());
  EXPECT_EQ(port.written, "P");
  EXPECT_EQ(port.reads, 0u);
  EXPECT_EQ(port.input.size(), 5u);
}

TEST_F(FastrakReadTest, TheFirstRecordOnlyOpensALine) {
  port.Feed("01   1.00   2.00   3.00\r\n");
  EXPECT_FALSE(link.ReadFOB());
  ExpectOneRequestAfterReading();
  EXPECT_TRUE(link.FastrakInLine());
  EXPECT_EQ(link.FastrakPartialLine(), "");
  port.Feed("01   4.00   5.00   6.00\r\n");
  EXPECT_TRUE(link.ReadFOB());
  ExpectOneRequestAfterReading();
  ExpectReading(reading, 400, 500, 600);
}

TEST_F(FastrakReadTest, ALineSplitOverTwoReadsIsParsedOnce) {
  port.Feed("\r\n01  1.0");
  EXPECT_FALSE(link.ReadFOB());
  EXPECT_TRUE(link.FastrakInLine());
  EXPECT_EQ(link.FastrakPartialLine(), "01  1.0");
  port.Feed("0  2.00  3.00\r\n");
  EXPECT_TRUE(link.ReadFOB());
  ExpectReading(reading, 100, 200, 300);
  reading = {};
  port.Feed("01  7.0");  // no carriage return: nothing completed
  EXPECT_FALSE(link.ReadFOB());
  ExpectReading(reading, 0, 0, 0);
}

TEST_F(FastrakReadTest, OfTwoLinesInOneReadOnlyTheSecondCounts) {
  port.Feed("\n01 1 2 3 4\r\n01 5 6 7 8\r\n");
  EXPECT_TRUE(link.ReadFOB());
  ExpectReading(reading, 500, 600, 700);
  ExpectOneRequestAfterReading();
}

TEST_F(FastrakReadTest, AShortLineIsNotParsed) {
  reading = {5, 6, 7};
  port.Feed("\n01 1 2\r\n");
  EXPECT_FALSE(link.ReadFOB());
  ExpectReading(reading, 5, 6, 7);
}

TEST_F(FastrakReadTest, ACarriageReturnOutsideALineCompletesNothing) {
  reading = {5, 6, 7};
  port.Feed("01 1 2 3 4 5\r");
  EXPECT_FALSE(link.ReadFOB());
  ExpectReading(reading, 5, 6, 7);
  EXPECT_FALSE(link.FastrakInLine());
}

// A record whose carriage return was lost is not joined to the next one (which
// would make the next header the first one's Z): it is noise, and the next line
// stands on its own.
TEST_F(FastrakReadTest, ALineFeedInsideALineStartsANewLine) {
  reading = {5, 6, 7};
  port.Feed("\n01 1\n2 3 4\r");
  EXPECT_FALSE(link.ReadFOB());
  EXPECT_TRUE(link.Noisy());
  ExpectReading(reading, 5, 6, 7);
  EXPECT_EQ(link.DiscardedBytes(), 5u + 7u);  // "\n01 1" and "\n2 3 4\r"
  port.Feed("\n01   11.00  2\n01   12.00  22.00  32.00\r\n");
  EXPECT_TRUE(link.ReadFOB());
  ExpectReading(reading, 1200, 2200, 3200);
}

TEST_F(FastrakReadTest, AConversionErrorComesAfterTheRequestAndKeepsTheLineState) {
  reading = {5, 6, 7};
  port.Feed("\n01 1.00 2.00 +-3\r\n01 ");
  try {
    link.ReadFOB();
    FAIL() << "no conversion error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'+-3' is not a valid floating point value");
  }
  // A line that is no position changes none of the coordinates.
  ExpectReading(reading, 5, 6, 7);
  EXPECT_TRUE(link.Noisy());
  ExpectOneRequestAfterReading();
  EXPECT_TRUE(link.FastrakInLine());
  EXPECT_EQ(link.FastrakPartialLine(), "01 ");
  // The next read goes on normally and completes the line that had begun.
  port.Feed(" 4 5 6\r\n");
  EXPECT_TRUE(link.ReadFOB());
  ExpectReading(reading, 400, 500, 600);
}

TEST_F(FastrakReadTest, AnEndlessLineIsBoundedAndDropped) {
  port.Feed("\n" + std::string(kFastrakMaxBytesPerRead + 10, '1'));
  EXPECT_FALSE(link.ReadFOB());
  // One read takes at most its bound; the rest waits for the next tick.
  EXPECT_EQ(port.reads, kFastrakMaxBytesPerRead);
  EXPECT_EQ(port.input.size(), 11u);
  EXPECT_LE(link.FastrakPartialLine().size(), kFastrakMaxLine);
  port.Feed(" 2 3\r\n01 4 5 6 \r");
  EXPECT_TRUE(link.ReadFOB());  // the overlong line is dropped, the next one read
  ExpectReading(reading, 400, 500, 600);
  // A line that outgrew the bound is dropped, not parsed from its first part.
  reading = {};
  port.Feed("\n01 1 2 3" + std::string(kFastrakMaxLine, ' ') + "\r\n");
  EXPECT_FALSE(link.ReadFOB());
  while (!port.input.empty()) link.ReadFOB();
  ExpectReading(reading, 0, 0, 0);
}

TEST_F(FastrakReadTest, AReconnectionDropsAnUnfinishedLine) {
  // A record cut off by a reconnection must not be joined to the first record the
  // device sends afterwards ("01  12.3" + "01  1.00 ..." would read 12.301).
  port.Feed("\r\n01   12.3");
  EXPECT_FALSE(link.ReadFOB());
  ASSERT_TRUE(link.FastrakInLine());
  link.InitFOB();
  EXPECT_FALSE(link.FastrakInLine());
  EXPECT_EQ(link.FastrakPartialLine(), "");
  reading = {};
  port.Feed("01   1.00   2.00   3.00\r\n");
  EXPECT_FALSE(link.ReadFOB());
  ExpectReading(reading, 0, 0, 0);
  port.Feed("01   4.00   5.00   6.00\r\n");
  EXPECT_TRUE(link.ReadFOB());
  ExpectReading(reading, 400, 500, 600);
}

TEST_F(FastrakReadTest, OnlyARecordWithinTheTrackersRangeIsAPosition) {
  struct TCase {
    const char* line;
    bool position;
    int32_t x, y, z;
  };
  const TCase cases[] = {
      {"01   1.00   2.00   3.00   0.00   0.00   0.00", true, 100, 200, 300},
      {"04   1.00   2.00   3.00", true, 100, 200, 300},         // station 4
      {"01 -999.99 999.99-999.99", true, -99999, 99999, -99999},  // the widest fields
      {"01E  1.00   2.00   3.00", true, 100, 200, 300},         // a status letter in the header
      {"05   1.00   2.00   3.00", false, 0, 0, 0},              // no station 5
      {"00   1.00   2.00   3.00", false, 0, 0, 0},
      {"11   1.00   2.00   3.00", false, 0, 0, 0},              // not an output record
      {"x01   1.00   2.00   3.00", false, 0, 0, 0},             // noise in front of a record
      {"\x81\x02\x7f\x40  12.5  18.3  99.1", false, 0, 0, 0},  // Flock bytes at the wrong port
      {"01 1000.00   2.00   3.00", false, 0, 0, 0},             // beyond the range
      {"01   1.00-1000.00   3.00", false, 0, 0, 0},
      {"01   1.00   2.00 123456.78", false, 0, 0, 0},
      {"01   1.00   2.00", false, 0, 0, 0},                     // two numbers only
      {"01 1 2", false, 0, 0, 0},                               // too short
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.line);
    TTrackerLink l(state, reading, clock, messages, host);
    l.SetPort(&port);
    port.input.clear();
    port.Feed("\r\n");  // the end of a record: the next line is whole
    reading = {5, 6, 7};
    const std::string line = c.line;
    port.Feed(line + "\r\n");
    EXPECT_EQ(l.ReadFOB(), c.position);
    EXPECT_EQ(l.Noisy(), !c.position);
    if (c.position) {
      ExpectReading(reading, c.x, c.y, c.z);
      EXPECT_EQ(l.DiscardedBytes(), 1u);  // the carriage return before the first line feed
      EXPECT_EQ(l.ReadingsCount(), 1u);
    } else {
      ExpectReading(reading, 5, 6, 7);
      EXPECT_EQ(l.DiscardedBytes(), 1 + line.size() + 2);  // with its line feed and return
      EXPECT_EQ(l.ReadingsCount(), 0u);
      // The next record brings the link back.
      port.Feed("01  -4.00  -5.00  -6.00\r\n");
      EXPECT_TRUE(l.ReadFOB());
      EXPECT_FALSE(l.Noisy());
      ExpectReading(reading, -400, -500, -600);
    }
  }
}

TEST_F(FastrakReadTest, BytesBetweenRecordsAreNoise) {
  port.Feed("\n01 1 2 3 4\r\n");
  EXPECT_TRUE(link.ReadFOB());
  EXPECT_EQ(link.DiscardedBytes(), 0u);
  // A record, then a stray carriage return and characters outside a line: the
  // stray return leaves no line to parse (the record before it is not noise, only
  // not the newest), and the five bytes outside a line are noise.
  port.Feed("01 9 9 9 9\r\r abc");
  EXPECT_FALSE(link.ReadFOB());
  EXPECT_TRUE(link.Noisy());
  EXPECT_EQ(link.DiscardedBytes(), 5u);
  ExpectReading(reading, 100, 200, 300);
}

TEST_F(FastrakReadTest, AnOlderLineOfTheReadThatIsNoRecordIsCountedButTheNewestCounts) {
  port.Feed("\nzz 9 9 9 9 9\r\n01 5 6 7 8\r\n");
  EXPECT_TRUE(link.ReadFOB());
  ExpectReading(reading, 500, 600, 700);
  EXPECT_FALSE(link.Noisy());
  EXPECT_EQ(link.DiscardedBytes(), std::string("zz 9 9 9 9 9").size() + 2);
}

}  // namespace
