#pragma once
// The operating system's files behind the controller's IFileStore: the safe
// whole-file read and replace of SafeFile.h, with their error texts.
#include "reg/FileStore.h"

class TSafeFileStore : public IFileStore {
 public:
  std::string ReadWhole(const std::string& path, std::string& bytes) override;
  std::string ReplaceWhole(const std::string& path, std::string_view bytes) override;
};
