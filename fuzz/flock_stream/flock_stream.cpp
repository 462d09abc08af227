// Arbitrary bytes through the Flock of Birds read of the polling tick.
//
// Input: one flags byte (bit 0: point mode), then chunks, each a length byte and
// that many bytes, which arrive at the port before one ReadFOB. Checked on every
// read: only waiting bytes are read, point mode sends exactly one request and
// stream mode none, a stored reading is the decoding of the six bytes read last,
// which form a well-formed record, and its words are -32768..32764 in steps of 4.
#include <cstdint>
#include <string>

#include "../common/FuzzLink.h"
#include "tracker/FlockRecord.h"

using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  fuzz::TFuzzLink f(false, (data[0] & 1) == 0);
  const TTrackerState& state = f.state;
  TTrackerReading& reading = f.reading;
  fuzz::TFuzzPort& port = f.port;
  size_t i = 1;
  while (f.NextChunk(data, size, i)) {
    const TTrackerReading before = reading;
    const size_t readBefore = port.read.size();
    port.written.clear();
    const bool got = f.link.ReadFOB();
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
