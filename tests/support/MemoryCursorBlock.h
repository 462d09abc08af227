#pragma once
// The viewer's block in memory, for the controller's tests: it outlives the
// window's block objects as the system's block outlives its users, and a test can
// play the viewer (read and write the words) or a viewer that keeps the lock.
#include <array>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "reg/CursorBlock.h"

struct TMemoryBlock {
  bool exists = false;
  std::array<int32_t, kSharedBlockWords> words{};
  bool held = false;       // another process holds the lock: every access is Busy
  int busyAccesses = 0;    // accesses that found it held
  std::function<void()> onBusy;  // runs at each such access (a real one waits first)
  std::string openError;   // non-empty: opening fails with this text

  TVoxel Cursor() const { return {words[CursorX], words[CursorY], words[CursorZ]}; }
  // The viewer's write: the three cursor fields only.
  void SetCursor(const TVoxel& v) {
    words[CursorX] = v.x;
    words[CursorY] = v.y;
    words[CursorZ] = v.z;
  }
};

class TMemoryCursorBlock : public ICursorBlock {
 public:
  explicit TMemoryCursorBlock(std::shared_ptr<TMemoryBlock> b) : b_(std::move(b)) {}
  TBlockAccess ReadCursor(TVoxel& v) override {
    if (b_->held) return Busy();
    v = b_->Cursor();
    return TBlockAccess::Done;
  }
  TBlockAccess PublishCursor(const TVoxel& v) override {
    if (b_->held) return Busy();
    b_->SetCursor(v);
    b_->words[Aux0] = 2147483647;
    b_->words[Aux1] = 0;
    b_->words[Aux2] = 0;
    return TBlockAccess::Done;
  }

 private:
  TBlockAccess Busy() {
    ++b_->busyAccesses;
    if (b_->onBusy) b_->onBusy();
    return TBlockAccess::Busy;
  }
  std::shared_ptr<TMemoryBlock> b_;
};

// Opens the block in memory, creating it zero-filled the first time.
inline TCursorBlockOpener MemoryBlockOpener(std::shared_ptr<TMemoryBlock> b) {
  return [b](bool& created) -> std::unique_ptr<ICursorBlock> {
    if (!b->openError.empty()) throw std::runtime_error(b->openError);
    created = !b->exists;
    if (created) {
      b->exists = true;
      b->words = {};
    }
    return std::make_unique<TMemoryCursorBlock>(b);
  };
}
