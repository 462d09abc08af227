// zeltra-fit against checked-in calibration files and their expected output, byte
// for byte. In the cross build the same test runs zeltra-fit.exe under Wine: the
// Windows build must print exactly the bytes the Linux build printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "TestSupport.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

fs::path DataDir() { return fs::path(ZELTRA_TEST_DATA) / "fit"; }

std::string WithoutCarriageReturns(std::string s) {
  s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
  return s;
}

}  // namespace

// Every FILE.txt in tests/data/fit has FILE.expected (standard output) and, when
// the fit shows messages, FILE.stderr (its messages; exit status 1).
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
    if (fs::exists(expectedErr)) {
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_EQ(WithoutCarriageReturns(r.err), ReadFileBytes(expectedErr));
    } else {
      EXPECT_EQ(r.exitCode, 0);
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
      EXPECT_EQ(r.exitCode, fs::exists(messages) ? 1 : 0);
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
