// zeltra-trackersim: a Flock of Birds / miniBIRD or Fastrak tracker on a
// pseudo-terminal, for tests, demonstrations and work without hardware.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Device.h"
#include "Pty.h"
#include "Replay.h"
#include "SerialCapture.h"
#include "SerialPorts.h"

namespace {

const char kUsage[] =
    "usage: zeltra-trackersim [options]\n"
    "  --model flock|minibird|fastrak  device to emulate (default flock)\n"
    "  --speed BPS          the device's own line speed (default 115200); when the\n"
    "                       program sets another speed the device answers garbage\n"
    "  --stream-rate HZ     records per second in stream / continuous mode (default 100)\n"
    "  --streaming          start streaming at once, as a device that an earlier run of\n"
    "                       the program left streaming (a Flock sends position-only\n"
    "                       records, a Fastrak continuous output) until it is told to\n"
    "                       stop (a Flock by a point request 0x42 or sleep, a Fastrak\n"
    "                       by 'c')\n"
    "  --link PATH          symbolic link to the pseudo-terminal, kept up to date\n"
    "  --register NAME      name of the link in the virtual ports folder, where port\n"
    "                       discovery finds it (default zeltra-trackersim)\n"
    "  --no-register        no link in the virtual ports folder\n"
    "  --control PATH       FIFO (created) for commands, one a line:\n"
    "                         pos X Y Z       hold the sensor there (Flock position counts,\n"
    "                                         Fastrak hundredths of its unit)\n"
    "                         path            back to the slow default path\n"
    "                         silent on|off   answer nothing / answer again\n"
    "                         garbage N       send N noise bytes\n"
    "                         partial         send only the first half of the next record\n"
    "                         unplug [S]      close the pseudo-terminal in the middle of a\n"
    "                                         record; after S seconds (1) a new one, with\n"
    "                                         the device just switched on, takes its place\n"
    "                         speed BPS       change the device's speed; at another\n"
    "                                         speed than the program's its output\n"
    "                                         arrives as random bytes and it ignores\n"
    "                                         the program's commands\n"
    "                         stream on|off   start (as --streaming) or stop streaming\n"
    "                         rate HZ         change the stream rate\n"
    "                       each command is acknowledged on stdout by \"ok <command>\"\n"
    "                       (\"error <command>\" when refused)\n"
    "  --replay FILE        play back a serial capture (ZELTRA_SERIAL_CAPTURE) instead\n"
    "  --log FILE           append the bytes received from the program (\"rx ..\")\n"
    "  --seed N             seed of the noise bytes\n"
    "  --own-session        lead a session of its own whose controlling terminal is\n"
    "                       the pseudo-terminal: a program that opens the port\n"
    "                       without O_NOCTTY (Wine's server does) cannot take it as\n"
    "                       its own terminal and so gets no SIGHUP at an unplug\n"
    "                       (SIGHUP is then ignored; end it with SIGTERM)\n"
    "Prints \"ready <pty>\" when the port can be opened (again after each unplug), and\n"
    "\"replay done\" at the end of a replay. Ends on SIGTERM or SIGINT.\n";

int gSignalPipe[2] = {-1, -1};

// The longest the emulator lets output that is due wait before it writes it.
constexpr auto kOutputSlice = std::chrono::milliseconds(1);

void OnSignal(int) {
  const char c = 1;
  [[maybe_unused]] ssize_t r = write(gSignalPipe[1], &c, 1);
}

struct TOptions {
  std::string model = "flock";
  long speed = 115200;
  double streamRate = 100;
  std::string link;
  std::string registerName = "zeltra-trackersim";
  bool doRegister = true;
  std::string control;
  std::string replay;
  std::string log;
  uint32_t seed = 1;
  bool ownSession = false;
  bool streaming = false;
};

std::string Hex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, " %02x", c);
    out += buf;
  }
  return out;
}

bool ParseLong(const std::string& s, long& v) {
  char* end = nullptr;
  errno = 0;
  v = std::strtol(s.c_str(), &end, 10);
  return !s.empty() && end == s.c_str() + s.size() && errno == 0;
}

bool ParseDouble(const std::string& s, double& v) {
  char* end = nullptr;
  v = std::strtod(s.c_str(), &end);
  return !s.empty() && end == s.c_str() + s.size() && std::isfinite(v);
}

class TSimulator {
 public:
  explicit TSimulator(const TOptions& o) : opt_(o), wire_(o.speed), noise_(o.seed + 7) {}
  int Run();

 private:
  bool Setup();
  bool Plug();
  void Unplug(double seconds, SimTime now);
  void Cleanup();
  void Output(SimTime now);
  void WriteOut(const std::string& bytes);
  void FromProgram(SimTime now);
  void FromControl(SimTime now);
  void Command(const std::string& line, SimTime now);
  void Log(const std::string& line);
  bool SpeedMatches() const;

  TOptions opt_;
  TWire wire_;
  std::unique_ptr<TDevice> device_;
  std::unique_ptr<TReplay> replay_;
  bool replayDoneShown_ = false;
  TPty pty_;
  speed_t deviceSpeed_ = 0;
  std::vector<std::string> links_;
  int control_ = -1;
  int controlKeep_ = -1;  // a writer of our own, so that the FIFO never reads as ended
  std::string controlBuf_;
  std::optional<SimTime> replugAt_;
  std::FILE* log_ = nullptr;
  std::mt19937 noise_;
};

void TSimulator::Log(const std::string& line) {
  if (log_ == nullptr) return;
  std::fputs((line + "\n").c_str(), log_);
  std::fflush(log_);
}

bool TSimulator::SpeedMatches() const {
  const speed_t line = pty_.LineSpeed();
  return line == 0 || line == deviceSpeed_;
}

bool TSimulator::Setup() {
  deviceSpeed_ = SpeedConstant(opt_.speed);
  if (deviceSpeed_ == 0) {
    std::fprintf(stderr, "zeltra-trackersim: unsupported speed %ld\n", opt_.speed);
    return false;
  }
  if (!opt_.log.empty()) {
    log_ = std::fopen(opt_.log.c_str(), "a");
    if (log_ == nullptr) {
      std::fprintf(stderr, "zeltra-trackersim: cannot open %s: %s\n", opt_.log.c_str(), std::strerror(errno));
      return false;
    }
  }
  if (!opt_.replay.empty()) {
    std::ifstream in(opt_.replay, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "zeltra-trackersim: cannot read %s\n", opt_.replay.c_str());
      return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::vector<TCaptureEvent> events;
    std::string error;
    if (!ParseSerialCapture(text.str(), events, error)) {
      std::fprintf(stderr, "zeltra-trackersim: %s: %s\n", opt_.replay.c_str(), error.c_str());
      return false;
    }
    replay_ = std::make_unique<TReplay>();
    replay_->Load(events, SimClock::now());
  } else if (opt_.model == "flock" || opt_.model == "minibird") {
    device_ = std::make_unique<TFlockDevice>(
        wire_, opt_.model == "flock" ? TFlockModel::Flock : TFlockModel::MiniBird, opt_.streamRate,
        opt_.seed);
  } else if (opt_.model == "fastrak") {
    device_ = std::make_unique<TFastrakDevice>(wire_, opt_.streamRate, opt_.seed);
  } else {
    std::fprintf(stderr, "zeltra-trackersim: unknown model %s\n", opt_.model.c_str());
    return false;
  }
  if (device_ && opt_.streaming) device_->SetStreaming(true, SimClock::now());
  if (!opt_.link.empty()) links_.push_back(opt_.link);
  if (opt_.doRegister) {
    const std::string dir = VirtualPortsDir();
    if (opt_.registerName.empty() || opt_.registerName.find('/') != std::string::npos ||
        opt_.registerName[0] == '.') {
      std::fprintf(stderr, "zeltra-trackersim: bad port name %s\n", opt_.registerName.c_str());
      return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
      std::fprintf(stderr, "zeltra-trackersim: cannot create %s: %s\n", dir.c_str(), ec.message().c_str());
      return false;
    }
    links_.push_back(dir + "/" + opt_.registerName);
  }
  if (!opt_.control.empty()) {
    struct stat st {};
    if (lstat(opt_.control.c_str(), &st) == 0) {
      if (!S_ISFIFO(st.st_mode)) {
        std::fprintf(stderr, "zeltra-trackersim: %s exists and is no FIFO\n", opt_.control.c_str());
        return false;
      }
      unlink(opt_.control.c_str());
    }
    if (mkfifo(opt_.control.c_str(), 0600) != 0 ||
        (control_ = open(opt_.control.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) < 0 ||
        (controlKeep_ = open(opt_.control.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0) {
      std::fprintf(stderr, "zeltra-trackersim: cannot make the FIFO %s: %s\n", opt_.control.c_str(),
                   std::strerror(errno));
      return false;
    }
  }
  return Plug();
}

bool TSimulator::Plug() {
  std::string error;
  if (!pty_.Open(deviceSpeed_, opt_.ownSession, error)) {
    std::fprintf(stderr, "zeltra-trackersim: %s\n", error.c_str());
    return false;
  }
  for (const std::string& link : links_) {
    if (!PointLink(link, pty_.SlavePath(), error)) {
      std::fprintf(stderr, "zeltra-trackersim: %s\n", error.c_str());
      return false;
    }
  }
  Log("plugged " + pty_.SlavePath());
  std::printf("ready %s\n", pty_.SlavePath().c_str());
  std::fflush(stdout);
  return true;
}

void TSimulator::Unplug(double seconds, SimTime now) {
  if (pty_.IsOpen()) {
    // The cable goes in the middle of a record.
    if (device_) {
      const std::string half = device_->HalfRecord(now);
      [[maybe_unused]] ssize_t r = write(pty_.Master(), half.data(), half.size());
    }
    pty_.Close();
    wire_.Clear();
  }
  Log("unplugged");
  std::printf("unplugged\n");
  std::fflush(stdout);
  // Plugged in again, the device starts afresh.
  if (device_) device_->Reset();
  replugAt_ = now + std::chrono::duration_cast<SimClock::duration>(std::chrono::duration<double>(seconds));
}

void TSimulator::Cleanup() {
  for (const std::string& link : links_) RemoveLinkTo(link, pty_.SlavePath());
  pty_.Close();
  if (control_ >= 0) close(control_);
  if (controlKeep_ >= 0) close(controlKeep_);
  if (!opt_.control.empty() && control_ >= 0) unlink(opt_.control.c_str());
  if (log_ != nullptr) std::fclose(log_);
  log_ = nullptr;
}

void TSimulator::WriteOut(const std::string& bytes) {
  if (bytes.empty() || !pty_.IsOpen()) return;
  // Nobody reads the port: the bytes are lost, as on a real line, and the emulator
  // never waits for the reader.
  ssize_t n;
  do {
    n = write(pty_.Master(), bytes.data(), bytes.size());
  } while (n < 0 && errno == EINTR);
  const size_t sent = n > 0 ? static_cast<size_t>(n) : 0;
  if (sent < bytes.size()) Log("lost " + std::to_string(bytes.size() - sent));
}

void TSimulator::Output(SimTime now) {
  if (!pty_.IsOpen()) return;
  if (replay_) {
    WriteOut(replay_->Due(now));
    for (const std::string& w : replay_->TakeWarnings()) {
      std::fprintf(stderr, "zeltra-trackersim: replay: %s\n", w.c_str());
    }
    if (!replayDoneShown_ && replay_->Done()) {
      replayDoneShown_ = true;
      std::printf("replay done\n");
      std::fflush(stdout);
    }
    return;
  }
  // What was due goes first, so that the device sees the line as it is now.
  std::string out = wire_.Take(now);
  device_->Tick(now);
  out += wire_.Take(now);
  if (!out.empty() && !SpeedMatches()) {
    // At the wrong speed every byte arrives as a different one.
    for (char& c : out) c = static_cast<char>(noise_() & 0xFF);
  }
  WriteOut(out);
}

void TSimulator::FromProgram(SimTime now) {
  char buf[4096];
  for (;;) {
    const ssize_t n = read(pty_.Master(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    const std::string bytes(buf, static_cast<size_t>(n));
    Log("rx" + Hex(bytes));
    if (replay_) {
      replay_->Received(bytes, now);
    } else if (!SpeedMatches()) {
      Log("garbled: the line is not at the device's speed");
    } else {
      for (char c : bytes) device_->Receive(static_cast<uint8_t>(c), now);
    }
  }
}

void TSimulator::Command(const std::string& line, SimTime now) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string word; in >> word;) w.push_back(word);
  if (w.empty()) return;
  auto fail = [&](const std::string& why) {
    std::fprintf(stderr, "zeltra-trackersim: control: %s: %s\n", line.c_str(), why.c_str());
    std::printf("error %s\n", line.c_str());
    std::fflush(stdout);
  };
  const std::string& c = w[0];
  long a = 0, b = 0, d = 0;
  double v = 0;
  if (replay_ && c != "unplug") {
    fail("not while replaying");
    return;
  }
  if (c == "pos" && w.size() == 4 && ParseLong(w[1], a) && ParseLong(w[2], b) && ParseLong(w[3], d) &&
      a >= INT32_MIN && a <= INT32_MAX && b >= INT32_MIN && b <= INT32_MAX && d >= INT32_MIN &&
      d <= INT32_MAX) {
    const TSimPosition p{static_cast<int32_t>(a), static_cast<int32_t>(b), static_cast<int32_t>(d)};
    std::string error;
    if (!device_->ValidPosition(p, error)) return fail(error);
    device_->SetFixedPosition(p);
  } else if (c == "path" && w.size() == 1) {
    device_->FollowPath();
  } else if (c == "silent" && w.size() == 2 && (w[1] == "on" || w[1] == "off")) {
    device_->SetSilent(w[1] == "on");
  } else if (c == "garbage" && w.size() == 2 && ParseLong(w[1], a) && a >= 0 && a <= 1000000) {
    device_->SendNoise(static_cast<int>(a), now);
  } else if (c == "partial" && w.size() == 1) {
    device_->CutNextRecord();
  } else if (c == "unplug" && w.size() <= 2 && (w.size() == 1 || (ParseDouble(w[1], v) && v >= 0 && v < 3600))) {
    Unplug(w.size() == 2 ? v : 1.0, now);
  } else if (c == "speed" && w.size() == 2 && ParseLong(w[1], a) && SpeedConstant(a) != 0) {
    deviceSpeed_ = SpeedConstant(a);
    wire_.SetSpeed(a);
  } else if (c == "stream" && w.size() == 2 && (w[1] == "on" || w[1] == "off")) {
    device_->SetStreaming(w[1] == "on", now);
  } else if (c == "rate" && w.size() == 2 && ParseDouble(w[1], v) && v > 0 && v <= 100000) {
    device_->SetStreamRate(v);
  } else {
    return fail("unknown command or bad arguments");
  }
  Log("cmd " + line);
  std::printf("ok %s\n", line.c_str());
  std::fflush(stdout);
}

void TSimulator::FromControl(SimTime now) {
  char buf[1024];
  for (;;) {
    const ssize_t n = read(control_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    controlBuf_.append(buf, static_cast<size_t>(n));
  }
  size_t nl;
  while ((nl = controlBuf_.find('\n')) != std::string::npos) {
    std::string line = controlBuf_.substr(0, nl);
    controlBuf_.erase(0, nl + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Command(line, now);
  }
  if (controlBuf_.size() > 4096) controlBuf_.clear();  // no line end in sight
}

int TSimulator::Run() {
  if (!Setup()) {
    Cleanup();
    return 1;
  }
  bool stopping = false;
  while (!stopping) {
    SimTime now = SimClock::now();
    if (replugAt_ && now >= *replugAt_) {
      replugAt_.reset();
      if (!Plug()) {
        Cleanup();
        return 1;
      }
    }
    Output(now);

    std::optional<SimTime> wake;
    auto consider = [&](std::optional<SimTime> t) {
      if (t && (!wake || *t < *wake)) wake = t;
    };
    if (pty_.IsOpen()) {
      if (replay_) {
        consider(replay_->NextAt());
      } else {
        // A millisecond's worth of output at a time: waking for every byte (11520
        // a second at 115200 bps) takes more than a loaded machine gives the
        // emulator, whose output then fell below the line's rate. Bytes and
        // records keep the times they were due at, so the rate is the line's.
        const SimTime slice = now + kOutputSlice;
        if (const auto at = wire_.NextAt()) consider(std::max(*at, slice));
        if (const auto at = device_->NextTick()) consider(std::max(*at, slice));
      }
    }
    consider(replugAt_);

    pollfd fds[3];
    nfds_t count = 0;
    fds[count++] = {gSignalPipe[0], POLLIN, 0};
    const int controlAt = control_ >= 0 ? static_cast<int>(count) : -1;
    if (control_ >= 0) fds[count++] = {control_, POLLIN, 0};
    const int masterAt = pty_.IsOpen() ? static_cast<int>(count) : -1;
    if (pty_.IsOpen()) fds[count++] = {pty_.Master(), POLLIN, 0};

    timespec ts{};
    timespec* timeout = nullptr;
    if (wake) {
      const auto left = std::max(SimClock::duration::zero(), *wake - SimClock::now());
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
      ts.tv_sec = static_cast<time_t>(ns / 1000000000);
      ts.tv_nsec = static_cast<long>(ns % 1000000000);
      timeout = &ts;
    }
    const int r = ppoll(fds, count, timeout, nullptr);
    if (r < 0 && errno != EINTR) {
      std::fprintf(stderr, "zeltra-trackersim: poll: %s\n", std::strerror(errno));
      break;
    }
    if (r <= 0) continue;
    now = SimClock::now();
    if (fds[0].revents & POLLIN) stopping = true;
    if (masterAt >= 0 && (fds[masterAt].revents & POLLIN)) FromProgram(now);
    if (controlAt >= 0 && (fds[controlAt].revents & POLLIN)) FromControl(now);
  }
  Cleanup();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions o;
  std::vector<std::string> args(argv + 1, argv + argc);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "zeltra-trackersim: %s needs a value\n%s", a.c_str(), kUsage);
        std::exit(2);
      }
      return args[++i];
    };
    long n = 0;
    double hz = 0;
    if (a == "--model") {
      o.model = value();
    } else if (a == "--speed") {
      if (!ParseLong(value(), n) || SpeedConstant(n) == 0) {
        std::fprintf(stderr, "zeltra-trackersim: unsupported speed\n");
        return 2;
      }
      o.speed = n;
    } else if (a == "--stream-rate") {
      if (!ParseDouble(value(), hz) || hz <= 0 || hz > 100000) {
        std::fprintf(stderr, "zeltra-trackersim: bad stream rate\n");
        return 2;
      }
      o.streamRate = hz;
    } else if (a == "--link") {
      o.link = value();
    } else if (a == "--register") {
      o.registerName = value();
      o.doRegister = true;
    } else if (a == "--no-register") {
      o.doRegister = false;
    } else if (a == "--control") {
      o.control = value();
    } else if (a == "--replay") {
      o.replay = value();
    } else if (a == "--log") {
      o.log = value();
    } else if (a == "--seed") {
      if (!ParseLong(value(), n)) return 2;
      o.seed = static_cast<uint32_t>(n);
    } else if (a == "--streaming") {
      o.streaming = true;
    } else if (a == "--own-session") {
      o.ownSession = true;
    } else if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "zeltra-trackersim: unknown option %s\n%s", a.c_str(), kUsage);
      return 2;
    }
  }
  if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  if (o.ownSession) {
    setsid();  // fails harmlessly when it already leads a process group
    signal(SIGHUP, SIG_IGN);
  } else {
    sigaction(SIGHUP, &sa, nullptr);
  }
  signal(SIGPIPE, SIG_IGN);
  TSimulator sim(o);
  return sim.Run();
}
