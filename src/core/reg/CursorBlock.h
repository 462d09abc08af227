#pragma once
// The viewer's cursor block as the window's controller sees it: the cursor voxel,
// read and written whole under the block's lock. The operating system's block
// (src/platform/ViewerLink) and the tests' block in memory implement it.
#include <cstdint>
#include <functional>
#include <memory>

#include "Types.h"

// The block's layout, shared with the viewer: 128 bytes, 32 signed 32-bit
// little-endian integers; the first three are the cursor voxel.
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

// How one access to the block went.
enum class TBlockAccess {
  Done,     // read or written whole under the lock
  NoBlock,  // there is no block: nothing read or written
  Busy,     // another process held the lock past the short wait: nothing read or written
};

// How long one access waits for the lock before it gives up with Busy. The tick
// runs every 25 ms; a viewer holds the lock only for a copy of a few words.
constexpr uint32_t kBlockLockWaitMs = 3;

class ICursorBlock {
 public:
  virtual ~ICursorBlock() = default;
  // The three cursor fields, read under the lock; v is changed only when Done.
  virtual TBlockAccess ReadCursor(TVoxel& v) = 0;
  // Zeltra's publish: the cursor voxel and the three fields after it (2147483647,
  // 0, 0), written under the lock.
  virtual TBlockAccess PublishCursor(const TVoxel& v) = 0;
};

// Opens the viewer's block, or creates it zero-filled when it does not exist yet
// (`created` then true). Throws std::runtime_error with the text for the standard
// error box when the block can be neither opened nor created.
using TCursorBlockOpener = std::function<std::unique_ptr<ICursorBlock>(bool& created)>;
