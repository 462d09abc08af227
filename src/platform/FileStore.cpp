#include "FileStore.h"

#include "SafeFile.h"

std::string TSafeFileStore::ReadWhole(const std::string& path, std::string& bytes) {
  int err = ReadWholeFile(path, bytes);
  return err ? IoErrorText(err) : std::string();
}

std::string TSafeFileStore::ReplaceWhole(const std::string& path, std::string_view bytes) {
  int err = WriteFileAtomically(path, bytes);
  return err ? IoErrorText(err) : std::string();
}
