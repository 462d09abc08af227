#include "TrackerFakes.h"

#include <cstdio>

namespace trackertest {

std::string HexByte(uint8_t b) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02x", b);
  return buf;
}

bool TFakePort::Open(const std::string& name, int32_t baud) {
  ++opens;
  openedName = name;
  openedBaud = baud;
  open = openSucceeds;
  lastError = open ? TOpenError::None : openError;
  lastErrorText = open ? std::string() : openErrorText;
  if (trace_) trace_->push_back("open " + name + " " + std::to_string(baud));
  return open;
}

void TFakePort::Close() {
  ++closes;
  open = false;
  if (trace_) trace_->push_back("close");
}

uint32_t TFakePort::BytesWaiting() {
  ++waitingQueries;
  return open ? static_cast<uint32_t>(input.size()) : 0;
}

uint8_t TFakePort::ReadByte() {
  ++reads;
  if (open && !input.empty()) {
    buffer = static_cast<uint8_t>(input.front());
    input.pop_front();
  }
  return buffer;
}

bool TFakePort::WriteString(const std::string& s) {
  if (!open) return s.empty();
  for (char c : s) {
    written += c;
    if (trace_) trace_->push_back("w " + HexByte(static_cast<uint8_t>(c)));
    if (onWrite) onWrite(static_cast<uint8_t>(c));
  }
  return true;
}

void TFakeClock::Sleep(uint32_t ms) {
  sleeps.push_back(ms);
  now += ms;
  if (trace_) trace_->push_back("sleep " + std::to_string(ms));
  if (onSleep) onSleep(ms);
}

void TFakeMessages::ShowMessage(const std::string& text) {
  messages.push_back(text);
  if (trace_) trace_->push_back("message " + text);
  if (onMessage) onMessage(text);
}

void TFakeMessages::ShowError(const std::string& text) {
  errors.push_back(text);
  if (trace_) trace_->push_back("error " + text);
}

void TFakeHost::StopPolling() {
  polling = false;
  if (trace_) trace_->push_back("stop polling");
}

void TFakeHost::StartPolling() {
  polling = true;
  if (trace_) trace_->push_back("start polling");
}

void TFakeHost::SetCaption(const std::string& c) {
  caption = c;
  if (trace_) trace_->push_back("caption " + c);
}

void TFakeHost::BeginConnect() {
  ++begins;
  if (trace_) trace_->push_back("begin connect");
}

void TFakeHost::EndConnect() {
  ++ends;
  if (trace_) trace_->push_back("end connect");
}

std::string FlockBytes(int32_t x, int32_t y, int32_t z) {
  const TFlockRecord r = EncodeFlockRecord(x, y, z);
  return std::string(r.begin(), r.end());
}

}  // namespace trackertest
