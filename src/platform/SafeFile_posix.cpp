#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <random>
#include <string>

#include "SafeFile.h"

namespace {

int OpenRetry(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

int FsyncRetry(int fd) {
  int rc;
  do {
    rc = ::fsync(fd);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

// Closes fd; 0 or the error. On Linux the descriptor is gone even when close
// reports EINTR, so it is not closed again; the data was already flushed by fsync.
int CloseChecked(int fd) {
  if (::close(fd) != 0 && errno != EINTR) return errno;
  return 0;
}

// Writes every byte, continuing after short writes and interruptions.
int WriteAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    p += n;
    left -= static_cast<size_t>(n);
  }
  return 0;
}

std::string DirName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links from `path` to the file they finally name (which need not
// exist yet), so that a save through a link replaces the linked file and keeps the
// link. 0 or the error (ELOOP for a cycle).
int ResolveLinks(const std::string& path, std::string& resolved) {
  resolved = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(resolved.c_str(), &st) != 0) {
      if (errno == ENOENT) return 0;  // a new file (or a dangling link's target)
      return errno;
    }
    if (!S_ISLNK(st.st_mode)) return 0;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    ssize_t n;
    for (;;) {
      n = ::readlink(resolved.c_str(), target.data(), target.size());
      if (n < 0) return errno;
      if (static_cast<size_t>(n) < target.size()) break;
      target.resize(target.size() * 2);
    }
    target.resize(static_cast<size_t>(n));
    if (target.empty()) return ENOENT;
    if (target[0] == '/')
      resolved = target;
    else
      resolved = DirName(resolved) + "/" + target;
  }
  return ELOOP;
}

// 0, or the error when the file's permission bits forbid writing it. Root may
// write any file, so for root a file is read-only when no one has write permission
// (as chmod a-w marks it); for others the kernel's own check decides (owner, group
// and other bits, and any access control list).
int WriteDenied(const std::string& path, const struct stat& st) {
  if (::geteuid() == 0) return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ? EACCES : 0;
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0) return 0;
  return errno == EACCES || errno == EPERM || errno == EROFS ? errno : 0;
}

// Creates a new, empty temporary file beside `target` that no one else uses.
int CreateTemp(const std::string& target, mode_t mode, std::string& tmpPath, int& fd) {
  std::random_device rd;
  std::string dir = DirName(target);
  std::string base = BaseName(target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    char tag[32];
    std::snprintf(tag, sizeof tag, "%08x", static_cast<unsigned>(rd()));
    tmpPath = dir + "/." + base + "." + tag + ".tmp";
    fd = OpenRetry(tmpPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) return 0;
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

}  // namespace

int ReadWholeFile(const std::string& path, std::string& bytes) {
  // O_NONBLOCK keeps a FIFO from blocking the open; only regular files are read.
  int fd = OpenRetry(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    int e = errno;
    ::close(fd);
    return e;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  }
  std::string data;
  try {
    if (st.st_size > 0) data.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
      ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0) {
        if (errno == EINTR) continue;
        int e = errno;
        ::close(fd);
        return e;
      }
      if (n == 0) break;
      data.append(buf, static_cast<size_t>(n));
    }
  } catch (const std::bad_alloc&) {
    ::close(fd);
    return ENOMEM;
  }
  ::close(fd);
  bytes.swap(data);
  return 0;
}

int WriteFileAtomically(const std::string& path, std::string_view bytes) {
  if (path.empty()) return ENOENT;
  std::string target;
  if (int e = ResolveLinks(path, target)) return e;

  // The new file gets the old one's permission bits (and owner, where allowed);
  // a new file gets 0666 less the umask, as any newly created file.
  struct stat old {};
  bool exists = ::stat(target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) return errno;
  if (exists && S_ISDIR(old.st_mode)) return EISDIR;
  // Never rename over a device, FIFO or socket.
  if (exists && !S_ISREG(old.st_mode)) return EINVAL;
  // The rename needs only the folder's permission: a read-only file is refused here.
  if (exists) {
    if (int e = WriteDenied(target, old)) return e;
  }

  std::string tmp;
  int fd = -1;
  if (int e = CreateTemp(target, 0666, tmp, fd)) return e;
  auto fail = [&](int e) {
    if (fd >= 0) ::close(fd);
    ::unlink(tmp.c_str());
    return e;
  };
  if (exists) {
    // Only root may give the file to another owner; keep at least the group then.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
      // Neither is permitted: the new file is the caller's, as any file it creates.
    }
    if (::fchmod(fd, old.st_mode & 07777) != 0) return fail(errno);
  }
  if (int e = WriteAll(fd, bytes)) return fail(e);
  if (FsyncRetry(fd) != 0) return fail(errno);
  int closeErr = CloseChecked(fd);
  fd = -1;
  if (closeErr != 0) return fail(closeErr);
  if (::rename(tmp.c_str(), target.c_str()) != 0) return fail(errno);

  // Make the rename itself durable. A folder that cannot be opened for reading
  // (write and search permission only) or a file system without folder fsync
  // still has the flushed file in place.
  std::string dir = DirName(target);
  int dfd = OpenRetry(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    int rc = FsyncRetry(dfd);
    int e = rc != 0 ? errno : 0;
    ::close(dfd);
    if (e != 0 && e != EINVAL && e != ENOTSUP && e != EROFS) return e;
  }
  return 0;
}

std::string IoErrorText(int code) {
  switch (code) {
    case ENOENT:
      return "File not found";
    case ENOTDIR:
      return "Path not found";
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return "File access denied";
    case ENOSPC:
    case EDQUOT:
      return "Disk full";
    default:
      return "I/O error " + std::to_string(code);
  }
}
