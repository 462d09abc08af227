#include "TestSupport.h"

#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testsupport {

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = std::filesystem::temp_directory_path() /
                     ("zeltra-test-" + std::to_string(rd()) + "-" + std::to_string(attempt));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  // Folders a test made read-only must become writable again to be removed.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string BinPath(const std::string& program) {
#ifdef _WIN32
  return std::string(ZELTRA_BIN_DIR) + "/" + program + ".exe";
#else
  return std::string(ZELTRA_BIN_DIR) + "/" + program;
#endif
}

std::string UniqueTag(const std::string& prefix) {
  static std::atomic<int> counter{0};
  std::random_device rd;
  return prefix + std::to_string(rd() % 1000000) + "-" + std::to_string(counter++);
}

std::string HexDump(std::string_view bytes) {
  std::ostringstream os;
  for (size_t row = 0; row < bytes.size(); row += 16) {
    char head[32];
    std::snprintf(head, sizeof head, "%04zx:", row);
    os << head;
    std::string ascii;
    for (size_t i = row; i < row + 16; ++i) {
      if (i < bytes.size()) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        char hex[8];
        std::snprintf(hex, sizeof hex, " %02x", c);
        os << hex;
        ascii += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '.';
      } else {
        os << "   ";
      }
    }
    os << "  |" << ascii << "|\n";
  }
  return os.str();
}

std::string ReadFileBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream os;
  os << in.rdbuf();
  return os.str();
}

void WriteFileBytes(const std::filesystem::path& p, std::string_view bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

ScopedEnv::ScopedEnv(const char* name) : name_(name) {
  if (const char* v = std::getenv(name)) {
    had_ = true;
    old_ = v;
  }
}

ScopedEnv::~ScopedEnv() {
  if (had_)
    SetEnv(name_, old_);
  else
    UnsetEnv(name_);
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool ChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
  return WaitUntil([&] { return Output().find(text) != std::string::npos; }, timeout);
}

}  // namespace testsupport
