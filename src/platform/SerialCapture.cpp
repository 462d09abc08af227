#include "SerialCapture.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

std::unique_ptr<TSerialCapture> TSerialCapture::FromEnvironment(const std::string& device,
                                                                int32_t baud) {
  const char* path = std::getenv(kSerialCaptureVariable);
  if (path == nullptr || *path == '\0') return nullptr;
  std::FILE* f = std::fopen(path, "ab");
  if (f == nullptr) {
    std::fprintf(stderr, "zeltra: cannot open the serial capture file %s: %s\n", path,
                 std::strerror(errno));
    return nullptr;
  }
  return std::make_unique<TSerialCapture>(f, device, baud);
}

TSerialCapture::TSerialCapture(std::FILE* file, const std::string& device, int32_t baud)
    : file_(file), start_(std::chrono::steady_clock::now()) {
  Line("open " + std::to_string(baud) + " " + device);
}

TSerialCapture::~TSerialCapture() {
  Closed();
  if (file_ != nullptr) std::fclose(file_);
}

double TSerialCapture::Ms() const {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
      .count();
}

namespace {

std::string TimeText(double ms) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", ms);
  return buf;
}

void AppendHex(std::string& out, const uint8_t* data, size_t count) {
  static const char kHex[] = "0123456789abcdef";
  for (size_t i = 0; i < count; ++i) {
    out += ' ';
    out += kHex[data[i] >> 4];
    out += kHex[data[i] & 15];
  }
}

}  // namespace

void TSerialCapture::Line(const std::string& text) {
  if (file_ == nullptr) return;
  std::fputs(text.c_str(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
}

void TSerialCapture::FlushReceived() {
  if (received_.empty()) return;
  std::string line = "< " + TimeText(receivedMs_);
  AppendHex(line, reinterpret_cast<const uint8_t*>(received_.data()), received_.size());
  received_.clear();
  Line(line);
}

void TSerialCapture::Sent(const uint8_t* data, size_t count) {
  if (closed_ || count == 0) return;
  FlushReceived();
  std::string line = "> " + TimeText(Ms());
  AppendHex(line, data, count);
  Line(line);
}

void TSerialCapture::Received(uint8_t byte) {
  if (closed_) return;
  if (received_.empty()) receivedMs_ = Ms();
  received_ += static_cast<char>(byte);
  if (known_ > 0) --known_;
}

void TSerialCapture::Waiting(uint32_t count) {
  if (closed_) return;
  if (count > known_) {
    FlushReceived();
    Line("? " + TimeText(Ms()) + " " + std::to_string(count));
  }
  known_ = count;
}

void TSerialCapture::Purged() {
  if (closed_) return;
  FlushReceived();
  known_ = 0;
  Line("purge " + TimeText(Ms()));
}

void TSerialCapture::Comment(const std::string& text) {
  if (closed_) return;
  FlushReceived();
  Line("# " + text);
}

void TSerialCapture::Closed() {
  if (closed_) return;
  FlushReceived();
  Line("close " + TimeText(Ms()));
  closed_ = true;
}

namespace {

bool ParseMs(std::string_view word, double& ms) {
  if (word.empty() || word.size() > 30) return false;
  std::string s(word);
  char* end = nullptr;
  ms = std::strtod(s.c_str(), &end);
  return end == s.c_str() + s.size() && ms >= 0;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

}  // namespace

bool ParseSerialCapture(std::string_view text, std::vector<TCaptureEvent>& events,
                        std::string& error) {
  events.clear();
  size_t lineNo = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) nl = text.size();
    std::string_view line = text.substr(pos, nl - pos);
    pos = nl + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto words = Words(line);
    if (words.empty() || words[0][0] == '#') continue;
    auto bad = [&](const char* why) {
      error = "line " + std::to_string(lineNo) + ": " + why;
      return false;
    };
    TCaptureEvent e;
    const std::string_view kind = words[0];
    if (kind == "open") {
      if (words.size() < 2) return bad("open needs a speed");
      e.kind = TCaptureEvent::Open;
      e.baud = std::atoi(std::string(words[1]).c_str());
      // The device name is the rest of the line after the speed.
      const size_t at = static_cast<size_t>(words[1].data() - line.data()) + words[1].size();
      std::string_view rest = line.substr(at);
      while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
      e.device = std::string(rest);
    } else if (kind == ">" || kind == "<") {
      e.kind = kind == ">" ? TCaptureEvent::Sent : TCaptureEvent::Received;
      if (words.size() < 2 || !ParseMs(words[1], e.ms)) return bad("bad time");
      for (size_t w = 2; w < words.size(); ++w) {
        if (words[w].size() != 2 || HexValue(words[w][0]) < 0 || HexValue(words[w][1]) < 0)
          return bad("bad byte");
        e.bytes += static_cast<char>(HexValue(words[w][0]) * 16 + HexValue(words[w][1]));
      }
    } else if (kind == "?") {
      e.kind = TCaptureEvent::Waiting;
      if (words.size() != 3 || !ParseMs(words[1], e.ms)) return bad("bad time");
      char* end = nullptr;
      const std::string n(words[2]);
      errno = 0;
      const unsigned long long v = std::strtoull(n.c_str(), &end, 10);
      if (end != n.c_str() + n.size() || n[0] == '-' || errno != 0 || v > 0xFFFFFFFFull) {
        return bad("bad count");
      }
      e.count = static_cast<uint32_t>(v);
    } else if (kind == "purge" || kind == "close") {
      e.kind = kind == "purge" ? TCaptureEvent::Purge : TCaptureEvent::Close;
      if (words.size() != 2 || !ParseMs(words[1], e.ms)) return bad("bad time");
    } else {
      return bad("unknown event");
    }
    events.push_back(std::move(e));
  }
  return true;
}
