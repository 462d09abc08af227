#include "EmulatorHarness.h"

#include <fcntl.h>
#include <unistd.h>

#include <sstream>

namespace trackertest {

TEmulator::TEmulator(const std::vector<std::string>& extra, bool registerPort) {
  std::vector<std::string> argv = {testsupport::BinPath("zeltra-trackersim"), "--link", Port(),
                                   "--control", (dir_ / "control").string(),
                                   "--log", (dir_ / "log").string()};
  if (!registerPort) argv.push_back("--no-register");
  argv.insert(argv.end(), extra.begin(), extra.end());
  process_.Start(argv);
  ready_ = process_.WaitForOutput("ready ");
}

TEmulator::~TEmulator() {
  if (process_.Running()) process_.Terminate();
}

int TEmulator::CountOutput(const std::string& text) {
  const std::string out = process_.Output();
  int n = 0;
  for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1)) ++n;
  return n;
}

bool TEmulator::WaitForOutput(const std::string& text, int times, std::chrono::milliseconds timeout) {
  return testsupport::WaitUntil([&] { return CountOutput(text) >= times; }, timeout);
}

bool TEmulator::Command(const std::string& line) {
  const std::string ack = "ok " + line + "\n";
  const std::string refused = "error " + line + "\n";
  const int before = CountOutput(ack);
  const int refusedBefore = CountOutput(refused);
  // Non-blocking: a FIFO without its reader fails at once instead of hanging.
  const int fd = open((dir_ / "control").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const std::string text = line + "\n";
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  if (!written) return false;
  testsupport::WaitUntil(
      [&] { return CountOutput(ack) > before || CountOutput(refused) > refusedBefore; },
      std::chrono::seconds(5));
  return CountOutput(ack) > before;
}

std::string TEmulator::Received() const {
  std::istringstream in(testsupport::ReadFileBytes(dir_ / "log"));
  std::string bytes;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("rx ", 0) != 0) continue;
    std::istringstream hex(line.substr(3));
    for (std::string h; hex >> h;) bytes += static_cast<char>(std::stoi(h, nullptr, 16));
  }
  return bytes;
}

TProgram::TProgram(const std::string& portName, bool fastrak, bool streaming, int32_t bps)
    : link(state, reading, clock, messages, host) {
  state.PortName = portName;
  state.BPS = bps;
  state.IsFastrak = fastrak;
  state.IsStreaming = streaming;
  link.SetPort(&port);
}

}  // namespace trackertest
