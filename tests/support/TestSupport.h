#pragma once
// Helpers shared by the test groups: temporary folders, child processes started
// from the built tools, environment variables and byte dumps for mismatches.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// A fresh folder below the system's temporary folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Path of a program of the build ("zeltra-cursor" -> <bin>/zeltra-cursor[.exe]).
std::string BinPath(const std::string& program);

void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

// Keeps an environment variable as it was when the scope began.
class ScopedEnv {
 public:
  explicit ScopedEnv(const char* name);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

// A name unique to this test process (for shared objects, links, ...).
std::string UniqueTag(const std::string& prefix);

// Hex dump "0000: 30 20 30 ...  |0 0|" for assertion messages.
std::string HexDump(std::string_view bytes);

std::string ReadFileBytes(const std::filesystem::path& p);
void WriteFileBytes(const std::filesystem::path& p, std::string_view bytes);

struct ProcessResult {
  int exitCode = -1;  // -1 when it did not end by itself (killed on time-out)
  std::string out;
  std::string err;
};

// Runs a program to its end (killing it after `timeout`) and collects its output.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20));

// A program running beside the test; killed when the object goes.
class ChildProcess {
 public:
  ChildProcess() = default;
  explicit ChildProcess(const std::vector<std::string>& argv) { Start(argv); }
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void Start(const std::vector<std::string>& argv);
  bool Running();
  // Ends the program at once (SIGKILL / TerminateProcess).
  void Kill();
  // Asks it to end (SIGTERM; TerminateProcess on Windows) and waits for it.
  int Terminate();
  // Waits for the end; -1 on time-out.
  int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20));
  // Everything it wrote to standard output so far (read without blocking).
  std::string Output();
  // Waits until its output contains `text`; false on time-out.
  bool WaitForOutput(const std::string& text,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10));
  int64_t Pid() const { return pid_; }

 private:
  int64_t pid_ = 0;
  intptr_t handle_ = 0;   // process handle (Windows)
  intptr_t outRead_ = 0;  // read end of the standard output pipe
  std::string out_;
  bool done_ = false;
  int status_ = -1;
};

void SleepMs(int ms);

// Polls `pred` every few milliseconds until it holds or `timeout` passes.
template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    SleepMs(5);
  }
  return pred();
}

}  // namespace testsupport
