// The calibration text file: exact bytes written, and the reader's handling of
// every line shape a file may hold.
#include <gtest/gtest.h>

#include <string>

#include "SafeFile.h"
#include "TestSupport.h"
#include "reg/CalibFile.h"

using testsupport::HexDump;

namespace {

TPointPair P(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f) {
  return TPointPair{a, b, c, d, e, f};
}

// Parses bytes that must load; fails the test with the message otherwise.
TCalibration Load(std::string_view bytes) {
  TCalibration cal;
  std::string error;
  EXPECT_TRUE(ParseCalibration(bytes, cal, error)) << error << "\n" << HexDump(bytes);
  EXPECT_EQ(error, "");
  return cal;
}

std::string Refused(std::string_view bytes) {
  TCalibration cal;
  std::string error;
  EXPECT_FALSE(ParseCalibration(bytes, cal, error)) << HexDump(bytes);
  return error;
}

std::string PointLines(int n) {
  std::string s;
  for (int i = 1; i <= n; ++i) {
    s += std::to_string(i) + " " + std::to_string(-i) + " 3 " + std::to_string(1000 + i) +
         " -2 " + std::to_string(i * 7) + "\r\n";
  }
  return s;
}

// --- Writing -----------------------------------------------------------------

TEST(CalibFormat, TwoRowsAndTheDesiredVoxelGiveTheExactBytes) {
  TPointPair rows[] = {P(12, -4, 87, 1503, -2210, 455), P(20, -4, 80, 1498, -1377, 452)};
  std::string expected =
      "12 -4 87 1503 -2210 455\r\n"     // row 1: MRIx MRIy MRIz FOBx FOBy FOBz
      "20 -4 80 1498 -1377 452\r\n"     // row 2
      "64 70 31 77777 77777 77777\r\n";  // closing line: desired voxel, marker x3
  std::string got = FormatCalibration(rows, 2, TVoxel{64, 70, 31});
  EXPECT_EQ(got, expected) << "got:\n" << HexDump(got) << "expected:\n" << HexDump(expected);
}

TEST(CalibFormat, TheEmptyStartRowIsSixZeros) {
  TPointPair rows[] = {TPointPair{}};
  std::string expected =
      "0 0 0 0 0 0\r\n"            // the empty data row of a new calibration
      "0 0 0 77777 77777 77777\r\n";  // desired voxel 0 0 0
  std::string got = FormatCalibration(rows, 1, TVoxel{});
  EXPECT_EQ(got, expected) << HexDump(got);
}

TEST(CalibFormat, ExtremeValuesHaveNoPaddingOrPlusSign) {
  TPointPair rows[] = {P(INT32_MIN, INT32_MAX, -1, 0, 7, -0)};
  std::string expected =
      "-2147483648 2147483647 -1 0 7 0\r\n"
      "-5 0 5 77777 77777 77777\r\n";
  std::string got = FormatCalibration(rows, 1, TVoxel{-5, 0, 5});
  EXPECT_EQ(got, expected) << HexDump(got);
}

TEST(CalibFormat, RoundTripGivesTheSameRowsAndDesiredVoxel) {
  std::vector<TPointPair> rows;
  for (int i = 0; i < kMaxCalibrationRows; ++i)
    rows.push_back(P(i, -i, i * 3, 30000 - i * 500, -32768 + i, i * i));
  std::string bytes = FormatCalibration(rows.data(), static_cast<int>(rows.size()), {1, -2, 3});
  TCalibration cal = Load(bytes);
  EXPECT_EQ(cal.rows, rows);
  EXPECT_TRUE(cal.hasDesired);
  EXPECT_EQ(cal.desired, (TVoxel{1, -2, 3}));
  // And the bytes again, exactly.
  EXPECT_EQ(FormatCalibration(cal.rows.data(), static_cast<int>(cal.rows.size()), cal.desired),
            bytes);
}

// --- Reading: line shapes -----------------------------------------------------

TEST(CalibRead, TheSpecExampleLoadsTwoRowsAndTheDesiredVoxel) {
  TCalibration cal = Load(
      "12 -4 87 1503 -2210 455\r\n20 -4 80 1498 -1377 452\r\n64 70 31 77777 77777 77777\r\n");
  ASSERT_EQ(cal.rows.size(), 2u);
  EXPECT_EQ(cal.rows[0], P(12, -4, 87, 1503, -2210, 455));
  EXPECT_EQ(cal.rows[1], P(20, -4, 80, 1498, -1377, 452));
  EXPECT_TRUE(cal.hasDesired);
  EXPECT_EQ(cal.desired, (TVoxel{64, 70, 31}));
}

TEST(CalibRead, AFinalLineEndMakesNoExtraRow) {
  EXPECT_EQ(Load("1 2 3 4 5 6\r\n").rows.size(), 1u);
  EXPECT_EQ(Load("1 2 3 4 5 6\n").rows.size(), 1u);
  EXPECT_EQ(Load("1 2 3 4 5 6").rows.size(), 1u);
}

TEST(CalibRead, BlankLinesAndBlanksAtTheEndAreIgnored) {
  // A Pascal reader would take trailing blank lines for a row of zeros.
  TCalibration cal = Load("1 2 3 4 5 6\r\n\r\n\r\n  \t \r\n");
  ASSERT_EQ(cal.rows.size(), 1u);
  EXPECT_EQ(cal.rows[0], P(1, 2, 3, 4, 5, 6));
}

TEST(CalibRead, BlankLinesBetweenPointLinesAreSkipped) {
  TCalibration cal = Load("\r\n\r\n1 2 3 4 5 6\r\n\r\n   \r\n7 8 9 10 11 12\r\n");
  ASSERT_EQ(cal.rows.size(), 2u);
  EXPECT_EQ(cal.rows[1], P(7, 8, 9, 10, 11, 12));
}

TEST(CalibRead, LfOnlyAndCrOnlyLineEndsLoadTheSame) {
  std::string crlf = "1 2 3 4 5 6\r\n7 8 9 10 11 12\r\n1 1 1 77777 77777 77777\r\n";
  std::string lf = "1 2 3 4 5 6\n7 8 9 10 11 12\n1 1 1 77777 77777 77777\n";
  std::string cr = "1 2 3 4 5 6\r7 8 9 10 11 12\r1 1 1 77777 77777 77777\r";
  TCalibration a = Load(crlf), b = Load(lf), c = Load(cr);
  EXPECT_EQ(a.rows, b.rows);
  EXPECT_EQ(a.rows, c.rows);
  EXPECT_EQ(a.rows.size(), 2u);
  EXPECT_EQ(b.desired, (TVoxel{1, 1, 1}));
  EXPECT_EQ(c.desired, (TVoxel{1, 1, 1}));
}

TEST(CalibRead, TabsAndSeveralBlanksSeparateNumbers) {
  TCalibration cal = Load("  1\t2   3 \t4 5 6  \r\n");
  ASSERT_EQ(cal.rows.size(), 1u);
  EXPECT_EQ(cal.rows[0], P(1, 2, 3, 4, 5, 6));
}

TEST(CalibRead, AClosingLineBetweenPointLinesTakesNoRow) {
  TCalibration cal =
      Load("1 2 3 4 5 6\r\n9 9 9 77777 77777 77777\r\n7 8 9 10 11 12\r\n");
  ASSERT_EQ(cal.rows.size(), 2u);
  EXPECT_EQ(cal.rows[0], P(1, 2, 3, 4, 5, 6));
  EXPECT_EQ(cal.rows[1], P(7, 8, 9, 10, 11, 12));
  EXPECT_EQ(cal.desired, (TVoxel{9, 9, 9}));
}

TEST(CalibRead, TheLastClosingLineWins) {
  TCalibration cal = Load(
      "5 5 5 77777 77777 77777\r\n1 2 3 4 5 6\r\n6 6 6 77777 0 0\r\n-7 8 -9 77777 1 2\r\n");
  EXPECT_EQ(cal.rows.size(), 1u);
  EXPECT_EQ(cal.desired, (TVoxel{-7, 8, -9}));
}

TEST(CalibRead, WithoutAClosingLineTheDesiredVoxelIsNotSet) {
  TCalibration cal = Load("1 2 3 4 5 6\r\n");
  EXPECT_FALSE(cal.hasDesired);
}

TEST(CalibRead, OnlyTheFourthNumberMakesAClosingLine) {
  TCalibration cal = Load(
      "77777 77777 77777 1 77777 77777\r\n"  // a point line
      "1 2 3 77777 5 6\r\n");                 // a closing line
  ASSERT_EQ(cal.rows.size(), 1u);
  EXPECT_EQ(cal.rows[0], P(77777, 77777, 77777, 1, 77777, 77777));
  EXPECT_EQ(cal.desired, (TVoxel{1, 2, 3}));
}

TEST(CalibRead, ASeventhNumberAndTheRestOfTheLineAreIgnored) {
  TCalibration cal = Load("1 2 3 4 5 6 7 8 garbage 1.5\r\n7 8 9 10 11 12\r\n");
  ASSERT_EQ(cal.rows.size(), 2u);
  EXPECT_EQ(cal.rows[0], P(1, 2, 3, 4, 5, 6));
  EXPECT_EQ(cal.rows[1], P(7, 8, 9, 10, 11, 12));
}

TEST(CalibRead, SixNumbersAreReadAcrossShortLines) {
  // "1 2 3" and "4 5 6 7" form one row; the 7 is the rest of that line.
  TCalibration cal = Load("1 2 3\r\n4 5 6 7\r\n8 9 10 11 12 13\r\n");
  ASSERT_EQ(cal.rows.size(), 2u);
  EXPECT_EQ(cal.rows[0], P(1, 2, 3, 4, 5, 6));
  EXPECT_EQ(cal.rows[1], P(8, 9, 10, 11, 12, 13));
}

TEST(CalibRead, NumbersMissingAtTheEndOfTheFileReadAsZero) {
  TCalibration cal = Load("1 2 3 4 5 6\r\n7 8\r\n");
  ASSERT_EQ(cal.rows.size(), 2u);
  EXPECT_EQ(cal.rows[1], P(7, 8, 0, 0, 0, 0));
}

TEST(CalibRead, AFileWithoutPointLinesHasNoRows) {
  TCalibration onlyClosing = Load("3 4 5 77777 77777 77777\r\n");
  EXPECT_TRUE(onlyClosing.rows.empty());
  EXPECT_TRUE(onlyClosing.hasDesired);
  EXPECT_EQ(onlyClosing.desired, (TVoxel{3, 4, 5}));
  // Files without any number are refused (see below): loading them would empty
  // the table for nothing.
  EXPECT_NE(Refused(""), "");
  EXPECT_NE(Refused("\r\n \r\n"), "");
}

// A file that holds only closing lines has no rows but a desired voxel: the caller
// tells it from a calibration by the row count.
TEST(CalibRead, ClosingLinesOnlyGiveNoRowsAndTheLastDesiredVoxel) {
  struct Case {
    const char* bytes;
    TVoxel desired;
  };
  const Case cases[] = {
      {"3 4 5 77777 77777 77777\r\n", {3, 4, 5}},
      {"3 4 5 77777 77777 77777", {3, 4, 5}},  // no line end
      {"\r\n  1 1 1 77777 0 0\r\n\r\n", {1, 1, 1}},
      {"1 1 1 77777 77777 77777\r\n-2 0 9 77777 77777 77777\r\n", {-2, 0, 9}},
      {"7 7 7 77777\r\n", {7, 7, 7}},  // the two numbers missing at the end read 0
  };
  for (const Case& c : cases) {
    TCalibration cal = Load(c.bytes);
    EXPECT_EQ(cal.rows.size(), 0u) << c.bytes;
    EXPECT_TRUE(cal.hasDesired) << c.bytes;
    EXPECT_EQ(cal.desired, c.desired) << c.bytes;
  }
}

// Nothing to load: neither a point line nor a closing line.
TEST(CalibRead, AFileWithoutAnyNumberIsRefusedAndSaysSo) {
  const std::string_view nothing[] = {
      "",       "\r\n", "\n",        "\r",     " ",
      "\t\t", "  \r\n\t \r\n\r\n", "\n\n\n\n", "\r\r", "\r\n \n\t\r",
  };
  for (std::string_view bytes : nothing) {
    EXPECT_EQ(Refused(bytes), "The file holds no calibration: no point line and no closing line")
        << HexDump(bytes);
    TCalibration cal;
    std::string error;
    EXPECT_FALSE(ParseCalibration(bytes, cal, error, "/data/subject 4/calib.txt"));
    EXPECT_EQ(error,
              "/data/subject 4/calib.txt holds no calibration: no point line and no closing line");
  }
}

TEST(CalibRead, ARefusedFileLeavesNoRowsBehindFromAnEarlierParse) {
  TCalibration cal = Load("1 2 3 4 5 6\r\n9 9 9 77777 77777 77777\r\n");
  std::string error;
  EXPECT_FALSE(ParseCalibration("\r\n", cal, error));
  EXPECT_TRUE(cal.rows.empty());
  EXPECT_FALSE(cal.hasDesired);
}

// --- Reading: numbers ---------------------------------------------------------

TEST(CalibRead, Int32LimitsAreAccepted) {
  TCalibration cal = Load("-2147483648 2147483647 0 -0 +5 007\r\n");
  ASSERT_EQ(cal.rows.size(), 1u);
  EXPECT_EQ(cal.rows[0], P(INT32_MIN, INT32_MAX, 0, 0, 5, 7));
}

TEST(CalibRead, MalformedNumbersAreInvalidNumericInput) {
  const char* bad[] = {
      "1 2 3 4.5 5 6\r\n",           // decimal point
      "1 2 3 4 5 2147483648\r\n",    // one above the int32 range
      "-2147483649 2 3 4 5 6\r\n",   // one below
      "99999999999999999999 2 3 4 5 6\r\n",
      "1 2 3 $1F 5 6\r\n",           // Pascal hexadecimal is not taken
      "1 2 3 0x1F 5 6\r\n",
      "1 2 3 4 5 6e2\r\n",
      "1 2 - 4 5 6\r\n",             // a sign alone
      "1 2 + 4 5 6\r\n",
      "1 2 --3 4 5 6\r\n",
      "1 2 3 4 5 6,\r\n",
      "1,2 3 4 5 6 7\r\n",
  };
  for (const char* b : bad) EXPECT_EQ(Refused(b), "Invalid numeric input") << b;
  // Control characters other than tabs and line ends belong to the number.
  EXPECT_EQ(Refused(std::string_view("1 2 3 4 5 6\0\r\n", 14)), "Invalid numeric input");
  EXPECT_EQ(Refused("1 2 3 4 5 6\f\r\n"), "Invalid numeric input");
}

TEST(CalibRead, ABadNumberAfterGoodLinesStillRefusesTheFile) {
  EXPECT_EQ(Refused(PointLines(10) + "1 2 3 4 5 x\r\n" + PointLines(3)), "Invalid numeric input");
}

TEST(CalibRead, ABadNumberPastTheSixthOnALineIsIgnored) {
  EXPECT_EQ(Load("1 2 3 4 5 6 1.5\r\n").rows.size(), 1u);
}

// --- Reading: capacity -------------------------------------------------------

TEST(CalibRead, MaxPointLinesWithAClosingLineLoadWhole) {
  ASSERT_EQ(kMaxCalibrationRows, 126);
  TCalibration cal = Load(PointLines(126) + "1 2 3 77777 77777 77777\r\n");
  ASSERT_EQ(cal.rows.size(), 126u);
  EXPECT_EQ(cal.rows[125], P(126, -126, 3, 1126, -2, 882));
  EXPECT_TRUE(cal.hasDesired);
}

TEST(CalibRead, MaxPointLinesWithClosingLinesBeforeAndAmongThemLoadWhole) {
  std::string s = "1 1 1 77777 77777 77777\r\n" + PointLines(60) + "2 2 2 77777 0 0\r\n" +
                  PointLines(66) + "3 3 3 77777 77777 77777\r\n";
  TCalibration cal = Load(s);
  EXPECT_EQ(cal.rows.size(), 126u);
  EXPECT_EQ(cal.desired, (TVoxel{3, 3, 3}));
}

TEST(CalibRead, MorePointLinesThanTheTableHoldsAreRefusedNamingTheLimit) {
  std::string expected =
      "The calibration file holds more than 126 point pairs; at most 126 can be loaded";
  EXPECT_EQ(Refused(PointLines(127)), expected);
  EXPECT_EQ(Refused(PointLines(127) + "1 2 3 77777 77777 77777\r\n"), expected);
  EXPECT_EQ(Refused(PointLines(128)), expected);
  EXPECT_EQ(Refused(PointLines(5000)), expected);
}

// --- Reading: where it failed ---------------------------------------------------

// The line of a fault counts CR LF, LF and CR line ends alike, and numbers read
// across line ends are placed on their own line. The window's message is unchanged.
TEST(CalibRead, AFailureTellsItsLineAndText) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string message;
    int line;
    std::string text;
  };
  const std::string tooMany =
      "The calibration file holds more than 126 point pairs; at most 126 can be loaded";
  const Case cases[] = {
      {"CR LF", "1 2 3 4 5 6\r\n1 2 3.5 4 5 6\r\n", kInvalidNumericInput, 2, "3.5"},
      {"CR", "1 2 3 4 5 6\r\r1 2 3 4 5 0x1F\r", kInvalidNumericInput, 3, "0x1F"},
      {"LF CR is two line ends", "1 2 3 4 5 6\n\r1 2 3 4 5 $\n", kInvalidNumericInput, 3, "$"},
      {"read across short lines", "1 2 3\r\n4 5 6 7\r\n8 9\r\n10 11 1e3\r\n", kInvalidNumericInput, 4, "1e3"},
      {"control bytes", std::string("1 2 3 4 5 6\r\n7\x01\x7f\xe9 2 3 4 5 6\r\n"), kInvalidNumericInput, 2,
       "7???"},
      {"a long token", "1 2 3 4 5 " + std::string(50, '9') + "\r\n", kInvalidNumericInput, 1,
       std::string(40, '9') + "..."},
      {"the 127th point line", "0 0 0 77777 77777 77777\r\n" + PointLines(127), tooMany, 128,
       "127 -127 3 1127 -2 889"},
      {"after a closing line", PointLines(126) + "\r\n9 9 9 77777 0 0\r\n 1\t2 3 4 5 6 7\r\n", tooMany, 129,
       " 1 2 3 4 5 6 7"},
      {"no number", "\r\n\r\n", "The file holds no calibration: no point line and no closing line", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TCalibration cal;
    TCalibrationError error;
    EXPECT_FALSE(ParseCalibration(c.bytes, cal, error));
    EXPECT_EQ(error.message, c.message);
    EXPECT_EQ(error.line, c.line);
    EXPECT_EQ(error.text, c.text);
    EXPECT_EQ(Refused(c.bytes), c.message) << "the same message without the place";
  }
  // A success clears what an earlier failure left.
  TCalibration cal;
  TCalibrationError error;
  EXPECT_FALSE(ParseCalibration("x", cal, error));
  EXPECT_TRUE(ParseCalibration("1 2 3 4 5 6", cal, error));
  EXPECT_EQ(error.line, 0);
  EXPECT_EQ(error.message, "");
  EXPECT_EQ(error.text, "");
}

// The strict form: six integers on every line, blank lines only at the end.
TEST(CalibStrict, FilesThatKeepTheFormPass) {
  TPointPair rows[] = {P(12, -4, 87, 1503, -2210, 455), P(INT32_MIN, INT32_MAX, 0, 0, 7, 0)};
  const std::string written = FormatCalibration(rows, 2, TVoxel{64, 70, 31});
  const std::string passing[] = {
      written,
      "1 2 3 4 5 6\n7 8 9 10 11 12\n",
      "1 2 3 4 5 6\r7 8 9 10 11 12",
      "  1\t2   3 \t4 5 6  \r\n+5 007 -0 0 0 77777\r\n",
      "1 2 3 4 5 6\r\n\r\n \t\r\n\n",
      "",
      "\r\n\r\n",
  };
  for (const std::string& bytes : passing) {
    TCalibrationError error;
    error.line = 9;
    EXPECT_TRUE(CheckCalibrationLines(bytes, error)) << error.message << "\n" << HexDump(bytes);
    EXPECT_EQ(error.line, 0);
  }
  for (const char* name : {"calib-crlf.txt", "calib-lf.txt", "closing-only.txt"}) {
    TCalibrationError error;
    EXPECT_TRUE(CheckCalibrationLines(
        testsupport::ReadFileBytes(std::string(ZELTRA_TEST_DATA) + "/files/" + name), error))
        << name << ": " << error.message;
  }
}

TEST(CalibStrict, ALineOutOfFormIsNamed) {
  const std::string six = "; a calibration line holds six";
  const std::string empty = "the line is empty; a calibration line holds six numbers";
  struct Case {
    const char* name;
    std::string bytes;
    int line;
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"one number at the end", "1 2 3 4 5 6\n9", 2, "9", "the line holds 1 number (\"9\")" + six},
      {"a closing line of four", "1 2 3 77777\r\n", 1, "1 2 3 77777", "the line holds 4 numbers (\"1 2 3 77777\")" + six},
      {"a letter before a short count", "1 2 a 4\r\n", 1, "a", "Invalid numeric input \"a\""},
      {"past the sixth number", "1 2 3 4 5 6 1.5\r\n", 1, "1.5", "Invalid numeric input \"1.5\""},
      {"a control byte", std::string("1 2 3 4 5 6\f\r\n"), 1, "6?", "Invalid numeric input \"6?\""},
      {"blanks only", "1 2 3 4 5 6\n \t\n1 2 3 4 5 6\n", 2, "  ", empty},
      {"an empty first line", "\n1 2 3 4 5 6\n", 1, "", empty},
      {"CR line ends", "1 2 3 4 5 6\r\r1 2 3 4 5 6\r", 2, "", empty},
      {"a long line", PointLines(3) + "100000 200000 300000 400000 500000 600000 700000\r\n", 4,
       "100000 200000 300000 400000 500000 60000...",
       "the line holds 7 numbers (\"100000 200000 300000 400000 500000 60000...\")" + six},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TCalibrationError error;
    EXPECT_FALSE(CheckCalibrationLines(c.bytes, error));
    EXPECT_EQ(error.line, c.line);
    EXPECT_EQ(error.text, c.text);
    EXPECT_EQ(error.message, c.message);
  }
}

// --- Committing into the table -------------------------------------------------

TEST(CalibStore, RowsGoToEntriesOneToNAndTheRestStays) {
  TPointPair table[kPointTableEntries + 1];
  for (auto& e : table) e = P(9, 9, 9, 9, 9, 9);
  TCalibration cal = Load("1 2 3 4 5 6\r\n7 8 9 10 11 12\r\n");
  EXPECT_EQ(StoreCalibration(cal, table), 2);
  EXPECT_EQ(table[0], P(9, 9, 9, 9, 9, 9));
  EXPECT_EQ(table[1], P(1, 2, 3, 4, 5, 6));
  EXPECT_EQ(table[2], P(7, 8, 9, 10, 11, 12));
  EXPECT_EQ(table[3], P(9, 9, 9, 9, 9, 9));
}

TEST(CalibStore, NoPointLinesLeaveOneEmptyRow) {
  TPointPair table[kPointTableEntries + 1];
  for (auto& e : table) e = P(9, 9, 9, 9, 9, 9);
  EXPECT_EQ(StoreCalibration(Load("1 2 3 77777 77777 77777\r\n"), table), 0);
  EXPECT_EQ(table[1], TPointPair{});
  EXPECT_EQ(table[2], P(9, 9, 9, 9, 9, 9));
}

TEST(CalibStore, AFullCalibrationFillsEveryEntryButTheLast) {
  TPointPair table[kPointTableEntries + 1];
  TCalibration cal = Load(PointLines(126));
  EXPECT_EQ(StoreCalibration(cal, table), 126);
  EXPECT_EQ(table[126], P(126, -126, 3, 1126, -2, 882));
  EXPECT_EQ(table[127], TPointPair{});
}

// --- Checked-in files ---------------------------------------------------------

// Real files: read as the window reads them, then parsed with their names.
TEST(CalibFiles, CheckedInFilesWithoutACalibrationAreRefusedByName) {
  std::string dir = std::string(ZELTRA_TEST_DATA) + "/files/";
  for (const char* name : {"empty.txt", "blank-lines.txt"}) {
    std::string path = dir + name;
    std::string bytes = "stale";
    ASSERT_EQ(ReadWholeFile(path, bytes), 0) << path;
    TCalibration cal;
    std::string error;
    EXPECT_FALSE(ParseCalibration(bytes, cal, error, path));
    EXPECT_EQ(error, path + " holds no calibration: no point line and no closing line");
  }
  std::string bytes;
  ASSERT_EQ(ReadWholeFile(dir + "closing-only.txt", bytes), 0);
  TCalibration cal = Load(bytes);
  EXPECT_TRUE(cal.rows.empty());
  EXPECT_TRUE(cal.hasDesired);
  EXPECT_EQ(cal.desired, (TVoxel{64, 70, 31}));
}

TEST(CalibFiles, CheckedInSamplesLoad) {
  std::string dir = std::string(ZELTRA_TEST_DATA) + "/files/";
  TCalibration crlf = Load(testsupport::ReadFileBytes(dir + "calib-crlf.txt"));
  TCalibration lf = Load(testsupport::ReadFileBytes(dir + "calib-lf.txt"));
  ASSERT_EQ(crlf.rows.size(), 6u);
  EXPECT_EQ(crlf.rows, lf.rows);
  EXPECT_EQ(crlf.rows[5], P(-3, 0, -120, -32768, 32767, 0));
  EXPECT_EQ(crlf.desired, (TVoxel{64, 70, 31}));
  EXPECT_EQ(lf.desired, crlf.desired);
}

}  // namespace
