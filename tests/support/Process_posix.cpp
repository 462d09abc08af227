#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "TestSupport.h"

namespace testsupport {

namespace {

pid_t Spawn(const std::vector<std::string>& argv, int outFd, int errFd) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (outFd >= 0) dup2(outFd, 1);
    if (errFd >= 0) dup2(errFd, 2);
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, 0);
    for (int fd = 3; fd < 256; ++fd) close(fd);
    execvp(args[0], args.data());
    _exit(127);
  }
  return pid;
}

int DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

void Drain(int fd, std::string& into) {
  char buf[4096];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      into.append(buf, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    break;
  }
}

}  // namespace

void SetEnv(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

void UnsetEnv(const std::string& name) { unsetenv(name.c_str()); }

ProcessResult RunProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  pid_t pid = Spawn(argv, out[1], err[1]);
  close(out[1]);
  close(err[1]);
  fcntl(out[0], F_SETFL, O_NONBLOCK);
  fcntl(err[0], F_SETFL, O_NONBLOCK);
  ProcessResult r;
  auto end = std::chrono::steady_clock::now() + timeout;
  bool outOpen = true, errOpen = true;
  while (outOpen || errOpen) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int n = poll(fds, 2, static_cast<int>(left.count()));
    if (n < 0 && errno == EINTR) continue;
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buf[4096];
      ssize_t got = read(fds[i].fd, buf, sizeof buf);
      if (got > 0) {
        (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(got));
      } else if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
        (i == 0 ? outOpen : errOpen) = false;
      }
    }
  }
  int status = 0;
  if (outOpen || errOpen) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    r.exitCode = -1;
  } else {
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.exitCode = DecodeStatus(status);
  }
  close(out[0]);
  close(err[0]);
  return r;
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !done_) Kill();
  if (outRead_ > 0) close(static_cast<int>(outRead_));
}

void ChildProcess::Start(const std::vector<std::string>& argv) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_ = Spawn(argv, out[1], -1);
  close(out[1]);
  fcntl(out[0], F_SETFL, O_NONBLOCK);
  outRead_ = out[0];
  done_ = false;
  out_.clear();
}

bool ChildProcess::Running() {
  if (pid_ <= 0 || done_) return false;
  int status = 0;
  pid_t r = waitpid(static_cast<pid_t>(pid_), &status, WNOHANG);
  if (r == static_cast<pid_t>(pid_)) {
    done_ = true;
    status_ = DecodeStatus(status);
    return false;
  }
  return true;
}

void ChildProcess::Kill() {
  if (pid_ <= 0 || done_) return;
  kill(static_cast<pid_t>(pid_), SIGKILL);
  Wait(std::chrono::seconds(5));
}

int ChildProcess::Terminate() {
  if (pid_ <= 0) return -1;
  if (done_) return status_;
  kill(static_cast<pid_t>(pid_), SIGTERM);
  return Wait(std::chrono::seconds(10));
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return -1;
  if (done_) return status_;
  WaitUntil([&] { return !Running(); }, timeout);
  return done_ ? status_ : -1;
}

std::string ChildProcess::Output() {
  if (outRead_ > 0) Drain(static_cast<int>(outRead_), out_);
  return out_;
}

}  // namespace testsupport
