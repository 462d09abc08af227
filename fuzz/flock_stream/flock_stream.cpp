// Arbitrary bytes through the Flock of Birds read of the polling tick.
//
// Input: one flags byte (bit 0: point mode), then chunks, each a length byte and
// that many bytes, which arrive at the port before one ReadFOB. Checked on every
// read: only waiting bytes are read, point mode sends exactly one request and
// stream mode none, a stored reading is the decoding of the six bytes read last,
// which form a well-formed record, and its words are -32768..32764 in steps of 4.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Interfaces.h"
#include "tracker/FlockRecord.h"
#include "tracker/TrackerLink.h"

namespace {

class TFuzzPort : public ISerialPort {
 public:
  bool Open(const std::string&, int32_t) override { return open = true; }
  void Close() override { open = false; }
  bool IsOpen() const override { return open; }
  uint32_t BytesWaiting() override { return static_cast<uint32_t>(queue.size() - pos); }
  uint8_t ReadByte() override {
    if (pos >= queue.size()) std::abort();  // a read the queue did not announce
    last = static_cast<uint8_t>(queue[pos++]);
    read += static_cast<char>(last);
    return last;
  }
  void WriteByte(uint8_t b) override { written += static_cast<char>(b); }
  bool WriteString(const std::string& s) override {
    written += s;
    return true;
  }
  bool open = true;
  std::string queue, read, written;
  size_t pos = 0;
  uint8_t last = 0;
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

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  TTrackerState state;
  state.PortName = "COM1";
  state.IsStreaming = (data[0] & 1) == 0;
  state.TrackerReady = true;
  TTrackerReading reading;
  TNullClock clock;
  TNullMessages messages;
  TNullHost host;
  TFuzzPort port;
  TTrackerLink link(state, reading, clock, messages, host);
  link.SetPort(&port);
  size_t i = 1;
  while (i < size) {
    const size_t len = data[i++];
    const size_t take = len < size - i ? len : size - i;
    port.queue.append(reinterpret_cast<const char*>(data + i), take);
    i += take;
    const TTrackerReading before = reading;
    const size_t readBefore = port.read.size();
    port.written.clear();
    const bool got = link.ReadFOB();
    Check(port.written == (state.IsStreaming ? "" : "B"));
    const std::string consumed = port.read.substr(readBefore);
    if (got) {
      Check(consumed.size() >= kFlockRecordSize);
      const std::string rec = consumed.substr(consumed.size() - kFlockRecordSize);
      Check((rec[0] & 0x80) != 0);
      for (size_t k = 1; k < rec.size(); ++k) Check((rec[k] & 0x80) == 0);
      const TTrackerReading d = DecodeFlockRecord(reinterpret_cast<const uint8_t*>(rec.data()));
      Check(d.FOBx == reading.FOBx && d.FOBy == reading.FOBy && d.FOBz == reading.FOBz);
      for (int32_t v : {reading.FOBx, reading.FOBy, reading.FOBz}) {
        Check(v >= -32768 && v <= 32764 && v % 4 == 0);
      }
    } else {
      Check(before.FOBx == reading.FOBx && before.FOBy == reading.FOBy && before.FOBz == reading.FOBz);
      // Fewer than 6 bytes waiting: nothing is read.
      if (port.queue.size() - readBefore < static_cast<size_t>(kFlockRecordSize)) Check(consumed.empty());
    }
  }
  return 0;
}
