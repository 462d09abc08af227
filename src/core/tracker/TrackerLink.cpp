#include "TrackerLink.h"

#include <algorithm>
#include <utility>

namespace {

// Upper bound of the queue drain before the model query, so that a port that keeps
// reporting bytes cannot hold the start-up for ever.
constexpr uint32_t kMaxDrain = 1u << 16;

// Restarts polling if the start-up exchange is left by an exception, so that an
// error shown by the window's error box does not stop the polling loop for good.
class TPollingGuard {
 public:
  explicit TPollingGuard(ITrackerHost& host) : host_(host) {}
  ~TPollingGuard() {
    if (!done_) host_.StartPolling();
  }
  TPollingGuard(const TPollingGuard&) = delete;
  TPollingGuard& operator=(const TPollingGuard&) = delete;
  void Done() { done_ = true; }

 private:
  ITrackerHost& host_;
  bool done_ = false;
};

// Brackets the Flock exchange for the window's progress indication.
class TConnectScope {
 public:
  explicit TConnectScope(ITrackerHost& host) : host_(host) { host_.BeginConnect(); }
  ~TConnectScope() { End(); }
  TConnectScope(const TConnectScope&) = delete;
  TConnectScope& operator=(const TConnectScope&) = delete;
  void End() {
    if (open_) host_.EndConnect();
    open_ = false;
  }

 private:
  ITrackerHost& host_;
  bool open_ = true;
};

}  // namespace

std::string ConnectionErrorText(const std::string& portName, int32_t bps, uint32_t waiting) {
  return "Connection error: no response to Examine:SystemModelIdentification (79:15) \"" +
         portName + "\" bps:" + std::to_string(bps) +
         "  response(Bytes):" + std::to_string(waiting);
}

std::string PortOpenFailureText(const std::string& portName, int32_t bps, ISerialPort::TOpenError error,
                                const std::string& reason) {
  if (error == ISerialPort::TOpenError::NotFound) return "Serial port " + portName + " not found";
  std::string text = "Serial port " + portName + " could not be opened at " + std::to_string(bps) + " bps";
  if (!reason.empty()) text += ": " + reason;
  return text;
}

std::string SwitchOnPromptText(int32_t bps) {
  return "Please switch on the miniBIRD/FOB tracker and set it to 'FLY'. If the tracker was "
         "already on FLY, set it to STDBY briefly first. Press 'OK' when the panel light stops "
         "flashing. BPS: " +
         std::to_string(bps);
}

TTrackerLink::TTrackerLink(TTrackerState& state, TTrackerReading& reading, IClock& clock,
                           IMessagePresenter& messages, ITrackerHost& host)
    : state_(state), reading_(reading), clock_(clock), messages_(messages), host_(host) {}

void TTrackerLink::ResetReaders() {
  fastrakInLine_ = false;
  fastrakPartialLine_.clear();
  fastrakPartialOverlong_ = false;
  fastrakSynced_ = false;
  flockHave_ = 0;
  flockSynced_ = false;
  flockJoinTail_ = 0;
  flockRun_ = 0;
  noisy_ = false;
}

namespace {

void Drain(ISerialPort& port) {
  for (uint32_t drained = 0; drained < kMaxDrain && port.BytesWaiting() > 0; ++drained) {
    port.ReadByte();
  }
}

}  // namespace

void TTrackerLink::InitFOB() {
  if (state_.PortName.empty() || port_ == nullptr) return;
  ISerialPort& port = *port_;
  host_.StopPolling();
  TPollingGuard polling(host_);
  if (port.IsOpen()) port.Close();
  ResetReaders();
  connected_ = false;
  failure_.clear();
  if (!port.Open(state_.PortName, state_.BPS)) {
    // Said once, as what it is; an exchange with a port that is not there would
    // only end in "no response".
    failure_ = PortOpenFailureText(state_.PortName, state_.BPS, port.LastError(), port.LastErrorText());
    state_.TrackerReady = true;
    messages_.ShowMessage(failure_);
    polling.Done();
    host_.StartPolling();
    return;
  }

  if (!state_.IsFastrak) {
    TConnectScope connecting(host_);
    Drain(port);
    // A device still streaming from an earlier run (the program was ended without
    // its shutdown) would fill the queue in front of the answer: stop it, then
    // empty the line of its last records and of the record this request asks for.
    port.WriteByte(kFlockPoint);
    clock_.Sleep(kWaitBeforeExamine);
    Drain(port);
    port.WriteByte(kFlockExamine);
    port.WriteByte(kFlockModelIdParam);
    clock_.Sleep(kWaitForModelId);
    if (port.BytesWaiting() < static_cast<uint32_t>(kFlockModelIdSize)) {
      // The message stands on its own, not over the progress of an exchange that
      // has failed; the rest of the exchange goes on without it.
      connecting.End();
      failure_ = ConnectionErrorText(state_.PortName, state_.BPS, port.BytesWaiting());
      messages_.ShowMessage(failure_);
    } else {
      std::string id;
      for (int i = 0; i < kFlockModelIdSize; ++i) id += static_cast<char>(port.ReadByte());
      host_.SetCaption(id);
      connected_ = true;
    }
    clock_.Sleep(kWaitBeforeAutoConfig);
    // RS-232-to-bus prefix for unit 1, then change value parameter 50 to 1.
    for (uint8_t b : {uint8_t{0xF1}, kFlockChange, uint8_t{0x32}, uint8_t{0x01}}) port.WriteByte(b);
    clock_.Sleep(kWaitAfterAutoConfig);
    port.WriteByte(kFlockPosition);
    port.WriteByte(state_.IsStreaming ? kFlockStream : kFlockPoint);
  } else {
    connected_ = true;
  }
  state_.TrackerReady = true;
  polling.Done();
  host_.StartPolling();
}

void TTrackerLink::InitFOBdialog() {
  if (!state_.IsFastrak) {
    if (port_ != nullptr && port_->IsOpen()) port_->WriteByte(kFlockPoint);
    messages_.ShowMessage(SwitchOnPromptText(state_.BPS));
  }
  InitFOB();
}

bool TTrackerLink::ReadFOB() {
  if (!state_.TrackerReady || port_ == nullptr) return false;
  if (state_.IsFastrak) return ReadFastrak();
  return ReadFlockRecord();
}

bool TTrackerLink::EndRead(uint64_t noise, const TTrackerReading* position) {
  discarded_ += noise;
  if (noise > 0 && position == nullptr) noisy_ = true;
  if (position == nullptr) return false;
  noisy_ = false;
  reading_ = *position;
  ++readings_;
  return true;
}

bool TTrackerLink::FlockByte(uint8_t b, uint64_t& noise) {
  if ((b & kFlockPhasingBit) != 0) {
    // A record that broke off (a lost byte, a cut line, noise): its bytes would mix
    // two positions.
    if (flockHave_ > 0) {
      noise += static_cast<uint64_t>(flockHave_);
      flockRun_ = 0;
    }
    flockRecord_[0] = b;
    flockHave_ = 1;
    flockSynced_ = true;
    return false;
  }
  if (flockHave_ == 0) {
    if (!flockSynced_ && flockJoinTail_ < kFlockRecordSize - 1) {
      ++flockJoinTail_;
      ++discarded_;
    } else {
      ++noise;
      flockRun_ = 0;
    }
    return false;
  }
  flockRecord_[flockHave_++] = b;
  if (flockHave_ < kFlockRecordSize) return false;
  flockHave_ = 0;
  ++flockRun_;
  return true;
}

bool TTrackerLink::ReadFlockRecord() {
  ISerialPort& port = *port_;
  // Point mode: request the next record; it is consumed by the next read.
  if (!state_.IsStreaming) port.WriteByte(kFlockPoint);
  const uint32_t need = static_cast<uint32_t>(kFlockRecordSize);
  uint32_t left = port.BytesWaiting();
  if (static_cast<uint32_t>(flockHave_) + left < need) return false;
  left = std::min(left, kFlockMaxScan);
  uint64_t noise = 0;
  bool got = false;
  TTrackerReading newest;
  // Every byte is checked, also those of older records in a backlog; the newest
  // complete record is the position. What cannot complete a record stays waiting.
  while (static_cast<uint32_t>(flockHave_) + left >= need) {
    --left;
    if (FlockByte(port.ReadByte(), noise)) {
      newest = DecodeFlockRecord(flockRecord_);
      got = true;
    }
  }
  // A record read among noise, or while the link is noisy, counts only when enough
  // whole records in a row follow the last discarded byte.
  const bool trusted = got && ((noise == 0 && !noisy_) || flockRun_ >= kFlockRecordsAfterNoise);
  return EndRead(noise, trusted ? &newest : nullptr);
}

namespace {

// The bytes of a completed line, with its line feed and carriage return.
uint64_t LineBytes(const std::string& line) { return line.size() + 2; }

// A completed line that may be a record: not overlong, long enough to be parsed,
// starting as one.
bool MayBeRecord(const std::string& line, bool overlong) {
  return !overlong && line.size() >= kFastrakMinLine && IsFastrakRecordStart(line);
}

}  // namespace

bool TTrackerLink::ReadFastrak() {
  if (port_ == nullptr) return false;
  ISerialPort& port = *port_;
  if (port.BytesWaiting() < 6) {
    port.WriteByte(kFastrakRequest);
    return false;
  }
  std::string line;
  bool lineOverlong = false;
  if (fastrakInLine_) {
    line = std::move(fastrakPartialLine_);
    lineOverlong = fastrakPartialOverlong_;
  }
  std::string completed;
  bool completedOverlong = false;
  bool completedIsLine = false;  // `completed` is a line (not the empty text of a stray CR)
  uint64_t noise = 0;
  // Outside a line: before the first line feed of a connection, the end of a record
  // joined in the middle; later, bytes that belong to no record.
  auto outside = [&] {
    if (fastrakSynced_) {
      ++noise;
    } else {
      ++discarded_;
    }
  };
  // A line superseded by a newer one of the same read is not parsed; it is noise
  // unless it starts as a record.
  auto supersede = [&] {
    if (completedIsLine && !MayBeRecord(completed, completedOverlong)) noise += LineBytes(completed);
  };
  size_t consumed = 0;
  do {
    const uint8_t c = port.ReadByte();
    ++consumed;
    const bool inLine = fastrakInLine_;
    if (c == 0x0D) {
      supersede();
      if (inLine) {
        completed = std::move(line);
        completedOverlong = lineOverlong;
        completedIsLine = true;
      } else {
        outside();
        completed.clear();
        completedOverlong = false;
        completedIsLine = false;
      }
      fastrakInLine_ = false;
      line.clear();
      lineOverlong = false;
    } else if (inLine && c == 0x0A) {
      // A line feed inside a line: the line's carriage return was lost, and what
      // came before belongs to no whole record (joined to the next record it would
      // read that record's header as a number). It is noise; a new line starts.
      noise += line.size() + 1;
      line.clear();
      lineOverlong = false;
    } else if (inLine) {
      if (line.size() < kFastrakMaxLine) {
        line += static_cast<char>(c);
      } else {
        lineOverlong = true;
      }
    } else if (c == 0x0A) {
      fastrakInLine_ = true;
      fastrakSynced_ = true;
    } else {
      outside();
    }
  } while (consumed < kFastrakMaxBytesPerRead && port.BytesWaiting() > 0);
  if (fastrakInLine_) {
    fastrakPartialLine_ = std::move(line);
    fastrakPartialOverlong_ = lineOverlong;
  } else {
    fastrakPartialLine_.clear();
    fastrakPartialOverlong_ = false;
  }
  port.WriteByte(kFastrakRequest);
  if (!completedIsLine) return EndRead(noise, nullptr);
  if (!MayBeRecord(completed, completedOverlong)) return EndRead(noise + LineBytes(completed), nullptr);
  TTrackerReading parsed = reading_;
  bool ok = false;
  try {
    ok = ParseFastrakLine(completed, parsed);
  } catch (const EConvertError&) {
    EndRead(noise + LineBytes(completed), nullptr);
    throw;
  }
  if (!ok || !IsFastrakPosition(parsed)) return EndRead(noise + LineBytes(completed), nullptr);
  return EndRead(noise, &parsed);
}

void TTrackerLink::Shutdown() {
  if (port_ == nullptr) return;
  if (port_->IsOpen()) {
    port_->WriteByte(kFlockPoint);
    port_->WriteByte(kFlockSleep);
  }
  port_->Close();
}
