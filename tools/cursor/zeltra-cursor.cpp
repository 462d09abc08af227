// zeltra-cursor: a stand-in for the MRI viewer on the shared cursor block.
//   zeltra-cursor get              prints the cursor voxel "X Y Z"
//   zeltra-cursor set X Y Z [--keep SECONDS]
//                                  opens or creates the block and writes the three
//                                  cursor fields under the lock, as the viewer does;
//                                  with --keep it prints "set" and keeps the block
//                                  open (on Windows a block lives only while open)
//   zeltra-cursor dump             prints the 32 words of the block on one line
//   zeltra-cursor watch [--count N]  prints "X Y Z" now and on every change
//   zeltra-cursor hold SECONDS     takes the lock, prints "locked", holds it
// ZELTRA_VIEWER_TAG, when set, is appended to the block's and the mutex's names.
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "ViewerLink.h"

namespace {

std::atomic<bool> stopRequested{false};

void OnSignal(int) { stopRequested = true; }

int Usage() {
  std::fprintf(stderr,
               "usage: zeltra-cursor get | set X Y Z [--keep SECONDS] | dump | watch [--count N] | hold SECONDS\n");
  return 2;
}

bool ParseInt32(const char* text, int32_t& out) {
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < INT32_MIN || v > INT32_MAX) return false;
  out = static_cast<int32_t>(v);
  return true;
}

// Opens the existing block; reports and fails when there is none.
bool OpenExisting(TEMemMap& map, const TViewerBlockNames& names) {
  map.InitMutex(names.mutex);
  if (map.OpenMap(names.map, kSharedBlockSize)) return true;
  if (map.LastError() != 0)
    std::fprintf(stderr, "zeltra-cursor: cannot map %s: Memory Mapping Error #%u\n",
                 names.map.c_str(), map.LastError());
  else
    std::fprintf(stderr, "zeltra-cursor: no shared block %s (start Zeltra or use 'set')\n",
                 names.map.c_str());
  return false;
}

void SleepUntilStopped(int32_t seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!stopRequested && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void PrintVoxel(const TVoxel& v) {
  std::printf("%d %d %d\n", v.x, v.y, v.z);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string cmd = argv[1];
  TViewerBlockNames names = ViewerBlockNames();
  TEMemMap map;
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);

  try {
    if (cmd == "get" && argc == 2) {
      if (!OpenExisting(map, names)) return 1;
      TVoxel v;
      ReadCursorFields(map, v);
      PrintVoxel(v);
      return 0;
    }
    if (cmd == "set" && (argc == 5 || (argc == 7 && std::strcmp(argv[5], "--keep") == 0))) {
      TVoxel v;
      if (!ParseInt32(argv[2], v.x) || !ParseInt32(argv[3], v.y) || !ParseInt32(argv[4], v.z)) {
        std::fprintf(stderr, "zeltra-cursor: X Y Z must be signed 32-bit integers\n");
        return 2;
      }
      int32_t keep = 0;
      if (argc == 7 && (!ParseInt32(argv[6], keep) || keep < 0)) return Usage();
      OpenOrCreateSharedBlock(map, names);
      WriteCursorFields(map, v);
      if (argc == 7) {
        std::printf("set\n");
        std::fflush(stdout);
        SleepUntilStopped(keep);
      }
      return 0;
    }
    if (cmd == "dump" && argc == 2) {
      if (!OpenExisting(map, names)) return 1;
      std::array<int32_t, kSharedBlockWords> words{};
      ReadBlockWords(map, words);
      for (int i = 0; i < kSharedBlockWords; ++i) std::printf(i ? " %d" : "%d", words[i]);
      std::printf("\n");
      return 0;
    }
    if (cmd == "watch" && (argc == 2 || (argc == 4 && std::strcmp(argv[2], "--count") == 0))) {
      int32_t count = -1;
      if (argc == 4 && (!ParseInt32(argv[3], count) || count < 1)) return Usage();
      if (!OpenExisting(map, names)) return 1;
      TVoxel last;
      bool first = true;
      while (!stopRequested && count != 0) {
        TVoxel v;
        ReadCursorFields(map, v);
        if (first || !(v == last)) {
          PrintVoxel(v);
          last = v;
          first = false;
          if (count > 0) --count;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      return 0;
    }
    if (cmd == "hold" && argc == 3) {
      int32_t seconds = 0;
      if (!ParseInt32(argv[2], seconds) || seconds < 0) return Usage();
      if (!map.InitMutex(names.mutex)) {
        std::fprintf(stderr, "zeltra-cursor: cannot open the mutex %s (error %u)\n",
                     names.mutex.c_str(), map.LastError());
        return 1;
      }
      map.Lock();
      std::printf("locked\n");
      std::fflush(stdout);
      SleepUntilStopped(seconds);
      map.Unlock();
      return 0;
    }
  } catch (const EMappingException& e) {
    std::fprintf(stderr, "zeltra-cursor: %s\n", e.what());
    return 1;
  }
  return Usage();
}
