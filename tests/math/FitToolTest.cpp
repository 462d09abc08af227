// zeltra-fit against checked-in calibration files and their expected output, byte
// for byte. In the cross build the same test runs zeltra-fit.exe under Wine: the
// Windows build must print exactly the bytes the Linux build printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "../image/TestHeader.h"
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
                        {{(DataDir() / "none.txt").string(), "--check"}, "File not found"},
                        {{file, "--image"}, "usage"},
                        {{file, "--image", "a.nii", "--image", "b.nii"}, "usage"},
                        {{file, "--tracker", "flock72", "--tracker=flock36"}, "usage"},
                        {{file, "--tracker", "flock48"}, "unknown tracker \"flock48\": flock36, flock72"}};
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
  for (const char* says : {"--check=csv        the landmark check as CSV in place of the report",
                           "--tracker TRACKER  the tracker's unit for the scale check: flock36 (default)",
                           "2 usage, file, format or output error\n  (a malformed line as FILE:LINE:"})
    EXPECT_NE(help.out.find(says), std::string::npos) << help.out;
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

// A report that does not reach standard output is a failure, not a fit.
TEST(FitTool, AReportThatCannotBeWrittenExitsWithTwo) {
  if (!fs::exists("/dev/full") || !fs::exists("/bin/sh")) GTEST_SKIP() << "no /dev/full here";
  const std::string cmd = "'" + BinPath("zeltra-fit") + "' '" + (DataDir() / "five.txt").string() + "' >/dev/full";
  const ProcessResult r = RunProcess({"/bin/sh", "-c", cmd});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("the report could not be written: No space left on device"), std::string::npos) << r.err;
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
      // Row, three residuals, their length, the leave-one-out error (and "*").
      ASSERT_GE(fields.size(), 6u) << line;
      EXPECT_EQ(fields[0], std::to_string(checkRows)) << line;
      for (size_t f = 1; f < 6; ++f) EXPECT_NO_THROW((void)std::stod(fields[f])) << line;
      const bool worst = line.size() > 3 && line.compare(line.size() - 3, 3, "  *") == 0;
      if (line.size() > 60u + (worst ? 3 : 0)) ++overflowing;
    }
  }
  EXPECT_EQ(parameters, 12);
  EXPECT_EQ(checkRows, 9);
  EXPECT_GT(overflowing, 6) << r.out;
}

namespace {

// n point lines "k -k 3 1000+k -2 7k", CR LF.
std::string PointLines(int n) {
  std::string s;
  for (int k = 1; k <= n; ++k)
    s += std::to_string(k) + " " + std::to_string(-k) + " 3 " + std::to_string(1000 + k) + " -2 " +
         std::to_string(7 * k) + "\r\n";
  return s;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

}  // namespace

// A file that is not six integers a line is refused before any fit, naming the
// line that breaks the form: "FILE:LINE: what is wrong", exit 2, nothing on
// standard output. The window would read five numbers and take the sixth from the
// next line, shifting every row after it.
TEST(FitTool, MalformedLinesAreReportedWithTheirLine) {
  const std::string good = "143 118 159 2512 -4997 3326\r\n164 188 123 2750 -7409 1742\r\n";
  const std::string sixFields = "; a calibration line holds six";
  const std::string empty = "the line is empty; a calibration line holds six numbers";
  struct Case {
    const char* name;
    std::string bytes;
    int line;  // 0: the file as a whole
    std::string message;
  };
  const Case cases[] = {
      {"a letter", good + "49 87 x6 -512 -2906 889\r\n", 3, "Invalid numeric input \"x6\""},
      {"a decimal", "1 2 3 4 5 6\r\n1 2 3.5 4 5 6\r\n0 0 0 77777 77777 77777\r\n", 2,
       "Invalid numeric input \"3.5\""},
      {"five numbers", good + "49 87 86 -512 -2906\r\n" + good, 3,
       "the line holds 5 numbers (\"49 87 86 -512 -2906\")" + sixFields},
      {"seven numbers", "1 2 3 4 5 6 7\r\n" + good, 1, "the line holds 7 numbers (\"1 2 3 4 5 6 7\")" + sixFields},
      {"a short closing line", good + "64 70 31 77777\r\n", 3,
       "the line holds 4 numbers (\"64 70 31 77777\")" + sixFields},
      {"an empty line in the middle", good + "\r\n" + good, 3, empty},
      {"too many point lines", "1 1 1 77777 77777 77777\r\n" + PointLines(127), 128,
       "The calibration file holds more than 126 point pairs; at most 126 can be loaded"},
      {"no number at all", "\r\n  \r\n", 0, "The file holds no calibration: no point line and no closing line"},
  };
  TempDir dir;
  const std::string file = (dir / "calibration.txt").string();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileBytes(file, c.bytes);
    for (const char* option : {"", "--check", "--check=csv"}) {
      std::vector<std::string> argv = {BinPath("zeltra-fit"), file};
      if (*option) argv.push_back(option);
      const ProcessResult r = RunProcess(argv);
      EXPECT_EQ(r.exitCode, 2) << option;
      EXPECT_EQ(r.out, "") << option;
      const std::string where = c.line > 0 ? file + ":" + std::to_string(c.line) + ": " : file + ": ";
      EXPECT_EQ(WithoutCarriageReturns(r.err), where + c.message + "\n") << option;
    }
  }
}

namespace {

// A .nii of 64 x 64 x 40 voxels of the given sizes (mm): from pixdim alone, or
// with an sform of that diagonal, its signs `flip` and an offset.
fs::path WriteImage(const fs::path& dir, const float (&size)[3], bool sform, const float (&flip)[3] = {1, 1, 1}) {
  TTestHeader h;
  h.Pixdim(1, size[0]).Pixdim(2, size[1]).Pixdim(3, size[2]);
  if (sform) {
    const float rows[3][4] = {{flip[0] * size[0], 0, 0, -90},
                              {0, flip[1] * size[1], 0, 126},
                              {0, 0, flip[2] * size[2], -72}};
    h.Sform(rows).SformCode(1);
  }
  const fs::path path = dir / "head.nii";
  WriteFileBytes(path, h.str() + std::string(4, '\0'));
  return path;
}

}  // namespace

// With --image the check gains the residual and the leave-one-out error in mm. For
// a diagonal map a difference (dx, dy, dz) of voxels is |(dx sx, dy sy, dz sz)| mm;
// for isotropic voxels of s mm every length is s times its length in voxels. The
// report and the formulas stay as they were; the image's line follows them.
TEST(FitTool, ImageGivesTheCheckInMillimetres) {
  struct Case {
    const char* name;
    float size[3];
    bool sform;
    float flip[3];
    const char* imageLine;
  };
  const Case cases[] = {
      {"1 mm from pixdim", {1, 1, 1}, false, {1, 1, 1}, "head.nii: 64 x 64 x 40, 1.00 x 1.00 x 1.00 mm"},
      {"2 mm from a flipped sform", {2, 2, 2}, true, {-1, 1, -1}, "head.nii: 64 x 64 x 40, 2.00 x 2.00 x 2.00 mm"},
      {"0.5 x 1 x 3 mm from pixdim", {0.5f, 1, 3}, false, {1, 1, 1}, "head.nii: 64 x 64 x 40, 0.50 x 1.00 x 3.00 mm"},
  };
  const std::string calibration = (DataDir() / "twelve.txt").string();
  const std::string report = ReadFileBytes(DataDir() / "twelve.expected");
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string image = WriteImage(dir.path(), c.size, c.sform, c.flip).string();
    const double s[3] = {c.size[0], c.size[1], c.size[2]};
    const bool isotropic = s[0] == s[1] && s[1] == s[2];

    // The CSV, six decimals: the exact check.
    const ProcessResult csv = RunProcess({BinPath("zeltra-fit"), calibration, "--check=csv", "--image", image});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    const std::vector<std::string> lines = Split(csv.out, '\n');
    ASSERT_EQ(lines.size(), 13u) << csv.out;
    EXPECT_EQ(lines[0], "row,dx,dy,dz,residual,leave_one_out,residual_mm,leave_one_out_mm");
    for (size_t k = 1; k < lines.size(); ++k) {
      const std::vector<std::string> f = Split(lines[k], ',');
      ASSERT_EQ(f.size(), 8u) << lines[k];
      double d[3], mm = 0;
      for (int a = 0; a < 3; ++a) {
        d[a] = std::stod(f[static_cast<size_t>(a) + 1]);
        mm += d[a] * s[a] * d[a] * s[a];
      }
      EXPECT_NEAR(std::stod(f[6]), std::sqrt(mm), 4e-6) << lines[k];
      if (isotropic) {
        EXPECT_NEAR(std::stod(f[6]), std::stod(f[4]) * s[0], 4e-6) << lines[k];
        EXPECT_NEAR(std::stod(f[7]), std::stod(f[5]) * s[0], 4e-6) << lines[k];
      }
    }

    // The table: units on every column, the mm columns beside the voxel ones.
    const ProcessResult table = RunProcess({BinPath("zeltra-fit"), calibration, "--check", "--image=" + image});
    ASSERT_EQ(table.exitCode, 0) << table.err;
    EXPECT_EQ(table.out.rfind(report, 0), 0u) << "the report comes first, unchanged";
    EXPECT_NE(table.out.find(report + "\n" + c.imageLine + "\n"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("\n  Row        dx        dy        dz  Residual  Residual  Leave-one-out  Leave-one-out\n"
                             "          [vxl]     [vxl]     [vxl]     [vxl]      [mm]          [vxl]           [mm]\n"),
              std::string::npos)
        << table.out;
    const size_t row10 = table.out.find("\n   10    -0.959") + 1;
    const std::string worst = table.out.substr(row10, table.out.find('\n', row10) - row10);
    EXPECT_EQ(worst.substr(worst.size() - 3), "  *") << "the worst row is marked: " << worst;
    EXPECT_NE(table.out.find("\n* largest leave-one-out error\nRMS residual 0.601;"), std::string::npos);
  }
}

// The fit of twelve.txt implies voxels of about 1 mm for a Flock's 36-inch range
// (one unit 36 * 25.4 / 32768 mm): a tracker setting that does not match the
// image's voxels gives the scale check's warning after the image's line (in the
// CSV on standard error); the exit status stays 0.
TEST(FitTool, ScaleWarningForAWrongTrackerUnit) {
  struct Case {
    float voxel;          // mm, isotropic
    const char* tracker;  // nullptr: the default
    const char* warning;  // the start of the warning; nullptr: none
  };
  const Case cases[] = {
      {1, nullptr, nullptr},
      {1, "flock72", "The fit implies voxels of 1.99 mm along MRI x, 2.01 mm along MRI y and 1.98 mm"},
      {2, "flock72", nullptr},
      {2, "flock36", "The fit implies voxels of 1.00 mm along MRI x, 1.01 mm along MRI y and 0.99 mm along "
                     "MRI z, but the image's are 2.00, 2.00 and 2.00 mm: check the tracker's range or unit"},
      {1, "fastrak-cm", "The fit implies voxels of 3.57 mm along MRI x, 3.61 mm along MRI y"},
  };
  const std::string calibration = (DataDir() / "twelve.txt").string();
  const std::string report = ReadFileBytes(DataDir() / "twelve.expected");
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.tracker ? c.tracker : "default") + " " + std::to_string(c.voxel));
    const float size[3] = {c.voxel, c.voxel, c.voxel};
    const std::string image = WriteImage(dir.path(), size, false).string();
    for (const char* option : {"", "--check=csv"}) {
      std::vector<std::string> argv = {BinPath("zeltra-fit"), calibration, "--image", image};
      if (c.tracker) argv.insert(argv.end(), {"--tracker", c.tracker});
      if (*option) argv.push_back(option);
      const ProcessResult r = RunProcess(argv);
      EXPECT_EQ(r.exitCode, 0) << option;
      const std::string warning = *option ? WithoutCarriageReturns(r.err) : r.out.substr(std::min(r.out.size(), report.size()));
      if (!*option) {
        EXPECT_EQ(r.err, "");
        ASSERT_EQ(r.out.rfind(report, 0), 0u);
      } else {
        EXPECT_EQ(r.out.rfind("row,", 0), 0u);
      }
      if (!c.warning) {
        EXPECT_EQ(warning.find("The fit implies"), std::string::npos) << warning;
        continue;
      }
      const size_t at = warning.find(c.warning);
      ASSERT_NE(at, std::string::npos) << warning;
      if (!*option) {
        EXPECT_EQ(warning.substr(0, at).find("\nhead.nii: 64 x 64 x 40"), 0u) << "after the image line";
      }
      EXPECT_EQ(std::count(warning.begin() + static_cast<long>(at), warning.end(), '\n'), 1) << "one line";
    }
  }
}

// A bad image is reported by its own message alone, exit 2, before anything is
// printed; the calibration's faults come first.
TEST(FitTool, BadImagesAreRefusedWithTheirMessageAlone) {
  struct Case {
    const char* name;
    std::string bytes;  // empty: no file
    const char* says;
  };
  const Case cases[] = {
      {"no file", "", "head.nii was not found"},
      {"a text file", "64 70 31 77777 77777 77777\r\n", "head.nii is not a NIfTI-1 image"},
      {"zero voxels", TTestHeader().Pixdim(2, 0).str(), "head.nii"},
  };
  TempDir dir;
  const std::string calibration = (DataDir() / "twelve.txt").string();
  const std::string image = (dir / "head.nii").string();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(image);
    if (!c.bytes.empty()) WriteFileBytes(image, c.bytes);
    for (const char* option : {"", "--check", "--check=csv"}) {
      std::vector<std::string> argv = {BinPath("zeltra-fit"), calibration, "--image", image};
      if (*option) argv.push_back(option);
      const ProcessResult r = RunProcess(argv);
      EXPECT_EQ(r.exitCode, 2) << option;
      EXPECT_EQ(r.out, "") << option;
      const std::string err = WithoutCarriageReturns(r.err);
      EXPECT_EQ(err.find(c.says), 0u) << err;
      EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
  }
  TempDir other;
  WriteFileBytes(other / "bad.txt", "1 2 3 4 5\r\n");
  const ProcessResult r = RunProcess({BinPath("zeltra-fit"), (other / "bad.txt").string(), "--image", image});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("bad.txt:1: the line holds 5 numbers"), std::string::npos) << r.err;
}
