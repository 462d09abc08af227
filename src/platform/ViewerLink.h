#pragma once
// The shared cursor block as Zeltra and the viewer use it: 128 bytes, 32 signed
// 32-bit little-endian integers; the first three are the cursor voxel.
#include <array>
#include <cstdint>
#include <string>

#include "E_MemMap.h"
#include "Types.h"

constexpr int32_t kSharedBlockSize = 128;
constexpr int kSharedBlockWords = 32;

// Word indices of the block.
enum TSharedCursorField : int {
  CursorX = 0,
  CursorY = 1,
  CursorZ = 2,
  Aux0 = 3,  // always written as 2147483647
  Aux1 = 4,  // always written as 0
  Aux2 = 5,  // always written as 0
};

struct TViewerBlockNames {
  std::string map;    // "KORVANMAP1"
  std::string mutex;  // "KORVANMUTEX1"
};

// The names the viewer uses. When the environment variable ZELTRA_VIEWER_TAG is set
// its value is appended to both, so that tests and demos can run a private block
// beside a real viewer.
TViewerBlockNames ViewerBlockNames();

// Opens the block, or creates it zero-filled when it does not exist yet. Returns
// true when it created it. Raises EMappingException when creating it failed; the
// map then has no view and the calls below do nothing.
bool OpenOrCreateSharedBlock(TEMemMap& map, const TViewerBlockNames& names);

// Zeltra's publish: the cursor voxel and the three fields after it (2147483647, 0, 0),
// under the mutex. Does nothing without a view.
void PublishCursor(TEMemMap& map, const TVoxel& v);
// The viewer's write: the three cursor fields only, under the mutex.
void WriteCursorFields(TEMemMap& map, const TVoxel& v);
// The three cursor fields, read under the mutex. False (v unchanged) without a view.
bool ReadCursorFields(TEMemMap& map, TVoxel& v);
// All 32 words, read under the mutex. False without a view.
bool ReadBlockWords(TEMemMap& map, std::array<int32_t, kSharedBlockWords>& words);

// Removes the named block and lock from the system once nobody uses them (POSIX
// shared objects outlive their users; Windows removes them with the last handle,
// so there this does nothing). For tests and for cleaning up after a demo.
void RemoveSharedBlock(const TViewerBlockNames& names);
