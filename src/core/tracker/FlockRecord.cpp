#include "FlockRecord.h"

int32_t DecodeFlockWord(uint8_t low, uint8_t high) {
  const uint16_t w = static_cast<uint16_t>((static_cast<unsigned>(low) << 2) +
                                           (static_cast<unsigned>(high) << 9));
  return static_cast<int16_t>(w);
}

TTrackerReading DecodeFlockRecord(const uint8_t record[kFlockRecordSize]) {
  TTrackerReading r;
  r.FOBx = DecodeFlockWord(static_cast<uint8_t>(record[0] & 0x7F), record[1]);
  r.FOBy = DecodeFlockWord(record[2], record[3]);
  r.FOBz = DecodeFlockWord(record[4], record[5]);
  return r;
}

namespace {

// Low byte: bits 8-2 of the word in bits 6-0; high byte: bits 15-9.
void EncodeWord(int32_t value, uint8_t& low, uint8_t& high) {
  const uint16_t w = static_cast<uint16_t>(static_cast<uint32_t>(value));
  low = static_cast<uint8_t>((w >> 2) & 0x7F);
  high = static_cast<uint8_t>((w >> 9) & 0x7F);
}

}  // namespace

TFlockRecord EncodeFlockRecord(int32_t x, int32_t y, int32_t z) {
  TFlockRecord rec{};
  EncodeWord(x, rec[0], rec[1]);
  EncodeWord(y, rec[2], rec[3]);
  EncodeWord(z, rec[4], rec[5]);
  rec[0] = static_cast<uint8_t>(rec[0] | kFlockPhasingBit);
  return rec;
}
