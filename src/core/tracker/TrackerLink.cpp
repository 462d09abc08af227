#include "TrackerLink.h"

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

std::string SwitchOnPromptText(int32_t bps) {
  return "Please switch on the miniBIRD/FOB tracker and set it to 'FLY'. If the tracker was "
         "already on FLY, set it to STDBY briefly first. Press 'OK' when the panel light stops "
         "flashing. BPS: " +
         std::to_string(bps);
}

TTrackerLink::TTrackerLink(TTrackerState& state, TTrackerReading& reading, IClock& clock,
                           IMessagePresenter& messages, ITrackerHost& host)
    : state_(state), reading_(reading), clock_(clock), messages_(messages), host_(host) {}

void TTrackerLink::InitFOB() {
  if (state_.PortName.empty() || port_ == nullptr) return;
  ISerialPort& port = *port_;
  host_.StopPolling();
  TPollingGuard polling(host_);
  if (port.IsOpen()) port.Close();
  // A port that does not open shows up as silence below.
  port.Open(state_.PortName, state_.BPS);
  fastrakInLine_ = false;
  fastrakPartialLine_.clear();
  fastrakPartialOverlong_ = false;

  if (!state_.IsFastrak) {
    TConnectScope connecting(host_);
    for (uint32_t drained = 0; drained < kMaxDrain && port.BytesWaiting() > 0; ++drained) {
      port.ReadByte();
    }
    clock_.Sleep(kWaitBeforeExamine);
    port.WriteByte(kFlockExamine);
    port.WriteByte(kFlockModelIdParam);
    clock_.Sleep(kWaitForModelId);
    if (port.BytesWaiting() < static_cast<uint32_t>(kFlockModelIdSize)) {
      // The message stands on its own, not over the progress of an exchange that
      // has failed; the rest of the exchange goes on without it.
      connecting.End();
      messages_.ShowMessage(ConnectionErrorText(state_.PortName, state_.BPS, port.BytesWaiting()));
    } else {
      std::string id;
      for (int i = 0; i < kFlockModelIdSize; ++i) id += static_cast<char>(port.ReadByte());
      host_.SetCaption(id);
    }
    clock_.Sleep(kWaitBeforeAutoConfig);
    // RS-232-to-bus prefix for unit 1, then change value parameter 50 to 1.
    for (uint8_t b : {uint8_t{0xF1}, kFlockChange, uint8_t{0x32}, uint8_t{0x01}}) port.WriteByte(b);
    clock_.Sleep(kWaitAfterAutoConfig);
    port.WriteByte(kFlockPosition);
    port.WriteByte(state_.IsStreaming ? kFlockStream : kFlockPoint);
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

bool TTrackerLink::ReadFlockRecord() {
  ISerialPort& port = *port_;
  // Point mode: request the next record; it is consumed by the next read.
  if (!state_.IsStreaming) port.WriteByte(kFlockPoint);
  const uint32_t waiting = port.BytesWaiting();
  if (waiting < static_cast<uint32_t>(kFlockRecordSize)) return false;
  // Keep the newest 10 bytes: they hold the newest complete record unless it has
  // arrived with only 5 of its bytes so far.
  if (waiting >= 12) {
    for (uint32_t i = 0; i < waiting - 10; ++i) port.ReadByte();
  }
  for (size_t scanned = 1;; ++scanned) {
    const uint8_t first = port.ReadByte();
    if ((first & kFlockPhasingBit) != 0) {
      uint8_t record[kFlockRecordSize];
      record[0] = first;
      int have = 1;
      while (have < kFlockRecordSize) {
        const uint8_t b = port.ReadByte();
        if ((b & kFlockPhasingBit) == 0) {
          record[have++] = b;
          continue;
        }
        // A record that broke off (a lost byte, a cut line): its bytes would mix two
        // positions. Start again at the new first byte if its record is all there.
        if (++scanned >= kFlockMaxScan ||
            port.BytesWaiting() < static_cast<uint32_t>(kFlockRecordSize - 1)) {
          return false;
        }
        record[0] = b;
        have = 1;
      }
      reading_ = DecodeFlockRecord(record);
      return true;
    }
    if (scanned >= kFlockMaxScan) return false;
    if (port.BytesWaiting() < static_cast<uint32_t>(kFlockRecordSize)) return false;
  }
}

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
  size_t consumed = 0;
  do {
    const uint8_t c = port.ReadByte();
    ++consumed;
    if (c == 0x0D) {
      fastrakInLine_ = false;
      completed = std::move(line);
      completedOverlong = lineOverlong;
      line.clear();
      lineOverlong = false;
    }
    if (fastrakInLine_) {
      if (line.size() < kFastrakMaxLine) {
        line += static_cast<char>(c);
      } else {
        lineOverlong = true;
      }
    }
    if (c == 0x0A) fastrakInLine_ = true;
  } while (consumed < kFastrakMaxBytesPerRead && port.BytesWaiting() > 0);
  if (fastrakInLine_) {
    fastrakPartialLine_ = std::move(line);
    fastrakPartialOverlong_ = lineOverlong;
  } else {
    fastrakPartialLine_.clear();
    fastrakPartialOverlong_ = false;
  }
  port.WriteByte(kFastrakRequest);
  if (completedOverlong) return false;
  return ParseFastrakLine(completed, reading_);
}

void TTrackerLink::Shutdown() {
  if (port_ == nullptr) return;
  if (port_->IsOpen()) {
    port_->WriteByte(kFlockPoint);
    port_->WriteByte(kFlockSleep);
  }
  port_->Close();
}
