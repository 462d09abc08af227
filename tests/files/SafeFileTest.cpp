// Whole-file reads and atomic replacement against the real file system: the old
// file survives every failure byte for byte and no temporary file stays behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "SafeFile.h"
#include "TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "FsFaults_posix.h"
#endif

using testsupport::HexDump;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

const std::string kOld = "1 2 3 4 5 6\r\n0 0 0 77777 77777 77777\r\n";
const std::string kNew = "7 8 9 10 11 12\r\n1 1 1 77777 77777 77777\r\n";

// The names in a folder, sorted.
std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

using Strings = std::vector<std::string>;

TEST(SafeFile, ANewFileGetsExactlyTheBytes) {
  TempDir dir;
  std::string path = (dir / "calib.txt").string();
  ASSERT_EQ(WriteFileAtomically(path, kNew), 0);
  std::string got = ReadFileBytes(path);
  EXPECT_EQ(got, kNew) << HexDump(got);
  EXPECT_EQ(Names(dir.path()), Strings{"calib.txt"});
}

TEST(SafeFile, AnExistingFileIsReplacedWhole) {
  TempDir dir;
  std::string path = (dir / "calib.txt").string();
  WriteFileBytes(path, std::string(100000, 'x'));  // longer than the new content
  ASSERT_EQ(WriteFileAtomically(path, kNew), 0);
  EXPECT_EQ(ReadFileBytes(path), kNew);
  EXPECT_EQ(Names(dir.path()), Strings{"calib.txt"});
}

TEST(SafeFile, EmptyAndLargeContentsRoundTrip) {
  TempDir dir;
  std::string path = (dir / "f.bin").string();
  ASSERT_EQ(WriteFileAtomically(path, ""), 0);
  std::string back = "not cleared";
  ASSERT_EQ(ReadWholeFile(path, back), 0);
  EXPECT_EQ(back, "");
  std::string big(3 * 1024 * 1024 + 17, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 131) >> 3);
  ASSERT_EQ(WriteFileAtomically(path, big), 0);
  ASSERT_EQ(ReadWholeFile(path, back), 0);
  EXPECT_TRUE(back == big);
}

TEST(SafeFile, AMissingFileIsFileNotFound) {
  TempDir dir;
  std::string bytes = "kept";
  int e = ReadWholeFile((dir / "absent.txt").string(), bytes);
  EXPECT_NE(e, 0);
  EXPECT_EQ(IoErrorText(e), "File not found");
  EXPECT_EQ(bytes, "kept");
}

TEST(SafeFile, ErrorTextsOfOtherCodesCarryTheCode) {
  EXPECT_EQ(IoErrorText(12345), "I/O error 12345");
}

TEST(SafeFile, AFolderAsTargetIsRefusedAndLeftAlone) {
  TempDir dir;
  fs::create_directory(dir / "sub");
  WriteFileBytes(dir / "sub" / "inside.txt", kOld);
  int e = WriteFileAtomically((dir / "sub").string(), kNew);
  EXPECT_NE(e, 0);
  EXPECT_EQ(IoErrorText(e), "File access denied");
  EXPECT_TRUE(fs::is_directory(dir / "sub"));
  EXPECT_EQ(ReadFileBytes(dir / "sub" / "inside.txt"), kOld);
  EXPECT_EQ(Names(dir.path()), Strings{"sub"});
  std::string bytes;
  EXPECT_NE(ReadWholeFile((dir / "sub").string(), bytes), 0);
}

#ifndef _WIN32

TEST(SafeFile, ANewFileGetsTheUsualPermissions) {
  TempDir dir;
  mode_t old = ::umask(027);
  int e = WriteFileAtomically((dir / "a.txt").string(), kNew);
  ::umask(old);
  ASSERT_EQ(e, 0);
  struct stat st {};
  ASSERT_EQ(::stat((dir / "a.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);  // 0666 less the umask
}

TEST(SafeFile, AReplacedFileKeepsItsPermissions) {
  TempDir dir;
  std::string path = (dir / "a.txt").string();
  WriteFileBytes(path, kOld);
  ASSERT_EQ(::chmod(path.c_str(), 0604), 0);
  ASSERT_EQ(WriteFileAtomically(path, kNew), 0);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  EXPECT_EQ(ReadFileBytes(path), kNew);
}

// A file marked read-only is not replaced, also for root (who may write any file
// and whose rename would only need the folder's permission).
TEST(SafeFile, AReadOnlyFileIsRefusedAndKeepsItsContent) {
  struct Case {
    mode_t mode;
    bool refused;
  };
  const Case cases[] = {
      {0444, true}, {0400, true}, {0440, true}, {0555, true}, {0000, true},
      {0644, false}, {0600, false}, {0200, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode 0" << std::oct << c.mode);
    TempDir dir;
    std::string path = (dir / "calib.txt").string();
    WriteFileBytes(path, kOld);
    ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
    int e = WriteFileAtomically(path, kNew);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.mode) << "the mode stays";
    ::chmod(path.c_str(), 0600);  // so that the test can read it back
    if (c.refused) {
      EXPECT_EQ(e, EACCES);
      EXPECT_EQ(IoErrorText(e), "File access denied");
      EXPECT_EQ(ReadFileBytes(path), kOld);
    } else {
      EXPECT_EQ(e, 0);
      EXPECT_EQ(ReadFileBytes(path), kNew);
    }
    EXPECT_EQ(Names(dir.path()), Strings{"calib.txt"});
  }
}

TEST(SafeFile, AReadOnlyFileBehindASymlinkIsRefused) {
  TempDir dir;
  WriteFileBytes(dir / "calib.txt", kOld);
  ASSERT_EQ(::chmod((dir / "calib.txt").c_str(), 0444), 0);
  fs::create_symlink("calib.txt", dir / "link.txt");
  EXPECT_EQ(WriteFileAtomically((dir / "link.txt").string(), kNew), EACCES);
  EXPECT_EQ(ReadFileBytes(dir / "calib.txt"), kOld);
  EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
  EXPECT_EQ(Names(dir.path()), (Strings{"calib.txt", "link.txt"}));
  // Once writable again, the same save goes through.
  ASSERT_EQ(::chmod((dir / "calib.txt").c_str(), 0644), 0);
  EXPECT_EQ(WriteFileAtomically((dir / "link.txt").string(), kNew), 0);
  EXPECT_EQ(ReadFileBytes(dir / "calib.txt"), kNew);
}

TEST(SafeFile, ASaveThroughASymlinkReplacesTheLinkedFileAndKeepsTheLink) {
  TempDir dir;
  fs::create_directory(dir / "real");
  WriteFileBytes(dir / "real" / "calib.txt", kOld);
  fs::create_symlink("real/calib.txt", dir / "link.txt");  // relative target
  ASSERT_EQ(WriteFileAtomically((dir / "link.txt").string(), kNew), 0);
  EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
  EXPECT_EQ(ReadFileBytes(dir / "real" / "calib.txt"), kNew);
  EXPECT_EQ(Names(dir / "real"), Strings{"calib.txt"});
  EXPECT_EQ(Names(dir.path()), (Strings{"link.txt", "real"}));
}

TEST(SafeFile, ADanglingSymlinkCreatesItsTarget) {
  TempDir dir;
  fs::create_symlink(dir / "target.txt", dir / "link.txt");
  ASSERT_EQ(WriteFileAtomically((dir / "link.txt").string(), kNew), 0);
  EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
  EXPECT_EQ(ReadFileBytes(dir / "target.txt"), kNew);
}

TEST(SafeFile, ASymlinkLoopIsRefused) {
  TempDir dir;
  fs::create_symlink("b", dir / "a");
  fs::create_symlink("a", dir / "b");
  EXPECT_EQ(WriteFileAtomically((dir / "a").string(), kNew), ELOOP);
  EXPECT_EQ(Names(dir.path()), (Strings{"a", "b"}));
}

TEST(SafeFile, AParentThatIsAFileIsPathNotFound) {
  TempDir dir;
  WriteFileBytes(dir / "plain", kOld);
  int e = WriteFileAtomically((dir / "plain" / "calib.txt").string(), kNew);
  EXPECT_EQ(e, ENOTDIR);
  EXPECT_EQ(IoErrorText(e), "Path not found");
  std::string bytes;
  EXPECT_EQ(ReadWholeFile((dir / "plain" / "calib.txt").string(), bytes), ENOTDIR);
  EXPECT_EQ(ReadFileBytes(dir / "plain"), kOld);
}

TEST(SafeFile, AMissingFolderIsReportedAndNothingIsCreated) {
  TempDir dir;
  int e = WriteFileAtomically((dir / "nofolder" / "calib.txt").string(), kNew);
  EXPECT_EQ(e, ENOENT);
  EXPECT_TRUE(Names(dir.path()).empty());
}

TEST(SafeFile, ADeviceIsNeverReplacedOrRead) {
  TempDir dir;
  std::string dev = (dir / "full").string();
  // A private copy of /dev/full, so that a fault here can never touch the real one.
  if (::mknod(dev.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
    GTEST_SKIP() << "mknod needs privileges: " << std::strerror(errno);
  EXPECT_EQ(WriteFileAtomically(dev, kNew), EINVAL);
  struct stat st {};
  ASSERT_EQ(::lstat(dev.c_str(), &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  EXPECT_EQ(Names(dir.path()), Strings{"full"});
}

TEST(SafeFile, AFifoIsNotReadAndDoesNotBlock) {
  TempDir dir;
  std::string fifo = (dir / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string bytes;
  EXPECT_EQ(ReadWholeFile(fifo, bytes), EINVAL);
}

TEST(SafeFile, AnUnreadableFileIsFileAccessDenied) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  TempDir dir;
  std::string path = (dir / "secret.txt").string();
  WriteFileBytes(path, kOld);
  ::chmod(path.c_str(), 0);
  std::string bytes;
  EXPECT_EQ(IoErrorText(ReadWholeFile(path, bytes)), "File access denied");
}

// A folder the program may not write: permission bits for a user, a read-only
// mount for root (which ignores permission bits).
TEST(SafeFile, AReadOnlyFolderKeepsTheOldFile) {
  TempDir dir;
  std::string folder = (dir / "ro").string();
  fsfaults::TTmpfs mount;
  std::string why;
  if (::geteuid() == 0) {
    if (!mount.Mount(folder, 1 << 20, why)) GTEST_SKIP() << why;
    WriteFileBytes(folder + "/calib.txt", kOld);
    if (!mount.MakeReadOnly(why)) GTEST_SKIP() << why;
  } else {
    fs::create_directory(folder);
    WriteFileBytes(folder + "/calib.txt", kOld);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  }
  int e = WriteFileAtomically(folder + "/calib.txt", kNew);
  EXPECT_EQ(e, ::geteuid() == 0 ? EROFS : EACCES);
  EXPECT_EQ(IoErrorText(e), "File access denied");
  EXPECT_EQ(ReadFileBytes(folder + "/calib.txt"), kOld);
  EXPECT_EQ(Names(folder), Strings{"calib.txt"});
}

TEST(SafeFile, AFullDiskMidWriteKeepsTheOldFile) {
  TempDir dir;
  std::string folder = (dir / "small").string();
  fsfaults::TTmpfs mount;
  std::string why;
  if (!mount.Mount(folder, 64 * 1024, why)) GTEST_SKIP() << why;
  WriteFileBytes(folder + "/calib.txt", kOld);
  // One free page: the new content's first 4096 bytes fit, the rest do not.
  ASSERT_TRUE(fsfaults::FillLeaving(folder, 4096));
  std::string big(3 * 4096, '7');
  int e = WriteFileAtomically(folder + "/calib.txt", big);
  EXPECT_EQ(e, ENOSPC);
  EXPECT_EQ(IoErrorText(e), "Disk full");
  std::string got = ReadFileBytes(folder + "/calib.txt");
  EXPECT_EQ(got, kOld) << HexDump(got);
  EXPECT_EQ(Names(folder), (Strings{"calib.txt", "filler"}));
  // With room again, the same save succeeds.
  fs::remove(folder + "/filler");
  EXPECT_EQ(WriteFileAtomically(folder + "/calib.txt", big), 0);
  EXPECT_EQ(ReadFileBytes(folder + "/calib.txt"), big);
}

#else  // _WIN32

TEST(SafeFileWin32, AMissingFolderIsPathNotFound) {
  TempDir dir;
  std::string bytes;
  int e = ReadWholeFile((dir / "nofolder" / "calib.txt").string(), bytes);
  EXPECT_EQ(e, ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(IoErrorText(e), "Path not found");
  e = WriteFileAtomically((dir / "nofolder" / "calib.txt").string(), kNew);
  EXPECT_EQ(e, ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(Names(dir.path()).empty());
}

TEST(SafeFileWin32, BackslashPathsWork) {
  TempDir dir;
  std::string path = dir.str() + "\\calib.txt";
  ASSERT_EQ(WriteFileAtomically(path, kOld), 0);
  ASSERT_EQ(WriteFileAtomically(path, kNew), 0);
  std::string bytes;
  ASSERT_EQ(ReadWholeFile(path, bytes), 0);
  EXPECT_EQ(bytes, kNew);
  EXPECT_EQ(Names(dir.path()), Strings{"calib.txt"});
}

TEST(SafeFileWin32, AFileOpenedExclusivelyElsewhereKeepsItsContent) {
  TempDir dir;
  std::string path = (dir / "calib.txt").string();
  WriteFileBytes(path, kOld);
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::string bytes;
  EXPECT_EQ(ReadWholeFile(path, bytes), ERROR_SHARING_VIOLATION);
  int e = WriteFileAtomically(path, kNew);
  CloseHandle(h);
  EXPECT_NE(e, 0);
  EXPECT_EQ(ReadFileBytes(path), kOld);
  EXPECT_EQ(Names(dir.path()), Strings{"calib.txt"});
}

TEST(SafeFileWin32, AReadOnlyFileIsNotReplaced) {
  TempDir dir;
  std::string path = (dir / "calib.txt").string();
  WriteFileBytes(path, kOld);
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  int e = WriteFileAtomically(path, kNew);
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(e, ERROR_ACCESS_DENIED);
  EXPECT_EQ(IoErrorText(e), "File access denied");
  EXPECT_EQ(ReadFileBytes(path), kOld);
  EXPECT_EQ(Names(dir.path()), Strings{"calib.txt"});
}

TEST(SafeFileWin32, ErrorTexts) {
  EXPECT_EQ(IoErrorText(ERROR_FILE_NOT_FOUND), "File not found");
  EXPECT_EQ(IoErrorText(ERROR_ACCESS_DENIED), "File access denied");
  EXPECT_EQ(IoErrorText(ERROR_DISK_FULL), "Disk full");
  EXPECT_EQ(IoErrorText(ERROR_HANDLE_DISK_FULL), "Disk full");
  EXPECT_EQ(IoErrorText(ERROR_SHARING_VIOLATION), "I/O error 32");
}

#endif

}  // namespace
