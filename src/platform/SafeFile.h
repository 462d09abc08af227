#pragma once
// Whole-file reads and writes that never leave a half-written file behind.
#include <string>
#include <string_view>

// Reads the whole file. 0 on success, else the operating system's error code
// (errno on POSIX, GetLastError on Windows); `bytes` is changed only on success.
// Only regular files are read: a folder gives EISDIR, a device, FIFO or socket
// EINVAL on POSIX (without blocking); a non-disk file ERROR_INVALID_FUNCTION on
// Windows.
int ReadWholeFile(const std::string& path, std::string& bytes);

// Replaces the file's content with `bytes`: writes a temporary file in the same
// folder, flushes it to the disk and renames it over the target, so that on any
// failure the previous file stays byte for byte. 0 on success, else the error code.
// On every failure the temporary file is removed again.
//   POSIX: interrupted calls are retried and short writes continued; the file is
//   fsync'ed before the rename and the folder after it. A replaced file keeps its
//   permission bits (and owner and group where permitted); a new one gets 0666 less
//   the umask. A file that its permission bits make read-only gives EACCES and
//   stays as it is (for root: no write bit set at all; otherwise: no write
//   permission for the caller). A path that is a symbolic link (or a chain of them) replaces the
//   file the link names and keeps the link (a dangling link creates its target;
//   a loop gives ELOOP). A hard-linked file gets a new inode: the other names keep
//   the old content. A folder as target gives EISDIR, a device, FIFO or socket
//   EINVAL: nothing is ever renamed over them.
//   Windows: CreateFileA / WriteFile, FlushFileBuffers, then MoveFileExA with
//   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH. A folder or a read-only
//   file as target gives ERROR_ACCESS_DENIED.
int WriteFileAtomically(const std::string& path, std::string_view bytes);

// The text shown for an error code of the two calls above: "File not found",
// "Path not found" (POSIX ENOTDIR, Windows ERROR_PATH_NOT_FOUND), "File access
// denied" (also a read-only file system, or a folder where a file should be),
// "Disk full" (also an exhausted quota), otherwise "I/O error <code>". The texts
// have no closing full stop: the standard error box adds it.
std::string IoErrorText(int code);
