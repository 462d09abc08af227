#include <windows.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "TestSupport.h"

namespace testsupport {

namespace {

std::string CommandLine(const std::vector<std::string>& argv) {
  std::string cmd;
  for (const auto& a : argv) {
    if (!cmd.empty()) cmd += ' ';
    if (a.find_first_of(" \t\"") == std::string::npos && !a.empty()) {
      cmd += a;
    } else {
      cmd += '"';
      for (char c : a) {
        if (c == '"') cmd += '\\';
        cmd += c;
      }
      cmd += '"';
    }
  }
  return cmd;
}

struct Spawned {
  HANDLE process = nullptr;
  DWORD pid = 0;
};

Spawned Spawn(const std::vector<std::string>& argv, HANDLE out, HANDLE err) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = out ? out : GetStdHandle(STD_OUTPUT_HANDLE);
  si.hStdError = err ? err : GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  std::string cmd = CommandLine(argv);
  // Wine, on a loaded machine, now and then fails to start a process that starts
  // at the next try: a failure is said only after the third.
  for (int attempt = 1;; ++attempt) {
    std::string line = cmd;  // CreateProcessA may write into its command line
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) break;
    const DWORD error = GetLastError();
    if (attempt == 3)
      throw std::runtime_error("CreateProcess failed for " + cmd + " (error " + std::to_string(error) + ")");
    Sleep(200);
  }
  CloseHandle(pi.hThread);
  return {pi.hProcess, pi.dwProcessId};
}

void MakePipe(HANDLE& read, HANDLE& write) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  if (!CreatePipe(&read, &write, &sa, 1 << 16)) throw std::runtime_error("CreatePipe failed");
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
}

void DrainAvailable(HANDLE h, std::string& into) {
  for (;;) {
    DWORD avail = 0;
    if (!PeekNamedPipe(h, nullptr, 0, nullptr, &avail, nullptr) || avail == 0) return;
    char buf[4096];
    DWORD got = 0;
    if (!ReadFile(h, buf, avail < sizeof buf ? avail : sizeof buf, &got, nullptr) || got == 0)
      return;
    into.append(buf, got);
  }
}

}  // namespace

void SetEnv(const std::string& name, const std::string& value) {
  _putenv_s(name.c_str(), value.c_str());
  SetEnvironmentVariableA(name.c_str(), value.c_str());
}

void UnsetEnv(const std::string& name) {
  _putenv_s(name.c_str(), "");
  SetEnvironmentVariableA(name.c_str(), nullptr);
}

ProcessResult RunProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
  HANDLE outR, outW, errR, errW;
  MakePipe(outR, outW);
  MakePipe(errR, errW);
  Spawned p = Spawn(argv, outW, errW);
  CloseHandle(outW);
  CloseHandle(errW);
  ProcessResult r;
  auto end = std::chrono::steady_clock::now() + timeout;
  bool finished = false;
  while (std::chrono::steady_clock::now() < end) {
    DrainAvailable(outR, r.out);
    DrainAvailable(errR, r.err);
    if (WaitForSingleObject(p.process, 5) == WAIT_OBJECT_0) {
      finished = true;
      break;
    }
  }
  DrainAvailable(outR, r.out);
  DrainAvailable(errR, r.err);
  if (finished) {
    DWORD code = 0;
    GetExitCodeProcess(p.process, &code);
    r.exitCode = static_cast<int>(code);
  } else {
    TerminateProcess(p.process, 1);
    WaitForSingleObject(p.process, 5000);
  }
  CloseHandle(p.process);
  CloseHandle(outR);
  CloseHandle(errR);
  return r;
}

ChildProcess::~ChildProcess() {
  if (handle_ && !done_) Kill();
  if (handle_) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  if (outRead_) CloseHandle(reinterpret_cast<HANDLE>(outRead_));
}

void ChildProcess::Start(const std::vector<std::string>& argv) {
  HANDLE outR, outW;
  MakePipe(outR, outW);
  Spawned p = Spawn(argv, outW, nullptr);
  CloseHandle(outW);
  handle_ = reinterpret_cast<intptr_t>(p.process);
  pid_ = p.pid;
  outRead_ = reinterpret_cast<intptr_t>(outR);
  done_ = false;
  out_.clear();
}

bool ChildProcess::Running() {
  if (!handle_ || done_) return false;
  if (WaitForSingleObject(reinterpret_cast<HANDLE>(handle_), 0) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(reinterpret_cast<HANDLE>(handle_), &code);
    status_ = static_cast<int>(code);
    done_ = true;
    return false;
  }
  return true;
}

void ChildProcess::Kill() {
  if (!handle_ || done_) return;
  TerminateProcess(reinterpret_cast<HANDLE>(handle_), 137);
  Wait(std::chrono::seconds(5));
}

int ChildProcess::Terminate() {
  Kill();
  return status_;
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
  if (!handle_) return -1;
  if (done_) return status_;
  WaitUntil([&] { return !Running(); }, timeout);
  return done_ ? status_ : -1;
}

std::string ChildProcess::Output() {
  if (outRead_) DrainAvailable(reinterpret_cast<HANDLE>(outRead_), out_);
  return out_;
}

}  // namespace testsupport
