#include "ViewerLink.h"

#include <cstdlib>
#include <cstring>

namespace {

// The block is little-endian whatever the host's byte order.
void StoreWord(void* view, int index, int32_t value) {
  uint32_t u = static_cast<uint32_t>(value);
  unsigned char bytes[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                            static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
  std::memcpy(static_cast<unsigned char*>(view) + 4 * index, bytes, 4);
}

int32_t LoadWord(const void* view, int index) {
  unsigned char b[4];
  std::memcpy(b, static_cast<const unsigned char*>(view) + 4 * index, 4);
  uint32_t u = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
               static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
  return static_cast<int32_t>(u);
}

}  // namespace

TViewerBlockNames ViewerBlockNames() {
  TViewerBlockNames names{"KORVANMAP1", "KORVANMUTEX1"};
  if (const char* tag = std::getenv("ZELTRA_VIEWER_TAG"); tag && *tag) {
    names.map += tag;
    names.mutex += tag;
  }
  return names;
}

bool OpenOrCreateSharedBlock(TEMemMap& map, const TViewerBlockNames& names) {
  map.InitMutex(names.mutex);
  if (map.OpenMap(names.map, kSharedBlockSize)) return false;
  std::array<unsigned char, kSharedBlockSize> zeros{};
  if (!map.CreateMap(names.map, kSharedBlockSize, zeros.data())) map.CheckMapError();
  return map.View() != nullptr;
}

void PublishCursor(TEMemMap& map, const TVoxel& v) {
  if (!map.View()) return;
  TMemMapLocker lock(map);
  StoreWord(map.View(), CursorX, v.x);
  StoreWord(map.View(), CursorY, v.y);
  StoreWord(map.View(), CursorZ, v.z);
  StoreWord(map.View(), Aux0, 2147483647);
  StoreWord(map.View(), Aux1, 0);
  StoreWord(map.View(), Aux2, 0);
}

void WriteCursorFields(TEMemMap& map, const TVoxel& v) {
  if (!map.View()) return;
  TMemMapLocker lock(map);
  StoreWord(map.View(), CursorX, v.x);
  StoreWord(map.View(), CursorY, v.y);
  StoreWord(map.View(), CursorZ, v.z);
}

bool ReadCursorFields(TEMemMap& map, TVoxel& v) {
  if (!map.View()) return false;
  TMemMapLocker lock(map);
  v.x = LoadWord(map.View(), CursorX);
  v.y = LoadWord(map.View(), CursorY);
  v.z = LoadWord(map.View(), CursorZ);
  return true;
}

bool ReadBlockWords(TEMemMap& map, std::array<int32_t, kSharedBlockWords>& words) {
  if (!map.View()) return false;
  TMemMapLocker lock(map);
  for (int i = 0; i < kSharedBlockWords; ++i) words[i] = LoadWord(map.View(), i);
  return true;
}

namespace {

// Holds the lock for one scope when it was had within the wait.
class TTimedLock {
 public:
  explicit TTimedLock(TEMemMap& map) : map_(map), had_(map.TryLock(kBlockLockWaitMs)) {}
  ~TTimedLock() {
    if (had_) map_.Unlock();
  }
  TTimedLock(const TTimedLock&) = delete;
  TTimedLock& operator=(const TTimedLock&) = delete;
  bool Had() const { return had_; }

 private:
  TEMemMap& map_;
  bool had_;
};

}  // namespace

void TSharedCursorBlock::FollowReplacement() {
  if (++accesses_ < kReplacedCheckEvery) return;
  accesses_ = 0;
  if (!map_->Replaced(names_.map)) return;
  auto fresh = std::make_unique<TEMemMap>();
  fresh->InitMutex(names_.mutex);
  if (fresh->OpenMap(names_.map, kSharedBlockSize)) map_ = std::move(fresh);
}

TBlockAccess TSharedCursorBlock::ReadCursor(TVoxel& v) {
  FollowReplacement();
  if (!map_->View()) return TBlockAccess::NoBlock;
  TTimedLock lock(*map_);
  if (!lock.Had()) return TBlockAccess::Busy;
  v.x = LoadWord(map_->View(), CursorX);
  v.y = LoadWord(map_->View(), CursorY);
  v.z = LoadWord(map_->View(), CursorZ);
  return TBlockAccess::Done;
}

TBlockAccess TSharedCursorBlock::PublishCursor(const TVoxel& v) {
  FollowReplacement();
  if (!map_->View()) return TBlockAccess::NoBlock;
  TTimedLock lock(*map_);
  if (!lock.Had()) return TBlockAccess::Busy;
  StoreWord(map_->View(), CursorX, v.x);
  StoreWord(map_->View(), CursorY, v.y);
  StoreWord(map_->View(), CursorZ, v.z);
  StoreWord(map_->View(), Aux0, 2147483647);
  StoreWord(map_->View(), Aux1, 0);
  StoreWord(map_->View(), Aux2, 0);
  return TBlockAccess::Done;
}

std::unique_ptr<ICursorBlock> OpenCursorBlock(const TViewerBlockNames& names, bool& created) {
  auto map = std::make_unique<TEMemMap>();
  created = OpenOrCreateSharedBlock(*map, names);
  return std::make_unique<TSharedCursorBlock>(std::move(map), names);
}
