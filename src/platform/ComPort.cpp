// The parts of TComPort that do not depend on the operating system.
#include "ComPort.h"

#include <utility>

#include "SerialCapture.h"

TComPort::TComPort() : Handle(kInvalidHandle), Buffer(new uint8_t[kBufferSize]()) {}

TComPort::~TComPort() {
  if (IsOpen()) Close();
}

bool TComPort::IsOpen() const { return Handle != kInvalidHandle; }

bool TComPort::OpenFailed(TOpenError error, std::string text) {
  lastError_ = error;
  lastErrorText_ = std::move(text);
  if (capture_) capture_->Comment(lastErrorText_);
  return false;
}

void TComPort::WriteByte(uint8_t b) { WriteString(std::string(1, static_cast<char>(b))); }

uint32_t TComPort::BytesWaiting() {
  if (!IsOpen()) return 0;
  uint32_t count = 0;
  if (!SystemQueueCount(count)) {
    PurgeSystemQueue();
    DropPending();
    if (capture_) capture_->Purged();
    return 0;
  }
  count += pendingEnd_ - pendingBegin_;
  if (capture_) capture_->Waiting(count);
  return count;
}

uint8_t TComPort::ReadByte() {
  if (pendingBegin_ == pendingEnd_) {
    // The system's count stays: bytes it reported are read without waiting.
    pendingBegin_ = pendingEnd_ = 0;
    if (!IsOpen()) return lastByte_;
    pendingEnd_ = ReadAvailable();
    if (pendingEnd_ == 0) return lastByte_;
  }
  lastByte_ = Buffer[pendingBegin_++];
  if (capture_) capture_->Received(lastByte_);
  return lastByte_;
}
