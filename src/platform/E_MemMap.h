#pragma once
// The named shared-memory block and named mutex through which Zeltra and the MRI
// viewer exchange the cursor voxel. One header, one backend per platform
// (E_MemMap_win32.cpp: file mapping and mutex; E_MemMap_posix.cpp: a shm_open
// object and an flock()ed lock file that the system releases when its holder dies).
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

// Raised by CheckMapError after a failed creation or mapping of the block.
// Its message is "Memory Mapping Error #<code>" with the system error code.
class EMappingException : public std::runtime_error {
 public:
  explicit EMappingException(uint32_t code);
  uint32_t Code() const { return code_; }

 private:
  uint32_t code_;
};

class TEMemMap {
 public:
  TEMemMap();
  // Releases the lock if held, closes the mutex, unmaps the view and closes the
  // mapping: only what was obtained.
  virtual ~TEMemMap();
  TEMemMap(const TEMemMap&) = delete;
  TEMemMap& operator=(const TEMemMap&) = delete;

  // Creates or opens the named mutex. True when it is there; otherwise records the
  // error and returns false (Lock and Unlock then do nothing). A second call does
  // nothing and returns true.
  bool InitMutex(const std::string& name);
  // Waits without a time-out for the mutex; a mutex whose holder died counts as
  // acquired. Does nothing when already locked (no nesting count) or without mutex.
  void Lock();
  // Waits at most timeoutMs for the mutex (a holder that died counts as released).
  // True when this object holds it then (also when it held it already); false when
  // another holder kept it, or without a mutex.
  bool TryLock(uint32_t timeoutMs);
  // Releases the mutex if this object holds it.
  void Unlock();
  // Records the last system error code; returns false.
  bool RecordError();

  // Maps an existing block of `size` bytes. False when it does not exist (nothing
  // recorded) or cannot be mapped (error recorded).
  virtual bool OpenMap(const std::string& name, int32_t size);
  // Creates (or opens, if it appeared meanwhile) the block and copies `size` bytes
  // from `initial` into it under the mutex. False with the error recorded when the
  // block cannot be created or mapped.
  virtual bool CreateMap(const std::string& name, int32_t size, const void* initial);
  // True when the block mapped by OpenMap or CreateMap is no longer the one the
  // name stands for: another process removed it and made a new one (POSIX shared
  // objects can be; a Windows mapping lives while a handle is open: never there).
  bool Replaced(const std::string& name) const;
  // Raises EMappingException when an error was recorded (and clears it).
  virtual void CheckMapError();

  // The mapped block, or null when there is none.
  void* View() const;
  uint32_t LastError() const;
  int32_t MaxSize() const;
  bool Locked() const;

  struct Private;

 private:
  // What every backend keeps alike; the operating system's handles are in Private.
  void* View_ = nullptr;    // the mapped block
  int32_t MaxSize_ = 0;     // size given to the system at creation
  uint32_t LastError_ = 0;  // last recorded system error code, 0 = none
  bool Locked_ = false;     // this object holds the mutex
  std::unique_ptr<Private> d;
};

// Holds the block's mutex for one scope and releases it on every path.
class TMemMapLocker {
 public:
  explicit TMemMapLocker(TEMemMap& map) : map_(map) { map_.Lock(); }
  ~TMemMapLocker() { map_.Unlock(); }
  TMemMapLocker(const TMemMapLocker&) = delete;
  TMemMapLocker& operator=(const TMemMapLocker&) = delete;

 private:
  TEMemMap& map_;
};
