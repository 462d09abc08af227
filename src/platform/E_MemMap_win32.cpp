// Win32 backend of the shared cursor block: a file mapping backed by the paging
// file and a named mutex, as the viewer expects them.
#include <windows.h>

#include <cstring>

#include "E_MemMap.h"

struct TEMemMap::Private {
  HANDLE FileHandle = INVALID_HANDLE_VALUE;  // paging file
  HANDLE MapHandle = nullptr;
  HANDLE MutexHandle = nullptr;
};

TEMemMap::TEMemMap() : d(std::make_unique<Private>()) {}

TEMemMap::~TEMemMap() {
  Unlock();
  if (d->MutexHandle) CloseHandle(d->MutexHandle);
  if (View_) UnmapViewOfFile(View_);
  if (d->MapHandle) CloseHandle(d->MapHandle);
}

bool TEMemMap::InitMutex(const std::string& name) {
  if (!d->MutexHandle) d->MutexHandle = CreateMutexA(nullptr, FALSE, name.c_str());
  return d->MutexHandle ? true : RecordError();
}

void TEMemMap::Lock() {
  if (!Locked_ && d->MutexHandle) {
    // WAIT_ABANDONED (the holder died) also hands the mutex over.
    WaitForSingleObject(d->MutexHandle, INFINITE);
    Locked_ = true;
  }
}

bool TEMemMap::TryLock(uint32_t timeoutMs) {
  if (Locked_) return true;
  if (!d->MutexHandle) return false;
  // WAIT_ABANDONED (the holder died) also hands the mutex over.
  DWORD r = WaitForSingleObject(d->MutexHandle, timeoutMs);
  Locked_ = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
  return Locked_;
}

void TEMemMap::Unlock() {
  if (Locked_ && d->MutexHandle) {
    ReleaseMutex(d->MutexHandle);
    Locked_ = false;
  }
}

bool TEMemMap::Replaced(const std::string&) const { return false; }

bool TEMemMap::RecordError() {
  LastError_ = GetLastError();
  return false;
}

bool TEMemMap::OpenMap(const std::string& name, int32_t size) {
  View_ = nullptr;
  d->MapHandle = OpenFileMappingA(FILE_MAP_WRITE, TRUE, name.c_str());
  if (d->MapHandle) {
    View_ = MapViewOfFile(d->MapHandle, FILE_MAP_WRITE, 0, 0, static_cast<SIZE_T>(size));
    if (!View_) {
      RecordError();
      CloseHandle(d->MapHandle);
      d->MapHandle = nullptr;
    }
  }
  return View_ != nullptr;
}

bool TEMemMap::CreateMap(const std::string& name, int32_t size, const void* initial) {
  if (MaxSize_ == 0) MaxSize_ = size;
  d->MapHandle = CreateFileMappingA(d->FileHandle, nullptr, PAGE_READWRITE, 0,
                                    static_cast<DWORD>(MaxSize_), name.c_str());
  if (d->MapHandle) {
    View_ = MapViewOfFile(d->MapHandle, FILE_MAP_WRITE, 0, 0, static_cast<SIZE_T>(size));
  }
  if (!d->MapHandle || !View_) return RecordError();
  if (d->FileHandle == INVALID_HANDLE_VALUE) {
    TMemMapLocker lock(*this);
    std::memcpy(View_, initial, static_cast<size_t>(size));
  }
  return true;
}
