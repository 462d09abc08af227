// The shared cursor block between two processes: the test plays Zeltra with
// TEMemMap, zeltra-cursor plays the viewer. Every test uses its own block name
// (ZELTRA_VIEWER_TAG), so the tests may run in parallel and beside a real viewer.
#include <gtest/gtest.h>

#include <array>
#include <future>
#include <sstream>
#include <thread>

#include "TestSupport.h"
#include "ViewerLink.h"

using namespace testsupport;
using namespace std::chrono_literals;

namespace {

class ViewerLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnv("ZELTRA_VIEWER_TAG", UniqueTag("-test-"));
    names_ = ViewerBlockNames();
  }
  void TearDown() override {
    RemoveSharedBlock(names_);
    UnsetEnv("ZELTRA_VIEWER_TAG");
  }

  // Runs zeltra-cursor; its output with Windows line ends turned into "\n".
  ProcessResult Cursor(std::vector<std::string> args, std::chrono::milliseconds timeout = 20s) {
    args.insert(args.begin(), BinPath("zeltra-cursor"));
    ProcessResult r = RunProcess(args, timeout);
    std::erase(r.out, '\r');
    return r;
  }

  std::vector<int64_t> DumpWords() {
    ProcessResult r = Cursor({"dump"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::istringstream in(r.out);
    std::vector<int64_t> words;
    for (int64_t w; in >> w;) words.push_back(w);
    return words;
  }

  TViewerBlockNames names_;
};

std::vector<int64_t> Expected(std::initializer_list<int64_t> head) {
  std::vector<int64_t> w(32, 0);
  std::copy(head.begin(), head.end(), w.begin());
  return w;
}

TEST_F(ViewerLinkTest, ZeltraFirstCreatesTheBlockWithTheCursorAtOne) {
  TEMemMap map;
  ASSERT_TRUE(OpenOrCreateSharedBlock(map, names_));
  PublishCursor(map, {1, 1, 1});
  // x, y, z, Aux0 = the largest int32, Aux1, Aux2, then 26 zero words.
  EXPECT_EQ(DumpWords(), Expected({1, 1, 1, 2147483647, 0, 0}));
  EXPECT_FALSE(map.Locked());
}

TEST_F(ViewerLinkTest, ViewerFirstBlockIsOpenedAndLeftUntouched) {
  ChildProcess viewer({BinPath("zeltra-cursor"), "set", "5", "-6", "7", "--keep", "30"});
  ASSERT_TRUE(viewer.WaitForOutput("set"));
  TEMemMap map;
  EXPECT_FALSE(OpenOrCreateSharedBlock(map, names_)) << "an existing block is opened, not created";
  EXPECT_EQ(DumpWords(), Expected({5, -6, 7}));
  TVoxel v;
  ASSERT_TRUE(ReadCursorFields(map, v));
  EXPECT_EQ(v, (TVoxel{5, -6, 7}));
}

TEST_F(ViewerLinkTest, ViewerWritesOnlyTheCursorFieldsAndZeltraSeesThem) {
  TEMemMap map;
  ASSERT_TRUE(OpenOrCreateSharedBlock(map, names_));
  PublishCursor(map, {1, 1, 1});
  ProcessResult r = Cursor({"set", "-2147483648", "0", "2147483647"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(DumpWords(), Expected({-2147483648LL, 0, 2147483647, 2147483647, 0, 0}));
  TVoxel v;
  ASSERT_TRUE(ReadCursorFields(map, v));
  EXPECT_EQ(v, (TVoxel{INT32_MIN, 0, INT32_MAX}));
}

TEST_F(ViewerLinkTest, PublishedVoxelReachesTheViewer) {
  TEMemMap map;
  ASSERT_TRUE(OpenOrCreateSharedBlock(map, names_));
  PublishCursor(map, {-3, 0, 120});
  ProcessResult r = Cursor({"get"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "-3 0 120\n");
}

TEST_F(ViewerLinkTest, ViewerToolReportsAMissingBlockAndBadArguments) {
  ProcessResult r = Cursor({"get"});
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.err.find("no shared block"), std::string::npos) << r.err;
  EXPECT_TRUE(r.out.empty());
  r = Cursor({"set", "1", "2", "2147483648"});
  EXPECT_NE(r.exitCode, 0);
  EXPECT_FALSE(r.err.empty());
  r = Cursor({"frobnicate"});
  EXPECT_NE(r.exitCode, 0);
}

TEST_F(ViewerLinkTest, HolderKilledWhileLockedDoesNotStallTheOtherSide) {
  TEMemMap map;
  ASSERT_TRUE(OpenOrCreateSharedBlock(map, names_));
  PublishCursor(map, {4, 5, 6});

  ChildProcess holder({BinPath("zeltra-cursor"), "hold", "120"});
  ASSERT_TRUE(holder.WaitForOutput("locked"));
  // While the viewer holds the mutex, a reader waits for it.
  auto blocked = std::async(std::launch::async, [&] {
    TVoxel v;
    ReadCursorFields(map, v);
    return v;
  });
  EXPECT_EQ(blocked.wait_for(300ms), std::future_status::timeout) << "the lock did not exclude";
  holder.Kill();
  // The system hands the dead holder's mutex over.
  ASSERT_EQ(blocked.wait_for(10s), std::future_status::ready) << "stalled after the holder died";
  EXPECT_EQ(blocked.get(), (TVoxel{4, 5, 6}));
  EXPECT_FALSE(map.Locked());
  ProcessResult r = Cursor({"get"}, 10s);
  EXPECT_EQ(r.out, "4 5 6\n");
}

TEST_F(ViewerLinkTest, ControllersBlockGivesUpOnAHeldLockAndLeavesTheTripleWhole) {
  bool created = false;
  std::unique_ptr<ICursorBlock> block = OpenCursorBlock(names_, created);
  ASSERT_TRUE(created);
  ASSERT_EQ(block->PublishCursor({4, 5, 6}), TBlockAccess::Done);

  ChildProcess holder({BinPath("zeltra-cursor"), "hold", "120"});
  ASSERT_TRUE(holder.WaitForOutput("locked"));
  // Every access returns at once instead of waiting for the holder, and
  // changes nothing: neither a half-written triple nor a partial read.
  for (int i = 0; i < 20; ++i) {
    TVoxel v{-1, -1, -1};
    EXPECT_EQ(block->ReadCursor(v), TBlockAccess::Busy);
    EXPECT_EQ(v, (TVoxel{-1, -1, -1}));
    EXPECT_EQ(block->PublishCursor({7, 8, 9}), TBlockAccess::Busy);
  }
  holder.Kill();
  // The system hands the dead holder's lock over (Wine's server a little later).
  TVoxel v;
  TBlockAccess access = TBlockAccess::Busy;
  for (int i = 0; i < 500 && access == TBlockAccess::Busy; ++i) {
    access = block->ReadCursor(v);
    if (access == TBlockAccess::Busy) std::this_thread::sleep_for(10ms);
  }
  ASSERT_EQ(access, TBlockAccess::Done);
  EXPECT_EQ(v, (TVoxel{4, 5, 6}));
  EXPECT_EQ(block->PublishCursor({7, 8, 9}), TBlockAccess::Done);
  EXPECT_EQ(DumpWords(), Expected({7, 8, 9, 2147483647}));
}

#ifndef _WIN32
TEST_F(ViewerLinkTest, ABlockTheViewerRemovedAndMadeAgainIsFoundAgain) {
  bool created = false;
  std::unique_ptr<ICursorBlock> block = OpenCursorBlock(names_, created);
  ASSERT_EQ(block->PublishCursor({4, 5, 6}), TBlockAccess::Done);
  // The viewer removes the block and makes a new one with its own cursor.
  TViewerBlockNames mapOnly = names_;
  mapOnly.mutex = "unused-" + names_.mutex;
  RemoveSharedBlock(mapOnly);
  ASSERT_EQ(Cursor({"set", "7", "8", "9"}).exitCode, 0);
  TVoxel v;
  for (int i = 0; i < TSharedCursorBlock::kReplacedCheckEvery; ++i) ASSERT_EQ(block->ReadCursor(v), TBlockAccess::Done);
  EXPECT_EQ(v, (TVoxel{7, 8, 9}));
  ASSERT_EQ(block->PublishCursor({1, 2, 3}), TBlockAccess::Done);
  EXPECT_EQ(Cursor({"get"}).out, "1 2 3\n");
}
#endif

TEST_F(ViewerLinkTest, LockTwiceThenUnlockOnceLeavesTheMutexReleased) {
  TEMemMap map;
  ASSERT_TRUE(OpenOrCreateSharedBlock(map, names_));
  PublishCursor(map, {7, 8, 9});
  map.Lock();
  map.Lock();
  EXPECT_TRUE(map.Locked());
  map.Unlock();
  EXPECT_FALSE(map.Locked());
  ProcessResult r = Cursor({"get"}, 10s);
  EXPECT_EQ(r.exitCode, 0) << "the viewer could not take the mutex";
  EXPECT_EQ(r.out, "7 8 9\n");
}

TEST_F(ViewerLinkTest, FailedCreationRaisesAndLaterAccessDoesNothing) {
  // A name the system refuses (a namespace that does not exist / a slash inside).
  TViewerBlockNames bad{"no\\such/namespace" + names_.map, names_.mutex};
  TEMemMap map;
  try {
    OpenOrCreateSharedBlock(map, bad);
    FAIL() << "no EMappingException";
  } catch (const EMappingException& e) {
    EXPECT_NE(e.Code(), 0u);
    EXPECT_EQ(std::string(e.what()), "Memory Mapping Error #" + std::to_string(e.Code()));
  }
  EXPECT_EQ(map.LastError(), 0u) << "the error is taken by the exception";
  EXPECT_EQ(map.View(), nullptr);
  EXPECT_FALSE(map.Locked());
  PublishCursor(map, {1, 2, 3});
  TVoxel v{9, 9, 9};
  EXPECT_FALSE(ReadCursorFields(map, v));
  EXPECT_EQ(v, (TVoxel{9, 9, 9}));
}

TEST_F(ViewerLinkTest, SecondInitMutexDoesNothing) {
  TEMemMap map;
  EXPECT_TRUE(map.InitMutex(names_.mutex));
  EXPECT_TRUE(map.InitMutex("another"));
  map.Lock();
  EXPECT_TRUE(map.Locked());
  map.Unlock();
}

TEST_F(ViewerLinkTest, CreateMapRecordsItsSizeOnce) {
  TEMemMap map;
  map.InitMutex(names_.mutex);
  std::array<unsigned char, kSharedBlockSize> pattern{};
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<unsigned char>(i);
  ASSERT_TRUE(map.CreateMap(names_.map, kSharedBlockSize, pattern.data()));
  EXPECT_EQ(map.MaxSize(), kSharedBlockSize);
  std::array<int32_t, kSharedBlockWords> words{};
  ASSERT_TRUE(ReadBlockWords(map, words));
  EXPECT_EQ(words[0], 0x03020100);  // little-endian bytes 0, 1, 2, 3
  EXPECT_EQ(words[31], static_cast<int32_t>(0x7f7e7d7c));
}

}  // namespace

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// POSIX shared objects outlive their users: a block left by a run that crashed is
// opened as it stands, and one left empty by a creation that died before sizing it
// is created properly instead of faulting on first access.
TEST_F(ViewerLinkTest, LeftoverBlocksOfCrashedRuns) {
  ASSERT_EQ(Cursor({"set", "11", "12", "13"}).exitCode, 0);  // the process is gone now
  {
    TEMemMap map;
    EXPECT_FALSE(OpenOrCreateSharedBlock(map, names_));
    TVoxel v;
    ASSERT_TRUE(ReadCursorFields(map, v));
    EXPECT_EQ(v, (TVoxel{11, 12, 13}));
  }
  RemoveSharedBlock(names_);
  int fd = shm_open(("/" + names_.map).c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  close(fd);
  TEMemMap map;
  EXPECT_TRUE(OpenOrCreateSharedBlock(map, names_));
  EXPECT_EQ(DumpWords(), Expected({}));
}

}  // namespace
#endif
