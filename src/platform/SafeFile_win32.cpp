#include <windows.h>

#include <cstdio>
#include <new>
#include <string>

#include "SafeFile.h"

namespace {

// Writes every byte, continuing after short writes.
DWORD WriteAll(HANDLE h, std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    DWORD chunk = left > (1u << 20) ? (1u << 20) : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(h, p, chunk, &written, nullptr)) return GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    p += written;
    left -= written;
  }
  return 0;
}

}  // namespace

int ReadWholeFile(const std::string& path, std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return ERROR_INVALID_FUNCTION;
  }
  std::string data;
  try {
    LARGE_INTEGER size{};
    if (GetFileSizeEx(h, &size) && size.QuadPart > 0 &&
        static_cast<unsigned long long>(size.QuadPart) < data.max_size())
      data.reserve(static_cast<size_t>(size.QuadPart));
    char buf[65536];
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(h, buf, sizeof buf, &got, nullptr)) {
        DWORD e = GetLastError();
        CloseHandle(h);
        return static_cast<int>(e);
      }
      if (got == 0) break;
      data.append(buf, got);
    }
  } catch (const std::bad_alloc&) {
    CloseHandle(h);
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  CloseHandle(h);
  bytes.swap(data);
  return 0;
}

int WriteFileAtomically(const std::string& path, std::string_view bytes) {
  if (path.empty()) return ERROR_PATH_NOT_FOUND;
  // A folder or a read-only file is not replaced (MoveFileExA itself would refuse
  // a read-only target on Windows, not on every implementation of it).
  DWORD attrs = GetFileAttributesA(path.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES &&
      (attrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
    return ERROR_ACCESS_DENIED;

  // A new, empty temporary file beside the target (its name with a suffix, so in
  // the same folder) that no one else uses.
  static unsigned counter = 0;
  std::string tmp;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    char tag[48];
    std::snprintf(tag, sizeof tag, ".%lu-%u-%lu.tmp", static_cast<unsigned long>(GetCurrentProcessId()),
                  ++counter, static_cast<unsigned long>(GetTickCount()));
    tmp = path + tag;
    h = CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      DWORD e = GetLastError();
      if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) return static_cast<int>(e);
    }
  }
  if (h == INVALID_HANDLE_VALUE) return ERROR_FILE_EXISTS;

  DWORD e = WriteAll(h, bytes);
  if (e == 0 && !FlushFileBuffers(h)) e = GetLastError();
  if (!CloseHandle(h) && e == 0) e = GetLastError();
  if (e == 0 &&
      !MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    e = GetLastError();
  if (e != 0) {
    DeleteFileA(tmp.c_str());
    return static_cast<int>(e);
  }
  return 0;
}

std::string IoErrorText(int code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
      return "File not found";
    case ERROR_PATH_NOT_FOUND:
      return "Path not found";
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return "File access denied";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "Disk full";
    default:
      return "I/O error " + std::to_string(code);
  }
}
