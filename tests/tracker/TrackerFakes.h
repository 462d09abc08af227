#pragma once
// Test doubles for the tracker link: a serial port with a scripted input queue, a
// clock, a message presenter and a window, all writing into one trace so that a
// test can check the order of everything the link did.
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "Interfaces.h"
#include "tracker/TrackerLink.h"

namespace trackertest {

using TTrace = std::vector<std::string>;

std::string HexByte(uint8_t b);

class TFakePort : public ISerialPort {
 public:
  explicit TFakePort(TTrace* trace = nullptr) : trace_(trace) {}

  bool Open(const std::string& name, int32_t baud) override;
  void Close() override;
  bool IsOpen() const override { return open; }
  uint32_t BytesWaiting() override;
  uint8_t ReadByte() override;
  void WriteByte(uint8_t b) override { WriteString(std::string(1, static_cast<char>(b))); }
  bool WriteString(const std::string& s) override;
  TOpenError LastError() const override { return lastError; }
  std::string LastErrorText() const override { return lastErrorText; }

  // Bytes arriving from the device.
  void Feed(const std::string& bytes) { input.insert(input.end(), bytes.begin(), bytes.end()); }
  void Feed(std::initializer_list<uint8_t> bytes) { input.insert(input.end(), bytes.begin(), bytes.end()); }

  std::deque<char> input;
  std::string written;         // every byte written, in order
  bool open = false;
  bool openSucceeds = true;
  // What a failed Open reports (a successful one reports None).
  TOpenError openError = TOpenError::Other;
  std::string openErrorText;
  TOpenError lastError = TOpenError::None;
  std::string lastErrorText;
  int opens = 0, closes = 0;
  std::string openedName;
  int32_t openedBaud = 0;
  size_t reads = 0;            // ReadByte calls
  size_t waitingQueries = 0;   // BytesWaiting calls
  uint8_t buffer = 0;          // what ReadByte returns when nothing is waiting
  // Called after each written byte (a device answering).
  std::function<void(uint8_t)> onWrite;

 private:
  TTrace* trace_;
};

class TFakeClock : public IClock {
 public:
  explicit TFakeClock(TTrace* trace = nullptr) : trace_(trace) {}
  void Sleep(uint32_t ms) override;
  uint64_t NowMs() override { return now; }
  uint64_t now = 0;
  std::vector<uint32_t> sleeps;
  std::function<void(uint32_t)> onSleep;

 private:
  TTrace* trace_;
};

class TFakeMessages : public IMessagePresenter {
 public:
  explicit TFakeMessages(TTrace* trace = nullptr) : trace_(trace) {}
  void ShowMessage(const std::string& text) override;
  void ShowError(const std::string& text) override;
  std::vector<std::string> messages, errors;
  std::function<void(const std::string&)> onMessage;

 private:
  TTrace* trace_;
};

class TFakeHost : public ITrackerHost {
 public:
  explicit TFakeHost(TTrace* trace = nullptr) : trace_(trace) {}
  void StopPolling() override;
  void StartPolling() override;
  void SetCaption(const std::string& c) override;
  void BeginConnect() override;
  void EndConnect() override;
  bool polling = true;
  std::string caption = "Zeltra";
  int begins = 0, ends = 0;

 private:
  TTrace* trace_;
};

// A record as the device sends it.
std::string FlockBytes(int32_t x, int32_t y, int32_t z);

}  // namespace trackertest
