// zeltra-fit against checked-in calibration files and their expected output, byte
// for byte. In the cross build the same test runs zeltra-fit.exe under Wine: the
// Windows build must print exactly the bytes the Linux build printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

fs::path DataDir() { return fs::path(ZELTRA_TEST_DATA) / "fit"; }

std::string WithoutCarriageReturns(std::string s) {
  s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
  return s;
}

// The exit status zeltra-fit gives for a calibration FILE.txt: the number in
// FILE.status when there is one, else 1 when the fit shows messages (FILE.stderr)
// and 0 when it does not.
int ExpectedStatus(const fs::path& input) {
  fs::path status = input, messages = input;
  status.replace_extension(".status");
  messages.replace_extension(".stderr");
  if (fs::exists(status)) return std::stoi(ReadFileBytes(status));
  return fs::exists(messages) ? 1 : 0;
}

}  // namespace

// Every FILE.txt in tests/data/fit has FILE.expected (standard output) and, when
// the fit shows messages, FILE.stderr (its messages; exit status 1, or the one in
// FILE.status).
TEST(FitTool, GoldenReports) {
  std::vector<fs::path> inputs;
  for (const auto& entry : fs::directory_iterator(DataDir()))
    if (entry.path().extension() == ".txt") inputs.push_back(entry.path());
  std::sort(inputs.begin(), inputs.end());
  ASSERT_GE(inputs.size(), 5u);
  for (const fs::path& input : inputs) {
    SCOPED_TRACE(input.filename().string());
    fs::path expected = input;
    expected.replace_extension(".expected");
    fs::path expectedErr = input;
    expectedErr.replace_extension(".stderr");
    ASSERT_TRUE(fs::exists(expected));
    const ProcessResult r = RunProcess({BinPath("zeltra-fit"), input.string()});
    const std::string want = ReadFileBytes(expected);
    EXPECT_EQ(r.out, want) << "got:\n" << HexDump(r.out) << "\nwant:\n" << HexDump(want);
    EXPECT_EQ(r.exitCode, ExpectedStatus(input));
    if (fs::exists(expectedErr)) {
      EXPECT_EQ(WithoutCarriageReturns(r.err), ReadFileBytes(expectedErr));
    } else {
      EXPECT_EQ(r.err, "");
    }
  }
}

// FILE.check.expected and FILE.csv.expected beside a calibration hold the output
// of zeltra-fit FILE --check and --check=csv; messages and exit status as without
// the option. The table follows the report, which stays byte for byte as it was.
TEST(FitTool, LandmarkCheckOutputs) {
  struct Mode {
    const char* option;
    const char* suffix;
  };
  const Mode modes[] = {{"--check", ".check.expected"}, {"--check=csv", ".csv.expected"}};
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(DataDir())) {
    const fs::path input = entry.path();
    if (input.extension() != ".txt") continue;
    for (const Mode& mode : modes) {
      fs::path expected = input;
      expected.replace_extension(mode.suffix);
      if (!fs::exists(expected)) continue;
      SCOPED_TRACE(input.filename().string() + " " + mode.option);
      ++compared;
      const ProcessResult r = RunProcess({BinPath("zeltra-fit"), input.string(), mode.option});
      const std::string want = ReadFileBytes(expected);
      EXPECT_EQ(r.out, want) << "got:\n" << HexDump(r.out) << "\nwant:\n" << HexDump(want);
      fs::path report = input, messages = input;
      report.replace_extension(".expected");
      messages.replace_extension(".stderr");
      if (std::string(mode.option) == "--check") {
        EXPECT_EQ(r.out.rfind(ReadFileBytes(report), 0), 0u) << "the report comes first, unchanged";
      }
      EXPECT_EQ(r.exitCode, ExpectedStatus(input));
      EXPECT_EQ(WithoutCarriageReturns(r.err), fs::exists(messages) ? ReadFileBytes(messages) : "");
    }
  }
  EXPECT_GE(compared, 6);
}

TEST(FitTool, CheckOptionsAreValidated) {
  const std::string file = (DataDir() / "twelve.txt").string();
  struct Case {
    std::vector<std::string> args;
    const char* err;  // in standard error
  };
  const Case cases[] = {{{file, "--check=xml"}, "usage"},
                        {{"--check"}, "usage"},
                        {{file, "--check", "--check=csv"}, "usage"},
                        {{file, file}, "usage"},
                        {{(DataDir() / "none.txt").string(), "--check"}, "File not found"}};
  for (const Case& c : cases) {
    std::vector<std::string> argv = {BinPath("zeltra-fit")};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const ProcessResult r = RunProcess(argv);
    EXPECT_EQ(r.exitCode, 2) << c.args.back();
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
  const ProcessResult help = RunProcess({BinPath("zeltra-fit"), "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("--check=csv  the landmark check as CSV in place of the report"),
            std::string::npos)
      << help.out;
}

TEST(FitTool, MissingFileIsReported) {
  TempDir dir;
  const ProcessResult r = RunProcess({BinPath("zeltra-fit"), (dir / "none.txt").string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("File not found"), std::string::npos) << r.err;
}

TEST(FitTool, BadNumberIsReported) {
  TempDir dir;
  WriteFileBytes(dir / "bad.txt", "1 2 3 4 5 6\r\n1 2 3.5 4 5 6\r\n0 0 0 77777 77777 77777\r\n");
  const ProcessResult r = RunProcess({BinPath("zeltra-fit"), (dir / "bad.txt").string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("Invalid numeric input"), std::string::npos) << r.err;
}

TEST(FitTool, UsageWithoutAFile) {
  const ProcessResult r = RunProcess({BinPath("zeltra-fit")});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("usage"), std::string::npos);
}

namespace {

// A calibration file of the given rows (MRIx MRIy MRIz FOBx FOBy FOBz).
std::string CalibrationText(const std::vector<std::array<int, 6>>& rows) {
  std::string text;
  for (const auto& r : rows) {
    for (int k = 0; k < 6; ++k) text += (k ? " " : "") + std::to_string(r[static_cast<size_t>(k)]);
    text += "\r\n";
  }
  return text + "0 0 0 77777 77777 77777\r\n";
}

// Rows whose tracker positions follow `shape` from row index k, with voxels an
// affine map of them (plus a wobble, so that no axis is constant).
std::vector<std::array<int, 6>> Rows(int n, std::array<int, 3> (*shape)(int k)) {
  std::vector<std::array<int, 6>> rows;
  for (int k = 1; k <= n; ++k) {
    const std::array<int, 3> p = shape(k);
    rows.push_back({100 + p[0] / 40 + k % 3, 90 + p[1] / 40 - k % 2, 60 + p[2] / 40 + k % 4, p[0], p[1], p[2]});
  }
  return rows;
}

}  // namespace

// Positions in a plane, on a line or at one point: zeltra-fit prints the message
// on standard error, the report lines (the count and the same message) on standard
// output, and exits 3; a full-rank set of five fits.
TEST(FitTool, UndeterminedMapsExitWithThree) {
  struct Case {
    const char* name;
    std::vector<std::array<int, 6>> rows;
    const char* says;  // in the message; empty: the fit runs
  };
  const Case cases[] = {
      {"FOBx the same", Rows(8, [](int k) { return std::array<int, 3>{700, 97 * k * k, -400 * k}; }),
       "lie in one plane (FOBx is 700 in every row)"},
      {"FOBy the same", Rows(8, [](int k) { return std::array<int, 3>{300 * k, 0, 53 * k * k}; }),
       "lie in one plane (FOBy is 0 in every row)"},
      {"FOBz the same", Rows(8, [](int k) { return std::array<int, 3>{-61 * k * k, 250 * k, -9}; }),
       "lie in one plane (FOBz is -9 in every row)"},
      {"125 collinear rows", Rows(125, [](int k) { return std::array<int, 3>{40 * k, 80 * k + 100, 50 - 40 * k}; }),
       "lie on one line, so"},
      {"one position", Rows(6, [](int) { return std::array<int, 3>{4000, 2000, -1000}; }),
       "All landmarks have the same tracker position (4000, 2000, -1000)"},
      {"six identical rows", std::vector<std::array<int, 6>>(6, {120, 96, 40, 1500, -2500, 700}),
       "All landmarks have the same tracker position (1500, -2500, 700)"},
      {"five rows in space",
       Rows(5, [](int k) { return std::array<int, 3>{300 * k, -70 * k * k, 11 * k * k * k}; }), ""},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = dir / "calibration.txt";
    WriteFileBytes(file, CalibrationText(c.rows));
    for (const char* option : {"", "--check"}) {
      std::vector<std::string> argv = {BinPath("zeltra-fit"), file.string()};
      if (*option) argv.push_back(option);
      const ProcessResult r = RunProcess(argv);
      const std::string says = c.says;
      if (says.empty()) {
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_NE(r.out.find("MRIz  = b0"), std::string::npos) << r.out;
        continue;
      }
      EXPECT_EQ(r.exitCode, 3);
      const std::string message = WithoutCarriageReturns(r.err);
      EXPECT_NE(message.find(says), std::string::npos) << message;
      EXPECT_NE(message.find("the registration cannot be determined. Record landmarks "), std::string::npos);
      EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << "one message: " << message;
      char count[40];
      std::snprintf(count, sizeof count, "Number of observations = %5d\n\n", static_cast<int>(c.rows.size()));
      EXPECT_EQ(r.out, count + message) << "no report, no formulas, no check";
    }
  }
}

// Numbers wider than their columns stay apart from what stands before them, in the
// report and in the landmark check's table: voxels near the int32 limits give
// estimates, deviations and residuals of ten and more digits.
TEST(FitTool, OverflowingColumnsStaySeparated) {
  std::vector<std::array<int, 6>> rows;
  for (int k = 1; k <= 9; ++k) {
    const int fx = 300 * k - 1500, fy = (k * k * 37) % 900 - 450, fz = (k * 211) % 700 - 350;
    rows.push_back({2000000000 + 40000 * fx + (k % 2 ? 30000000 : -30000000), -2000000000 + 900 * fy,
                    k * 100000000 - 1000000000 + fz, fx, fy, fz});
  }
  TempDir dir;
  const fs::path file = dir / "huge.txt";
  WriteFileBytes(file, CalibrationText(rows));
  const ProcessResult r = RunProcess({BinPath("zeltra-fit"), file.string(), "--check"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::istringstream out(r.out);
  std::string line;
  int parameters = 0, checkRows = 0, overflowing = 0;
  bool inCheck = false;
  while (std::getline(out, line)) {
    if (line.rfind("Landmark check", 0) == 0) inCheck = true;
    std::istringstream words(line);
    std::vector<std::string> fields;
    for (std::string w; words >> w;) fields.push_back(w);
    if (!inCheck && line.size() > 2 && line[0] == 'b' && std::isdigit(static_cast<unsigned char>(line[1]))) {
      ++parameters;
      // The label, then the estimate alone or all four numbers, each a number.
      ASSERT_TRUE(fields.size() == 2 || fields.size() == 5) << line;
      EXPECT_EQ(fields[0].size(), 2u) << line;
      for (size_t f = 1; f < fields.size(); ++f) EXPECT_NO_THROW((void)std::stod(fields[f])) << line;
      if (line.size() > (fields.size() == 2 ? 19u : 70u)) ++overflowing;
    } else if (inCheck && !fields.empty() && std::isdigit(static_cast<unsigned char>(fields[0][0])) &&
               line.find(';') == std::string::npos) {
      ++checkRows;
      // Row, three residuals, their length, the leave-one-out error (and "worst").
      ASSERT_GE(fields.size(), 6u) << line;
      EXPECT_EQ(fields[0], std::to_string(checkRows)) << line;
      for (size_t f = 1; f < 6; ++f) EXPECT_NO_THROW((void)std::stod(fields[f])) << line;
      if (line.size() > 60u + (line.find("worst") != std::string::npos ? 7 : 0)) ++overflowing;
    }
  }
  EXPECT_EQ(parameters, 12);
  EXPECT_EQ(checkRows, 9);
  EXPECT_GT(overflowing, 6) << r.out;
}
