#pragma once
// Real file-system faults for the tests: a tiny tmpfs that fills up, and a folder
// on a read-only mount. Mounts are made in this test process's own mount
// namespace, so no other process ever sees them and they vanish with the process
// even if a test dies. Needs CAP_SYS_ADMIN (root, as in CI); tests skip otherwise.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace fsfaults {

// Enters a private mount namespace once; false with the reason when not permitted.
inline bool PrivateMounts(std::string& why) {
  static int state = 0;  // 0 not tried, 1 done, -1 failed
  static std::string reason;
  if (state == 0) {
    if (::unshare(CLONE_NEWNS) != 0) {
      reason = std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
      state = -1;
    } else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      reason = std::string("mount --make-rprivate /: ") + std::strerror(errno);
      state = -1;
    } else {
      state = 1;
    }
  }
  why = reason;
  return state == 1;
}

// A tmpfs mounted at a folder for the lifetime of the object.
class TTmpfs {
 public:
  TTmpfs() = default;
  TTmpfs(const TTmpfs&) = delete;
  TTmpfs& operator=(const TTmpfs&) = delete;
  ~TTmpfs() {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
  }
  // Mounts a tmpfs of `bytes` at `dir` (created if needed).
  bool Mount(const std::string& dir, long bytes, std::string& why) {
    if (!PrivateMounts(why)) return false;
    ::mkdir(dir.c_str(), 0755);
    std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) != 0) {
      why = std::string("mount -t tmpfs: ") + std::strerror(errno);
      return false;
    }
    dir_ = dir;
    mounted_ = true;
    return true;
  }
  bool MakeReadOnly(std::string& why) {
    if (::mount(nullptr, dir_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
      why = std::string("remount read-only: ") + std::strerror(errno);
      return false;
    }
    return true;
  }

 private:
  std::string dir_;
  bool mounted_ = false;
};

// Fills the file system of `dir` with a file "filler" and then frees `keepBytes`
// of it, so that exactly that much space is left. False when it did not fill.
inline bool FillLeaving(const std::string& dir, long keepBytes) {
  std::string path = dir + "/filler";
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  char block[4096] = {};
  long total = 0;
  for (;;) {
    ssize_t n = ::write(fd, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += n;
  }
  bool full = errno == ENOSPC;
  bool ok = full && total >= keepBytes && ::ftruncate(fd, total - keepBytes) == 0;
  ::close(fd);
  return ok;
}

}  // namespace fsfaults
