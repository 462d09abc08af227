#include "Device.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "tracker/FastrakLine.h"
#include "tracker/FlockRecord.h"

void TWire::SetSpeed(long bps) {
  bps_ = bps > 0 ? bps : 115200;
  byteTime_ = std::chrono::nanoseconds(10'000'000'000LL / bps_);
}

void TWire::Queue(const std::string& bytes, SimTime now) {
  if (bytes.empty()) return;
  // An idle line gathers no credit: the first byte starts now at the earliest.
  if (queue_.empty() && next_ < now) next_ = now;
  queue_.insert(queue_.end(), bytes.begin(), bytes.end());
}

std::string TWire::Take(SimTime now) {
  std::string out;
  while (!queue_.empty() && next_ <= now) {
    out += queue_.front();
    queue_.pop_front();
    next_ += byteTime_;
  }
  return out;
}

SimTime TWire::FreeAt() const { return next_ + byteTime_ * static_cast<long long>(queue_.size()); }

std::optional<SimTime> TWire::NextAt() const {
  if (queue_.empty()) return std::nullopt;
  return next_;
}

void TDevice::Send(const std::string& bytes, SimTime now) {
  if (silent_) return;
  if (partialNext_) {
    partialNext_ = false;
    wire_.Queue(bytes.substr(0, bytes.size() / 2), now);
    return;
  }
  wire_.Queue(bytes, now);
}

TSimPosition TDevice::Position(SimTime now) const {
  if (fixed_) return *fixed_;
  return PathAt(std::chrono::duration<double>(now - start_).count());
}

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

int32_t Wave(double amplitude, double seconds, double period, double offset = 0) {
  return static_cast<int32_t>(std::lround(offset + amplitude * std::sin(kTwoPi * seconds / period)));
}

std::chrono::nanoseconds Period(double hz) {
  if (!(hz > 0)) hz = 100;
  return std::chrono::nanoseconds(static_cast<long long>(1e9 / hz));
}

}  // namespace

TDevice::TDevice(TWire& wire, double streamHz, uint32_t seed)
    : period_(Period(streamHz)), wire_(wire), random_(seed) {}

void TDevice::SetStreamRate(double hz) { period_ = Period(hz); }

void TDevice::Tick(SimTime now) {
  // One record a period, or as fast as the line allows when it is slower: a record
  // waits for the line to carry the one before. Each goes on the line at the time
  // it was due (or the line came free), not when this process got round to it: a
  // loaded machine wakes the emulator late, and records that lost that time each
  // fell far below the line's rate. The sensor's position is the one now.
  size_t sent = 0;
  while (streaming_ && nextRecord_ <= now && sent < kMaxBytesPerTick) {
    const SimTime lineFree = wire_.FreeAt();
    if (lineFree > now) {
      nextRecord_ = lineFree;
      return;
    }
    const SimTime at = std::max(nextRecord_, lineFree);
    const std::string record = Record(now);
    Send(record, at);
    sent += record.size();
    nextRecord_ = at + period_;
  }
  // After a long stop the records it missed are not all made up for.
  if (streaming_ && nextRecord_ < now) nextRecord_ = now;
}

std::optional<SimTime> TDevice::NextTick() const {
  if (!streaming_) return std::nullopt;
  return nextRecord_;
}

// ---------------------------------------------------------------- Flock / miniBIRD

TFlockDevice::TFlockDevice(TWire& wire, TFlockModel model, double streamHz, uint32_t seed)
    : TDevice(wire, streamHz, seed), model_(model) {}

std::string TFlockDevice::ModelId() const {
  return model_ == TFlockModel::Flock ? "6DFOB     " : "MINIBIRD  ";
}

TSimPosition TFlockDevice::PathAt(double s) const {
  // A slow loop inside a head-sized volume (about +-6000 counts).
  return {Wave(6000, s, 20), Wave(6000, s + 5, 20), Wave(3000, s, 13, 2000)};
}

std::string TFlockDevice::Record(SimTime now) const {
  const TSimPosition p = Position(now);
  const TFlockRecord pos = EncodeFlockRecord(p.x, p.y, p.z);
  std::string out(pos.begin(), pos.end());
  if (!positionOnly_) {
    // POSITION/ANGLES: three more words (the angles, here level), no phasing bit.
    const TFlockRecord angles = EncodeFlockRecord(0, 0, 0);
    out.append(angles.begin(), angles.end());
    out[kFlockRecordSize] = static_cast<char>(angles[0] & 0x7F);
  }
  return out;
}

std::string TFlockDevice::HalfRecord(SimTime now) {
  const std::string r = Record(now);
  return r.substr(0, r.size() / 2);
}

void TFlockDevice::Examine(uint8_t parameter, SimTime now) {
  if (parameter == kFlockModelIdParam) {
    Send(ModelId(), now);
  } else {
    Send(std::string(2, '\0'), now);  // a status word
  }
}

void TFlockDevice::Receive(uint8_t b, SimTime now) {
  if (argsLeft_ > 0) {
    args_ += static_cast<char>(b);
    --argsLeft_;
    if (command_ == kFlockExamine && argsLeft_ == 0) {
      Examine(b, now);
    } else if (command_ == kFlockChange && args_.size() == 1) {
      // CHANGE VALUE: the parameter number, then its value (FBB auto-configuration,
      // parameter 50, takes one byte; the others here two).
      argsLeft_ = b == 50 ? 1 : 2;
    }
    return;
  }
  if (b >= 0xF0) return;  // RS-232 to bus prefix: the next command goes to that unit
  switch (b) {
    case kFlockPoint:
      streaming_ = false;
      Send(Record(now), now);
      break;
    case kFlockStream:
      streaming_ = true;
      nextRecord_ = now;
      break;
    case kFlockPosition:
      positionOnly_ = true;
      break;
    case 0x59:  // POSITION/ANGLES
      positionOnly_ = false;
      break;
    case kFlockSleep:
      streaming_ = false;
      break;
    case kFlockExamine:
    case kFlockChange:
      command_ = b;
      argsLeft_ = 1;
      args_.clear();
      break;
    default:
      break;  // RUN and the commands this emulator does not model
  }
}

void TFlockDevice::Reset() {
  streaming_ = false;
  positionOnly_ = false;
  argsLeft_ = 0;
}

void TFlockDevice::SetStreaming(bool on, SimTime now) {
  streaming_ = on;
  if (!on) return;
  positionOnly_ = true;  // as the program's start-up left it
  nextRecord_ = now;
}

bool TFlockDevice::ValidPosition(const TSimPosition& p, std::string& error) const {
  for (int32_t v : {p.x, p.y, p.z}) {
    if (v < -32768 || v > 32767) {
      error = "a Flock position word is -32768..32767";
      return false;
    }
  }
  return true;
}

std::string TFlockDevice::Noise(int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += static_cast<char>(random_() & 0x7F);
  return out;
}

// ---------------------------------------------------------------- Fastrak

TFastrakDevice::TFastrakDevice(TWire& wire, double continuousHz, uint32_t seed)
    : TDevice(wire, continuousHz, seed) {}

TSimPosition TFastrakDevice::PathAt(double s) const {
  // Hundredths of a centimetre: a loop of about 15 cm.
  return {Wave(1500, s, 20), Wave(1500, s + 5, 20), Wave(800, s, 13, 1000)};
}

namespace {

std::string Field(int32_t hundredths) {
  const int64_t v = hundredths;
  const int64_t a = v < 0 ? -v : v;
  // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) about a chain
  // of string concatenations here.
  std::string text;
  if (v < 0) text += '-';
  text += std::to_string(a / 100);
  text += '.';
  text += static_cast<char>('0' + a / 10 % 10);
  text += static_cast<char>('0' + a % 10);
  if (text.size() < 7)
    text.insert(0, 7 - text.size(), ' ');
  else if (text[0] != '-')
    text.insert(0, 1, ' ');  // a full-width positive number would run into the one before it
  return text;
}

}  // namespace

std::string TFastrakDevice::FormatRecord(const TSimPosition& p, const TSimPosition& angles) {
  return "01 " + Field(p.x) + Field(p.y) + Field(p.z) + Field(angles.x) + Field(angles.y) +
         Field(angles.z) + "\r\n";
}

std::string TFastrakDevice::Record(SimTime now) const {
  const double s = std::chrono::duration<double>(now - start_).count();
  const TSimPosition angles{Wave(3000, s, 17), Wave(1000, s, 11), Wave(500, s, 7)};
  return FormatRecord(Position(now), angles);
}

std::string TFastrakDevice::HalfRecord(SimTime now) {
  const std::string r = Record(now);
  return r.substr(0, r.size() / 2);
}

void TFastrakDevice::Receive(uint8_t b, SimTime now) {
  switch (b) {
    case kFastrakRequest:
      Send(Record(now), now);
      break;
    case 'C':  // continuous output on
      streaming_ = true;
      nextRecord_ = now;
      break;
    case 'c':  // and off
      streaming_ = false;
      break;
    default:
      break;
  }
}

void TFastrakDevice::SetStreaming(bool on, SimTime now) {
  streaming_ = on;
  nextRecord_ = now;
}

bool TFastrakDevice::ValidPosition(const TSimPosition& p, std::string& error) const {
  for (int32_t v : {p.x, p.y, p.z}) {
    if (v < -kMaxPosition || v > kMaxPosition) {
      error = "a Fastrak position is -999.99..999.99 (-99999..99999 hundredths)";
      return false;
    }
  }
  return true;
}

std::string TFastrakDevice::Noise(int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += static_cast<char>(0x20 + random_() % 95);
  return out;
}
