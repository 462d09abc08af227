// Win32 backend of the shared cursor block: a file mapping backed by the paging
// file and a named mutex, as the viewer expects them.
#include <windows.h>

#include <cstring>

#include "E_MemMap.h"

struct TEMemMap::Private {
  HANDLE FileHandle = INVALID_HANDLE_VALUE;  // paging file
  HANDLE MapHandle = nullptr;
  void* View = nullptr;
  int32_t MaxSize = 0;
  uint32_t LastError = 0;
  HANDLE MutexHandle = nullptr;
  bool Locked = false;
};

TEMemMap::TEMemMap() : d(std::make_unique<Private>()) {}

TEMemMap::~TEMemMap() {
  Unlock();
  if (d->MutexHandle) CloseHandle(d->MutexHandle);
  if (d->View) UnmapViewOfFile(d->View);
  if (d->MapHandle) CloseHandle(d->MapHandle);
}

bool TEMemMap::InitMutex(const std::string& name) {
  if (!d->MutexHandle) d->MutexHandle = CreateMutexA(nullptr, FALSE, name.c_str());
  return d->MutexHandle ? true : RecordError();
}

void TEMemMap::Lock() {
  if (!d->Locked && d->MutexHandle) {
    // WAIT_ABANDONED (the holder died) also hands the mutex over.
    WaitForSingleObject(d->MutexHandle, INFINITE);
    d->Locked = true;
  }
}

void TEMemMap::Unlock() {
  if (d->Locked && d->MutexHandle) {
    ReleaseMutex(d->MutexHandle);
    d->Locked = false;
  }
}

bool TEMemMap::RecordError() {
  d->LastError = GetLastError();
  return false;
}

bool TEMemMap::OpenMap(const std::string& name, int32_t size) {
  d->View = nullptr;
  d->MapHandle = OpenFileMappingA(FILE_MAP_WRITE, TRUE, name.c_str());
  if (d->MapHandle) {
    d->View = MapViewOfFile(d->MapHandle, FILE_MAP_WRITE, 0, 0, static_cast<SIZE_T>(size));
    if (!d->View) {
      RecordError();
      CloseHandle(d->MapHandle);
      d->MapHandle = nullptr;
    }
  }
  return d->View != nullptr;
}

bool TEMemMap::CreateMap(const std::string& name, int32_t size, const void* initial) {
  if (d->MaxSize == 0) d->MaxSize = size;
  d->MapHandle = CreateFileMappingA(d->FileHandle, nullptr, PAGE_READWRITE, 0,
                                    static_cast<DWORD>(d->MaxSize), name.c_str());
  if (d->MapHandle) {
    d->View = MapViewOfFile(d->MapHandle, FILE_MAP_WRITE, 0, 0, static_cast<SIZE_T>(size));
  }
  if (!d->MapHandle || !d->View) return RecordError();
  if (d->FileHandle == INVALID_HANDLE_VALUE) {
    TMemMapLocker lock(*this);
    std::memcpy(d->View, initial, static_cast<size_t>(size));
  }
  return true;
}

void TEMemMap::CheckMapError() {
  if (d->LastError != 0) {
    Unlock();
    uint32_t code = d->LastError;
    d->LastError = 0;
    throw EMappingException(code);
  }
}

void* TEMemMap::View() const { return d->View; }
uint32_t TEMemMap::LastError() const { return d->LastError; }
int32_t TEMemMap::MaxSize() const { return d->MaxSize; }
bool TEMemMap::Locked() const { return d->Locked; }
