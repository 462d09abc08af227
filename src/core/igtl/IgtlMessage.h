#pragma once
// OpenIGTLink messages as they go over the wire: the 58-byte header and the
// bodies of the two messages the server sends, TRANSFORM and STATUS. Every number
// is big-endian.
//
// Header (version 1):
//   0   version      uint16   1
//   2   type         char[12] "TRANSFORM", "STATUS", NUL-padded
//   14  device name  char[20] NUL-padded; a name of exactly 20 bytes has no NUL
//   34  timestamp    uint64   seconds since 1970 (high 32 bits) and the fraction
//                             of a second in units of 2^-32 (low 32 bits)
//   42  body size    uint64
//   50  CRC          uint64   CRC-64 (ECMA-182) of the body
// TRANSFORM body: 12 float32, the 3x3 rotation column by column, then the
// translation in millimetres (48 bytes).
// STATUS body: code uint16 (1 = OK), subcode int64, error name char[20], then the
// message text with its terminating NUL.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr size_t kIgtlHeaderSize = 58;
constexpr size_t kIgtlTypeSize = 12;
constexpr size_t kIgtlDeviceNameSize = 20;
constexpr size_t kIgtlTransformBodySize = 48;
constexpr size_t kIgtlStatusErrorNameSize = 20;
constexpr size_t kIgtlStatusFixedSize = 2 + 8 + kIgtlStatusErrorNameSize;
constexpr uint16_t kIgtlHeaderVersion = 1;

// Status codes used here (the protocol defines 0..19).
constexpr uint16_t kIgtlStatusOk = 1;
constexpr uint16_t kIgtlStatusBusy = 6;

// The generator polynomial of CRC-64 ECMA-182 (most significant bit first, no
// reflection, initial value 0, no final XOR).
constexpr uint64_t kIgtlCrc64Polynomial = 0x42F0E1EBA9EA3693ull;

// CRC-64 ECMA-182 of `size` bytes, continuing from `crc` (0 for a fresh one).
uint64_t IgtlCrc64(const uint8_t* data, size_t size, uint64_t crc = 0);

// A header as read from the wire; text fields end at their first NUL.
struct TIgtlHeader {
  uint16_t version = 0;
  std::string type;
  std::string deviceName;
  uint64_t timestamp = 0;  // seconds << 32 | fraction
  uint64_t bodySize = 0;
  uint64_t crc = 0;
};

// Reads the fields of the 58 bytes at `bytes`; nothing is checked.
TIgtlHeader DecodeIgtlHeader(const uint8_t* bytes);

// The timestamp field for a time in milliseconds since 1970-01-01 00:00 UTC.
// Times before 1970 give 0 (the protocol's "no timestamp").
uint64_t IgtlTimestamp(int64_t epochMs);

// The 3x4 upper part of a homogeneous transform in the order of the wire: the
// rotation's three columns, then the translation in millimetres.
using TIgtlMatrix = std::array<float, 12>;

// Identity rotation with the given translation.
TIgtlMatrix IgtlTranslation(const double translationMm[3]);

// A whole message: the header for `body` followed by the body. The type and the
// device name are cut to their field's size.
std::string EncodeIgtlMessage(std::string_view type, std::string_view deviceName, int64_t epochMs,
                              std::string_view body);

std::string EncodeIgtlTransform(std::string_view deviceName, const TIgtlMatrix& matrix,
                                int64_t epochMs);

// A STATUS message; `errorName` is cut to 19 bytes, so that its field always ends
// in a NUL (libopenigtlink keeps the name in 20 bytes and reads it as a C string),
// `text` is sent whole with its terminating NUL (a NUL inside it ends it early).
std::string EncodeIgtlStatus(std::string_view deviceName, uint16_t code, int64_t subcode,
                             std::string_view errorName, std::string_view text, int64_t epochMs);
