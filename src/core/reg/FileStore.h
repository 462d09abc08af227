#pragma once
// Whole-file reads and the whole-file replace that cannot lose the old file, as
// the window's controller uses them for calibration files. The operating system's
// files (src/platform) implement it.
#include <string>
#include <string_view>

class IFileStore {
 public:
  virtual ~IFileStore() = default;
  // Reads the whole file into `bytes`. Empty on success, else the error's text for
  // the standard error box ("File not found", "File access denied", ...); `bytes`
  // is changed only on success.
  virtual std::string ReadWhole(const std::string& path, std::string& bytes) = 0;
  // Replaces the file's content with `bytes` so that on any failure the previous
  // file stays byte for byte. Empty on success, else the error's text.
  virtual std::string ReplaceWhole(const std::string& path, std::string_view bytes) = 0;
};
