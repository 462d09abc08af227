#pragma once
// The shared cursor block as Zeltra and the viewer use it (layout in
// reg/CursorBlock.h): the operating system's block behind the controller's
// ICursorBlock, and the calls the tools and tests use as the viewer does.
#include <array>
#include <memory>
#include <utility>
#include <cstdint>
#include <string>

#include "E_MemMap.h"
#include "Types.h"
#include "reg/CursorBlock.h"

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

// The operating system's block behind the controller's contract. Every access
// waits at most kBlockLockWaitMs for the lock; a holder that keeps it longer
// makes the access Busy instead of stopping the caller.
//
// A viewer that removes the block and makes a new one (POSIX) is followed: about
// once a second an access checks that the name still stands for the mapped block,
// and maps the new one when it does not.
class TSharedCursorBlock : public ICursorBlock {
 public:
  TSharedCursorBlock(std::unique_ptr<TEMemMap> map, TViewerBlockNames names)
      : map_(std::move(map)), names_(std::move(names)) {}
  TBlockAccess ReadCursor(TVoxel& v) override;
  TBlockAccess PublishCursor(const TVoxel& v) override;
  TEMemMap& Map() { return *map_; }
  // Accesses between two checks for a replaced block (the tick's 25 ms: 1 s).
  static constexpr int kReplacedCheckEvery = 40;

 private:
  void FollowReplacement();
  std::unique_ptr<TEMemMap> map_;
  TViewerBlockNames names_;
  int accesses_ = 0;
};

// Opens the named block, or creates it zero-filled (`created` true). Throws
// EMappingException when that fails.
std::unique_ptr<ICursorBlock> OpenCursorBlock(const TViewerBlockNames& names, bool& created);
