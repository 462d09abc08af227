// POSIX backend of the shared cursor block: the block is a shm_open object
// ("/KORVANMAP1" is /dev/shm/KORVANMAP1 on Linux) and the mutex an exclusive
// flock() on a lock file of the same name beside it. The kernel drops an flock when
// its holder dies, which is the counterpart of an abandoned Windows mutex; fcntl
// record locks would be dropped whenever the process closes any descriptor of the
// file, and named semaphores are never released after a crash.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <cstring>

#include "E_MemMap.h"

struct TEMemMap::Private {
  int FileHandle = -1;  // backing file; -1 means anonymous shared memory
  int MapHandle = -1;   // the shm object's descriptor
  size_t ViewSize = 0;
  int MutexHandle = -1;  // the lock file's descriptor
};

namespace {

std::string ShmName(const std::string& name) { return "/" + name; }

// The lock file lives beside the shared objects so that it shares their life
// (tmpfs, gone at reboot) and their visibility.
std::string LockPath(const std::string& name) {
  struct stat st {};
  if (stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode)) return "/dev/shm/" + name;
  return "/tmp/" + name;
}

}  // namespace

TEMemMap::TEMemMap() : d(std::make_unique<Private>()) {}

TEMemMap::~TEMemMap() {
  Unlock();
  if (d->MutexHandle >= 0) close(d->MutexHandle);
  if (View_) munmap(View_, d->ViewSize);
  if (d->MapHandle >= 0) close(d->MapHandle);
}

bool TEMemMap::InitMutex(const std::string& name) {
  if (d->MutexHandle < 0) {
    int fd;
    do {
      fd = open(LockPath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    d->MutexHandle = fd;
  }
  return d->MutexHandle >= 0 ? true : RecordError();
}

void TEMemMap::Lock() {
  if (!Locked_ && d->MutexHandle >= 0) {
    while (flock(d->MutexHandle, LOCK_EX) != 0 && errno == EINTR) {
    }
    Locked_ = true;
  }
}

bool TEMemMap::TryLock(uint32_t timeoutMs) {
  if (Locked_) return true;
  if (d->MutexHandle < 0) return false;
  // flock has no time-out: try without blocking, and again after short naps until
  // the time is up.
  struct timespec start {};
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    if (flock(d->MutexHandle, LOCK_EX | LOCK_NB) == 0) return Locked_ = true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const int64_t elapsedUs = (now.tv_sec - start.tv_sec) * 1000000 + (now.tv_nsec - start.tv_nsec) / 1000;
    if (elapsedUs >= static_cast<int64_t>(timeoutMs) * 1000) return false;
    struct timespec nap {0, 200000};  // 0.2 ms
    nanosleep(&nap, nullptr);
  }
}

void TEMemMap::Unlock() {
  if (Locked_ && d->MutexHandle >= 0) {
    flock(d->MutexHandle, LOCK_UN);
    Locked_ = false;
  }
}

bool TEMemMap::Replaced(const std::string& name) const {
  if (d->MapHandle < 0) return false;
  struct stat mine {}, named {};
  if (fstat(d->MapHandle, &mine) != 0) return false;
  int fd = shm_open(ShmName(name).c_str(), O_RDONLY, 0);
  if (fd < 0) return false;  // gone without a successor: keep what we have
  const bool same = fstat(fd, &named) == 0 && named.st_ino == mine.st_ino && named.st_dev == mine.st_dev;
  close(fd);
  return !same;
}

bool TEMemMap::RecordError() {
  LastError_ = static_cast<uint32_t>(errno);
  return false;
}

bool TEMemMap::OpenMap(const std::string& name, int32_t size) {
  View_ = nullptr;
  int fd = shm_open(ShmName(name).c_str(), O_RDWR, 0);
  if (fd < 0) return false;  // not there yet: not an error
  struct stat st {};
  if (size <= 0 || fstat(fd, &st) != 0 || st.st_size < size) {
    // A block shorter than asked for (a creation that died before sizing it) would
    // fault on first access; let the caller create it properly instead.
    close(fd);
    return false;
  }
  d->MapHandle = fd;
  void* view = mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) {
    int err = errno;
    close(d->MapHandle);
    d->MapHandle = -1;
    errno = err;
    RecordError();
    return false;
  }
  View_ = view;
  d->ViewSize = static_cast<size_t>(size);
  return true;
}

bool TEMemMap::CreateMap(const std::string& name, int32_t size, const void* initial) {
  if (MaxSize_ == 0) MaxSize_ = size;
  if (MaxSize_ <= 0 || size <= 0) {
    errno = EINVAL;
    return RecordError();
  }
  int fd = shm_open(ShmName(name).c_str(), O_RDWR | O_CREAT, 0666);
  if (fd < 0) return RecordError();
  d->MapHandle = fd;
  struct stat st {};
  if (fstat(fd, &st) != 0) return RecordError();
  if (st.st_size < MaxSize_) {
    int r;
    do {
      r = ftruncate(fd, MaxSize_);
    } while (r != 0 && errno == EINTR);
    if (r != 0) return RecordError();
  }
  void* view = mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) return RecordError();
  View_ = view;
  d->ViewSize = static_cast<size_t>(size);
  if (d->FileHandle == -1) {
    TMemMapLocker lock(*this);
    std::memcpy(View_, initial, static_cast<size_t>(size));
  }
  return true;
}
