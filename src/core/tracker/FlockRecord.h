#pragma once
// The 6-byte position record of an Ascension Flock of Birds / miniBIRD in
// position-only output, and the single-byte commands the program sends.
#include <array>
#include <cstdint>

#include "Types.h"

constexpr int kFlockRecordSize = 6;
using TFlockRecord = std::array<uint8_t, kFlockRecordSize>;

// Commands (one byte each).
constexpr uint8_t kFlockPoint = 0x42;     // 'B': send one record (also ends stream mode)
constexpr uint8_t kFlockStream = 0x40;    // '@': send records continuously
constexpr uint8_t kFlockPosition = 0x56;  // 'V': records carry position only
constexpr uint8_t kFlockExamine = 0x4F;   // 'O': examine value, one parameter byte follows
constexpr uint8_t kFlockChange = 0x50;    // 'P': change value, parameter and value follow
constexpr uint8_t kFlockSleep = 0x47;     // 'G': sleep
constexpr uint8_t kFlockRun = 0x46;       // 'F': run (wake up)
constexpr uint8_t kFlockModelIdParam = 15;  // examine parameter: system model identification
constexpr int kFlockModelIdSize = 10;       // bytes of the answer to it
// Bit 7 marks the first byte of a record (the phasing bit).
constexpr uint8_t kFlockPhasingBit = 0x80;

// One coordinate from its low byte L and high byte H: ((L' << 2) + (H << 9)) taken
// modulo 2^16 and read as a signed 16-bit word. `low` is used whole: the caller
// clears the phasing bit of X's low byte.
int32_t DecodeFlockWord(uint8_t low, uint8_t high);

// X, Y and Z of a record. The phasing bit is removed from X's low byte only; bit 7
// of the other bytes is used as it stands (0 in a well-formed record). The results
// are -32768..32764 in steps of 4.
TTrackerReading DecodeFlockRecord(const uint8_t record[kFlockRecordSize]);

// The record a device sends for a position; each value is taken modulo 2^16 and
// loses its two lowest bits, as on the wire. Used by the tracker emulator and tests.
TFlockRecord EncodeFlockRecord(int32_t x, int32_t y, int32_t z);
