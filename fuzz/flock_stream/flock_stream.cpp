// Arbitrary bytes through the Flock of Birds read of the polling tick.
//
// Input: one flags byte (bit 0: point mode), then chunks, each a length byte and
// that many bytes, which arrive at the port before one ReadFOB. Checked on every
// read: only waiting bytes are read, point mode sends exactly one request and
// stream mode none; a stored reading is the decoding of the six bytes read last,
// which form a well-formed record, its words are -32768..32764 in steps of 4, and
// every byte the read took fits the record layout ending there (phasing bytes
// exactly 6 apart, none elsewhere) unless the stream ends in at least
// kFlockRecordsAfterNoise whole records; a read that stores nothing leaves the reading
// as it was; a noisy link stores nothing; the counters only grow, and the bytes
// discarded never exceed the bytes read; fewer than 6 bytes stay waiting.
#include <cstdint>
#include <string>

#include "../common/FuzzLink.h"
#include "tracker/FlockRecord.h"

using fuzz::Check;

namespace {

bool Phasing(char c) { return (static_cast<uint8_t>(c) & kFlockPhasingBit) != 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  fuzz::TFuzzLink f(false, (data[0] & 1) == 0);
  const TTrackerState& state = f.state;
  TTrackerReading& reading = f.reading;
  fuzz::TFuzzPort& port = f.port;
  TTrackerLink& link = f.link;
  size_t i = 1;
  while (f.NextChunk(data, size, i)) {
    const TTrackerReading before = reading;
    const size_t readBefore = port.read.size();
    const uint64_t readingsBefore = link.ReadingsCount(), discardedBefore = link.DiscardedBytes();
    port.written.clear();
    const bool got = link.ReadFOB();
    Check(port.written == (state.IsStreaming ? "" : "B"));
    const std::string& all = port.read;
    const size_t consumed = all.size() - readBefore;
    Check(link.DiscardedBytes() >= discardedBefore && link.DiscardedBytes() <= all.size());
    Check(link.ReadingsCount() == readingsBefore + (got ? 1 : 0));
    if (got) {
      Check(!link.Noisy());
      Check(all.size() >= kFlockRecordSize);
      const std::string rec = all.substr(all.size() - kFlockRecordSize);
      const TTrackerReading d = DecodeFlockRecord(reinterpret_cast<const uint8_t*>(rec.data()));
      Check(d.FOBx == reading.FOBx && d.FOBy == reading.FOBy && d.FOBz == reading.FOBz);
      for (int32_t v : {reading.FOBx, reading.FOBy, reading.FOBz}) {
        Check(v >= -32768 && v <= 32764 && v % 4 == 0);
      }
      // The bytes that end the stream form whole records (a phasing byte at every
      // sixth place back from the end, none elsewhere): at least
      // kFlockRecordsAfterNoise of them, or all bytes of this read (but for the
      // end of a record joined in the middle, at most five bytes without phasing
      // bit at the very start of the stream).
      size_t fit = 0;
      while (fit < all.size() && Phasing(all[all.size() - 1 - fit]) == ((fit + 1) % kFlockRecordSize == 0)) ++fit;
      const size_t whole = fit - fit % kFlockRecordSize;
      const size_t start = all.size() - whole;
      bool joined = start <= static_cast<size_t>(kFlockRecordSize - 1);
      for (size_t k = 0; joined && k < start; ++k) joined = !Phasing(all[k]);
      Check(whole >= kFlockRecordsAfterNoise * kFlockRecordSize || start <= readBefore || joined);
    } else {
      Check(before.FOBx == reading.FOBx && before.FOBy == reading.FOBy && before.FOBz == reading.FOBz);
      // Nothing waiting can be read before a first whole record has arrived: the
      // oldest five bytes are left alone.
      if (readBefore == 0 && port.queue.size() < static_cast<size_t>(kFlockRecordSize)) Check(consumed == 0);
    }
    // What could complete a record was taken: the backlog never grows.
    Check(port.queue.size() - port.pos < static_cast<size_t>(kFlockRecordSize));
  }
  return 0;
}
