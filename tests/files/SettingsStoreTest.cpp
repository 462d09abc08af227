// The settings through the real per-user store: the settings file on POSIX (its
// exact bytes, types, escapes, damage and faults), the registry under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "SettingsStore.h"
#include "SettingsTestSupport.h"
#include "TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>

#include "FsFaults_posix.h"
#endif

using testsupport::HexDump;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
namespace fs = std::filesystem;

using settingstest::Changed;
using settingstest::ReadError;
using settingstest::ReadProblems;
using settingstest::Strings;

namespace {

void ExpectState(const TTrackerState& s, const std::string& port, int32_t bps, bool fastrak,
                 bool streaming) {
  EXPECT_EQ(s.PortName, port);
  EXPECT_EQ(s.BPS, bps);
  EXPECT_EQ(s.IsFastrak, fastrak);
  EXPECT_EQ(s.IsStreaming, streaming);
}

#ifndef _WIN32

const std::string kHead =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "[HKEY_CURRENT_USER\\SOFTWARE\\Zeltra]\n";
// The values stored beside the tracker's four, at their defaults, as the exit
// writes them after those.
const std::string kOtherDefaults =
    "\"FlockRange\"=dword:00000024\n"
    "\"FastrakUnit\"=dword:00000000\n"
    "\"CalibFolder\"=\"\"\n"
    "\"IGTLAddress\"=\"127.0.0.1\"\n"
    "\"IGTLPort\"=dword:00004a00\n"
    "\"MRIImage\"=\"\"\n"
    "\"MRIVoxelBase\"=dword:00000001\n";

class SettingsFile : public ::testing::Test {
 protected:
  std::string Path() const { return (dir_ / "config" / "Zeltra" / "settings.reg").string(); }
  std::unique_ptr<ISettingsStore> Store() const { return CreateSettingsStoreAt(Path()); }
  void Put(const std::string& bytes) {
    fs::create_directories(dir_ / "config" / "Zeltra");
    WriteFileBytes(Path(), bytes);
  }
  std::string File() const { return ReadFileBytes(Path()); }
  TempDir dir_;
};

TEST_F(SettingsFile, FirstRunReadsDefaultsAndExitWritesAllFourExactly) {
  TTrackerState s = Changed();
  ReadSettings(*Store(), s);
  ExpectState(s, "", 115200, false, true);
  EXPECT_FALSE(fs::exists(dir_ / "config")) << "reading must create nothing";
  WriteSettings(*Store(), s);
  std::string expected = kHead +
                         "\"PortName\"=\"\"\n"              // REG_SZ, empty
                         "\"BPS\"=dword:0001c200\n"         // 115200
                         "\"IsFastrak\"=dword:00000000\n"   // false
                         "\"IsStreaming\"=dword:00000001\n" +  // true
                         kOtherDefaults + "\n";
  std::string got = File();
  EXPECT_EQ(got, expected) << HexDump(got);
}

TEST_F(SettingsFile, ChangedSettingsAreFoundAtTheNextStart) {
  WriteSettings(*Store(), Changed());
  TTrackerState s;
  ReadSettings(*Store(), s);
  ExpectState(s, "COM9", 9600, true, false);
}

TEST_F(SettingsFile, TheExampleFileReadsWithEitherLineEnd) {
  std::string lf = kHead +
                   "\"PortName\"=\"/dev/ttyUSB0\"\n"
                   "\"BPS\"=dword:0001c200\n"
                   "\"IsFastrak\"=dword:00000000\n"
                   "\"IsStreaming\"=dword:00000001\n";
  for (const std::string& bytes : {lf, std::string("\xEF\xBB\xBF") + lf}) {
    Put(bytes);
    TTrackerState s = Changed();
    ReadSettings(*Store(), s);
    ExpectState(s, "/dev/ttyUSB0", 115200, false, true);
  }
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  Put(crlf);
  TTrackerState s = Changed();
  ReadSettings(*Store(), s);
  ExpectState(s, "/dev/ttyUSB0", 115200, false, true);
}

TEST_F(SettingsFile, QuotesAndBackslashesAreEscapedAsRegeditDoes) {
  TTrackerState s = Changed();
  s.PortName = "C:\\a \"b\"\\";
  WriteSettings(*Store(), s);
  EXPECT_NE(File().find("\"PortName\"=\"C:\\\\a \\\"b\\\"\\\\\"\n"), std::string::npos)
      << File();
  TTrackerState back;
  ReadSettings(*Store(), back);
  EXPECT_EQ(back.PortName, s.PortName);
}

TEST_F(SettingsFile, IsFastrakFiveReadsTrueAndNamesIgnoreCase) {
  Put(kHead + "\"portname\"=\"COM2\"\n\"bps\"=dword:9600\n\"ISFASTRAK\"=dword:00000005\n" +
      "\"IsStreaming\"=dword:0\n");
  TTrackerState s;
  ReadSettings(*Store(), s);
  ExpectState(s, "COM2", 0x9600, true, false);
}

TEST_F(SettingsFile, AValueOfTheWrongTypeIsReportedAsOnWindows) {
  Put(kHead + "\"PortName\"=\"COM2\"\n\"BPS\"=\"115200\"\n\"IsFastrak\"=dword:0\n" +
      "\"IsStreaming\"=dword:1\n");
  TTrackerState s = Changed();
  EXPECT_EQ(ReadError(*Store(), s), "Invalid data type for 'BPS'");
  EXPECT_EQ(s.PortName, "COM2");
  EXPECT_EQ(s.BPS, 115200);
  Put(kHead + "\"PortName\"=dword:00000003\n\"BPS\"=dword:0\n\"IsFastrak\"=dword:0\n" +
      "\"IsStreaming\"=dword:1\n");
  EXPECT_EQ(ReadError(*Store(), s), "Invalid data type for 'PortName'");
  Put(kHead + "\"PortName\"=\"x\"\n\"BPS\"=hex(b):00,c2,01,00,00,00,00,00\n" +
      "\"IsFastrak\"=dword:0\n\"IsStreaming\"=dword:1\n");
  EXPECT_EQ(ReadError(*Store(), s), "Invalid data type for 'BPS'");
}

TEST_F(SettingsFile, OnlyPortNameReportsTheOtherThreeThenTheExitWriteRepairsIt) {
  Put(kHead + "\"PortName\"=\"/dev/ttyS0\"\n");
  TTrackerState s;
  EXPECT_EQ(ReadProblems(*Store(), s),
            (Strings{"Failed to get data for 'BPS'", "Failed to get data for 'IsFastrak'",
                     "Failed to get data for 'IsStreaming'"}));
  ExpectState(s, "/dev/ttyS0", 115200, false, true);
  WriteSettings(*Store(), s);
  TTrackerState next = Changed();
  EXPECT_EQ(ReadProblems(*Store(), next), Strings{});
  ExpectState(next, "/dev/ttyS0", 115200, false, true);
}

TEST_F(SettingsFile, AKeyLineWithoutValuesIsAnExistingEmptyKey) {
  Put(kHead);
  TTrackerState s;
  EXPECT_EQ(ReadProblems(*Store(), s).front(), "Failed to get data for 'BPS'");
  Put("Windows Registry Editor Version 5.00\n");  // no key at all
  ReadSettings(*Store(), s);
  ExpectState(s, "", 115200, false, true);
}

TEST_F(SettingsFile, OtherValuesOfTheKeyAreKept) {
  Put(kHead + "; a comment\n\"Note\"=\"kept\"\n\"Blob\"=hex:01,02,\\\n  03,04\n" +
      "\"BPS\"=dword:00004b00\n");
  WriteSettings(*Store(), Changed());
  std::string expected = kHead +
                         "\"Note\"=\"kept\"\n"
                         "\"Blob\"=hex:01,02,03,04\n"
                         "\"BPS\"=dword:00002580\n"
                         "\"PortName\"=\"COM9\"\n"
                         "\"IsFastrak\"=dword:00000001\n"
                         "\"IsStreaming\"=dword:00000000\n" +
                         kOtherDefaults + "\n";
  EXPECT_EQ(File(), expected) << File();
}

TEST_F(SettingsFile, PointModeSurvivesABadIsFastrakThroughTheExitWrite) {
  Put(kHead + "\"PortName\"=\"/dev/ttyUSB1\"\n\"BPS\"=dword:00009600\n" +
      "\"IsFastrak\"=\"no\"\n\"IsStreaming\"=dword:00000000\n");
  TTrackerState s;
  EXPECT_EQ(ReadError(*Store(), s), "Invalid data type for 'IsFastrak'");
  ExpectState(s, "/dev/ttyUSB1", 0x9600, false, false);
  WriteSettings(*Store(), s);
  EXPECT_EQ(File(), kHead + "\"PortName\"=\"/dev/ttyUSB1\"\n\"BPS\"=dword:00009600\n" +
                        "\"IsFastrak\"=dword:00000000\n\"IsStreaming\"=dword:00000000\n" + kOtherDefaults +
                        "\n");
}

TEST_F(SettingsFile, ARepeatedNameCountsOnceWithItsLastValueInItsFirstPlace) {
  Put(kHead + "\"bps\"=dword:1\n\"Note\"=\"a\"\n\"BPS\"=dword:2\n\"Note\"=\"b\"\n" +
      "\"isfastrak\"=dword:0\n\"IsStreaming\"=dword:1\n");
  TTrackerState s;
  EXPECT_EQ(ReadProblems(*Store(), s), Strings{});
  EXPECT_EQ(s.BPS, 2);
  WriteSettings(*Store(), s);
  EXPECT_EQ(File(), kHead + "\"BPS\"=dword:00000002\n\"Note\"=\"b\"\n" +
                        "\"IsFastrak\"=dword:00000000\n\"IsStreaming\"=dword:00000001\n" +
                        "\"PortName\"=\"\"\n" + kOtherDefaults + "\n");
}

// The store's work is counted in comparisons of names and keywords: a few per line
// when each value is found by an index, about n * n / 2 for a file of n values when
// each line is compared with all the values before it (which took 17 s to start
// and 18 s to exit with 100,000 values).
TEST_F(SettingsFile, AHundredThousandOtherValuesTakeWorkInProportionToTheFile) {
  constexpr uint64_t kNames = 100000;
  std::string others;
  others.reserve(kNames * 32);
  for (uint64_t i = 0; i < kNames; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "\"Other%llu\"=dword:%08llx\n",
                  static_cast<unsigned long long>(i), static_cast<unsigned long long>(i));
    others += line;
  }
  auto file = [&](const std::string& port) {
    return kHead + others + "\"PortName\"=\"" + port + "\"\n\"BPS\"=dword:0000e100\n" +
           "\"IsFastrak\"=dword:00000000\n\"IsStreaming\"=dword:00000000\n" + kOtherDefaults + "\n";
  };
  Put(file("COM5"));

  uint64_t before = SettingsFileComparisons();
  TTrackerState s;
  EXPECT_EQ(ReadProblems(*Store(), s), Strings{});
  uint64_t reading = SettingsFileComparisons() - before;
  ExpectState(s, "COM5", 57600, false, false);

  s.PortName = "COM6";
  before = SettingsFileComparisons();
  WriteSettings(*Store(), s);
  uint64_t writing = SettingsFileComparisons() - before;

  EXPECT_LT(reading, 4 * kNames);
  EXPECT_LT(writing, 4 * kNames);
  std::string got = File();
  EXPECT_TRUE(got == file("COM6")) << "every value kept in its place, the port changed; "
                                   << got.size() << " bytes";
}

TEST_F(SettingsFile, AnUnparsableFileIsReportedKeptAndOnlyReplacedByTheExitValues) {
  std::string damaged = kHead + "\"PortName\"=\"COM2\"\n\"BPS\"=dword:xyz\n";
  Put(damaged);
  TTrackerState s = Changed();
  std::string error = ReadError(*Store(), s);
  EXPECT_NE(error.find(Path()), std::string::npos) << error;
  EXPECT_NE(error.find("line 5"), std::string::npos) << error;
  EXPECT_NE(error.find(Path() + ".bad"), std::string::npos) << error;
  ExpectState(s, "", 115200, false, true);  // nothing was read
  EXPECT_EQ(File(), damaged) << "reading must not change the file";
  EXPECT_EQ(ReadFileBytes(Path() + ".bad"), damaged);

  s.PortName = "COM4";
  WriteSettings(*Store(), s);
  EXPECT_EQ(ReadFileBytes(Path() + ".bad"), damaged);
  TTrackerState next;
  ReadSettings(*Store(), next);
  ExpectState(next, "COM4", 115200, false, true);
}

TEST_F(SettingsFile, MalformedLinesOfEveryKindAreRefused) {
  const char* bad[] = {
      "REGEDIT5\n",                                             // wrong header
      "",                                                       // empty file
      "Windows Registry Editor Version 5.00\n\"BPS\"=dword:1\n",  // value before the key
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\SOFTWARE\\Other]\n",
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\SOFTWARE\\Zeltra\n",
  };
  for (const char* b : bad) {
    Put(b);
    TTrackerState s;
    EXPECT_NE(ReadError(*Store(), s).find("cannot be read"), std::string::npos) << b;
  }
  const char* badLines[] = {
      "\"BPS\"=dword:123456789\n", "\"BPS\"=dword:\n",  "\"BPS\"=dword:12g\n",
      "\"PortName\"=\"COM2\n",     "\"PortName\"=\"a\\b\"\n", "\"PortName\"=\"a\" x\n",
      "PortName=\"COM2\"\n",       "\"BPS\"=\n",         "\"BPS\"=hex:0\n",
      "\"BPS\"=hex:01,\n",         "\"BPS\"=-\n",        "\"BPS\"=qword:1\n",
  };
  for (const char* line : badLines) {
    Put(kHead + line);
    TTrackerState s;
    std::string error = ReadError(*Store(), s);
    EXPECT_NE(error.find("line 4"), std::string::npos) << line << " -> " << error;
  }
}

TEST_F(SettingsFile, ALineEndInThePortNameCannotBeStored) {
  TTrackerState s = Changed();
  s.PortName = "COM1\nBPS";
  try {
    WriteSettings(*Store(), s);
    ADD_FAILURE() << "no error";
  } catch (const ERegistryException& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'PortName'");
  }
}

TEST_F(SettingsFile, AFolderThatCannotBeCreatedStopsTheWriteSilently) {
  WriteFileBytes(dir_ / "config", "a file where the folder should be");
  EXPECT_NO_THROW(WriteSettings(*Store(), Changed()));
  EXPECT_EQ(ReadFileBytes(dir_ / "config"), "a file where the folder should be");
  // Under /proc nobody, not even root, creates folders.
  EXPECT_NO_THROW(WriteSettings(*CreateSettingsStoreAt("/proc/zeltra/Zeltra/settings.reg"),
                                Changed()));
  EXPECT_FALSE(fs::exists("/proc/zeltra"));
}

TEST_F(SettingsFile, AFullDiskAtExitKeepsTheOldFileAndSaysSo) {
  std::string folder = (dir_ / "config").string();
  fsfaults::TTmpfs mount;
  std::string why;
  if (!mount.Mount(folder, 64 * 1024, why)) GTEST_SKIP() << why;
  WriteSettings(*Store(), TTrackerState{});
  std::string old = File();
  ASSERT_TRUE(fsfaults::FillLeaving(folder, 0));
  TTrackerState s = Changed();
  s.PortName = std::string(20000, 'p');  // more than a page: needs new space
  try {
    WriteSettings(*Store(), s);
    ADD_FAILURE() << "no error";
  } catch (const ERegistryException& e) {
    EXPECT_NE(std::string(e.what()).find("Disk full"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(Path()), std::string::npos) << e.what();
  }
  EXPECT_EQ(File(), old);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir_ / "config" / "Zeltra"))
    names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"settings.reg"});
}

TEST(SettingsLocation, FollowsXdgConfigHomeThenHome) {
  testsupport::ScopedEnv xdg("XDG_CONFIG_HOME"), home("HOME");
  testsupport::SetEnv("XDG_CONFIG_HOME", "/srv/cfg");
  testsupport::SetEnv("HOME", "/home/op");
  EXPECT_EQ(UserSettingsLocation(), "/srv/cfg/Zeltra/settings.reg");
  testsupport::SetEnv("XDG_CONFIG_HOME", "relative/cfg");  // ignored: not absolute
  EXPECT_EQ(UserSettingsLocation(), "/home/op/.config/Zeltra/settings.reg");
  testsupport::UnsetEnv("XDG_CONFIG_HOME");
  EXPECT_EQ(UserSettingsLocation(), "/home/op/.config/Zeltra/settings.reg");
  testsupport::UnsetEnv("HOME");
  std::string fromPasswd = UserSettingsLocation();
  EXPECT_EQ(fromPasswd.rfind("/.config/Zeltra/settings.reg"),
            fromPasswd.size() - std::string("/.config/Zeltra/settings.reg").size())
      << fromPasswd;
}

TEST(SettingsLocation, TheUserStoreUsesThatFile) {
  testsupport::ScopedEnv xdg("XDG_CONFIG_HOME");
  TempDir dir;
  testsupport::SetEnv("XDG_CONFIG_HOME", dir.str());
  WriteSettings(*CreateUserSettingsStore(), Changed());
  EXPECT_TRUE(fs::exists(dir / "Zeltra" / "settings.reg"));
  TTrackerState s;
  ReadSettings(*CreateUserSettingsStore(), s);
  ExpectState(s, "COM9", 9600, true, false);
}

#else  // _WIN32

// Runs Wine's reg.exe, an independent reader and writer of the same registry.
std::string Reg(const std::vector<std::string>& args) {
  std::vector<std::string> argv{"reg.exe"};
  argv.insert(argv.end(), args.begin(), args.end());
  testsupport::ProcessResult r = testsupport::RunProcess(argv);
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  std::erase(r.out, '\r');
  return r.out;
}

// The "<name> <type> <data>" lines of `reg query`, blanks collapsed, sorted (the
// order in which the registry enumerates values is its own).
std::vector<std::string> RegQuery(const std::string& key) {
  std::string out = Reg({"query", "HKCU\\" + key});
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < out.size()) {
    size_t end = out.find('\n', pos);
    if (end == std::string::npos) end = out.size();
    std::string line = out.substr(pos, end - pos);
    pos = end + 1;
    if (line.rfind("    ", 0) != 0) continue;  // value lines are indented
    std::string collapsed;
    for (char c : line) {
      if (c == ' ' && (collapsed.empty() || collapsed.back() == ' ')) continue;
      collapsed += c;
    }
    while (!collapsed.empty() && collapsed.back() == ' ') collapsed.pop_back();
    lines.push_back(collapsed);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

bool KeyExists(const std::string& key) {
  HKEY h;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
    return false;
  RegCloseKey(h);
  return true;
}

// A key of its own for one test, removed afterwards.
class RegistrySettings : public ::testing::Test {
 protected:
  void TearDown() override { RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str()); }
  std::unique_ptr<ISettingsStore> Store() { return CreateSettingsStoreAt(key_); }
  void Add(const std::string& name, const std::string& type, const std::string& data) {
    Reg({"add", "HKCU\\" + key_, "/v", name, "/t", type, "/d", data, "/f"});
  }
  std::string key_ = "SOFTWARE\\" + testsupport::UniqueTag("ZeltraTest-");
};

// The registry's listing (sorted by name) of the tracker's values given, with the
// other stored values at their defaults beside them.
std::vector<std::string> WithOtherDefaults(std::vector<std::string> values) {
  for (const char* v : {"CalibFolder REG_SZ", "FastrakUnit REG_DWORD 0x0", "FlockRange REG_DWORD 0x24",
                        "IGTLAddress REG_SZ 127.0.0.1", "IGTLPort REG_DWORD 0x4a00", "MRIImage REG_SZ",
                        "MRIVoxelBase REG_DWORD 0x1"})
    values.push_back(v);
  std::sort(values.begin(), values.end());
  return values;
}

TEST_F(RegistrySettings, FirstRunThenExitWritesFourTypedValues) {
  TTrackerState s = Changed();
  ReadSettings(*Store(), s);
  ExpectState(s, "", 115200, false, true);
  EXPECT_FALSE(KeyExists(key_)) << "reading must create nothing";
  WriteSettings(*Store(), s);
  EXPECT_EQ(RegQuery(key_), WithOtherDefaults({"BPS REG_DWORD 0x1c200", "IsFastrak REG_DWORD 0x0",
                                               "IsStreaming REG_DWORD 0x1", "PortName REG_SZ"}));
}

TEST_F(RegistrySettings, IsFastrakFiveReadsTrue) {
  Add("PortName", "REG_SZ", "COM2");
  Add("BPS", "REG_DWORD", "19200");
  Add("IsFastrak", "REG_DWORD", "5");
  Add("IsStreaming", "REG_DWORD", "0");
  TTrackerState s;
  ReadSettings(*Store(), s);
  ExpectState(s, "COM2", 19200, true, false);
}

TEST_F(RegistrySettings, OnlyPortNameReportsTheOtherThreeThenTheExitWriteRepairsIt) {
  Add("PortName", "REG_SZ", "COM3");
  TTrackerState s;
  EXPECT_EQ(ReadProblems(*Store(), s),
            (Strings{"Failed to get data for 'BPS'", "Failed to get data for 'IsFastrak'",
                     "Failed to get data for 'IsStreaming'"}));
  ExpectState(s, "COM3", 115200, false, true);
  WriteSettings(*Store(), s);
  TTrackerState next = Changed();
  ReadSettings(*Store(), next);
  ExpectState(next, "COM3", 115200, false, true);
}

TEST_F(RegistrySettings, WrongTypesAreInvalidDataType) {
  Add("PortName", "REG_SZ", "COM3");
  Add("IsFastrak", "REG_DWORD", "0");
  Add("IsStreaming", "REG_DWORD", "0");
  Add("BPS", "REG_SZ", "115200");
  TTrackerState s;
  EXPECT_EQ(ReadError(*Store(), s), "Invalid data type for 'BPS'");
  Add("BPS", "REG_BINARY", "00c20100");
  EXPECT_EQ(ReadError(*Store(), s), "Invalid data type for 'BPS'");
  Add("BPS", "REG_DWORD", "57600");
  Add("PortName", "REG_DWORD", "3");
  EXPECT_EQ(ReadError(*Store(), s), "Invalid data type for 'PortName'");
  ExpectState(s, "", 57600, false, false);  // the values after it are read
}

TEST_F(RegistrySettings, PointModeSurvivesABadIsFastrakThroughTheExitWrite) {
  Add("PortName", "REG_SZ", "COM4");
  Add("BPS", "REG_DWORD", "38400");
  Add("IsFastrak", "REG_SZ", "no");
  Add("IsStreaming", "REG_DWORD", "0");
  TTrackerState s;
  EXPECT_EQ(ReadError(*Store(), s), "Invalid data type for 'IsFastrak'");
  ExpectState(s, "COM4", 38400, false, false);
  WriteSettings(*Store(), s);
  EXPECT_EQ(RegQuery(key_), WithOtherDefaults({"BPS REG_DWORD 0x9600", "IsFastrak REG_DWORD 0x0",
                                               "IsStreaming REG_DWORD 0x0", "PortName REG_SZ COM4"}));
}

TEST_F(RegistrySettings, AnExpandableStringIsAPortName) {
  Add("PortName", "REG_EXPAND_SZ", "COM5");
  Add("BPS", "REG_DWORD", "57600");
  Add("IsFastrak", "REG_DWORD", "0");
  Add("IsStreaming", "REG_DWORD", "1");
  TTrackerState s;
  ReadSettings(*Store(), s);
  ExpectState(s, "COM5", 57600, false, true);
}

// The one test on the program's own key, HKCU\SOFTWARE\Zeltra. The cross build's
// Wine prefix belongs to its build folder and no other test uses this key; the
// test still puts back whatever the key held before.
TEST(RegistryUserKey, SettingsRoundTripThroughSoftwareZeltra) {
  struct Saved {
    std::string name;
    DWORD type;
    std::vector<BYTE> data;
  };
  std::vector<Saved> saved;
  bool existed = KeyExists(kSettingsKey);
  if (existed) {
    HKEY h;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &h), ERROR_SUCCESS);
    for (DWORD i = 0;; ++i) {
      char name[256];
      DWORD nameLen = sizeof name, type = 0, size = 4096;
      std::vector<BYTE> data(size);
      if (RegEnumValueA(h, i, name, &nameLen, nullptr, &type, data.data(), &size) !=
          ERROR_SUCCESS)
        break;
      data.resize(size);
      saved.push_back({name, type, data});
    }
    RegCloseKey(h);
    RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
  }

  EXPECT_EQ(UserSettingsLocation(), "SOFTWARE\\Zeltra");
  TTrackerState s = Changed();
  ReadSettings(*CreateUserSettingsStore(), s);
  ExpectState(s, "", 115200, false, true);
  s = Changed();
  WriteSettings(*CreateUserSettingsStore(), s);
  EXPECT_EQ(RegQuery(kSettingsKey), WithOtherDefaults({"BPS REG_DWORD 0x2580", "IsFastrak REG_DWORD 0x1",
                                                       "IsStreaming REG_DWORD 0x0", "PortName REG_SZ COM9"}));
  TTrackerState back;
  ReadSettings(*CreateUserSettingsStore(), back);
  ExpectState(back, "COM9", 9600, true, false);

  RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
  if (existed) {
    HKEY h;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                              &h, nullptr),
              ERROR_SUCCESS);
    for (const auto& v : saved)
      RegSetValueExA(h, v.name.c_str(), 0, v.type, v.data.data(),
                     static_cast<DWORD>(v.data.size()));
    RegCloseKey(h);
  }
}

#endif

}  // namespace
