#pragma once
// What both tracker fuzz targets need: the tracker link over a port whose input
// queue is the fuzzer's bytes, with a clock, messages and a window that do nothing.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Interfaces.h"
#include "tracker/TrackerLink.h"

namespace fuzz {

// A failed check ends the run, so that libFuzzer keeps the input.
inline void Check(bool ok) {
  if (!ok) std::abort();
}

class TFuzzPort : public ISerialPort {
 public:
  bool Open(const std::string&, int32_t) override { return open = true; }
  void Close() override { open = false; }
  bool IsOpen() const override { return open; }
  uint32_t BytesWaiting() override { return static_cast<uint32_t>(queue.size() - pos); }
  uint8_t ReadByte() override {
    Check(pos < queue.size());  // a read the queue did not announce
    const uint8_t b = static_cast<uint8_t>(queue[pos++]);
    read += static_cast<char>(b);
    return b;
  }
  void WriteByte(uint8_t b) override { written += static_cast<char>(b); }
  bool WriteString(const std::string& s) override {
    written += s;
    return true;
  }
  bool open = true;
  std::string queue;    // every byte that arrived
  std::string read;     // every byte read, in order
  std::string written;  // bytes written since the test last cleared it
  size_t pos = 0;
};

class TNullClock : public IClock {
 public:
  void Sleep(uint32_t) override {}
  uint64_t NowMs() override { return 0; }
};

class TNullMessages : public IMessagePresenter {
 public:
  void ShowMessage(const std::string&) override {}
  void ShowError(const std::string&) override {}
};

class TNullHost : public ITrackerHost {
 public:
  void StopPolling() override {}
  void StartPolling() override {}
  void SetCaption(const std::string&) override {}
};

// A connected tracker link, ready for ReadFOB.
struct TFuzzLink {
  TTrackerState state;
  TTrackerReading reading;
  TNullClock clock;
  TNullMessages messages;
  TNullHost host;
  TFuzzPort port;
  TTrackerLink link{state, reading, clock, messages, host};

  explicit TFuzzLink(bool fastrak, bool streaming) {
    state.PortName = "COM1";
    state.IsFastrak = fastrak;
    state.IsStreaming = streaming;
    state.TrackerReady = true;
    link.SetPort(&port);
  }

  // Input after the flags byte: chunks, each a length byte and that many bytes.
  // Appends the next chunk to the port's queue; false at the end of the input.
  bool NextChunk(const uint8_t* data, size_t size, size_t& i) {
    if (i >= size) return false;
    const size_t len = data[i++];
    const size_t take = len < size - i ? len : size - i;
    port.queue.append(reinterpret_cast<const char*>(data + i), take);
    i += take;
    return true;
  }
};

}  // namespace fuzz
