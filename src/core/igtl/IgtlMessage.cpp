#include "igtl/IgtlMessage.h"

#include <algorithm>
#include <bit>

namespace {

// The CRC of every byte value, one byte at a time, most significant bit first.
constexpr std::array<uint64_t, 256> MakeCrcTable() {
  std::array<uint64_t, 256> table{};
  for (uint64_t b = 0; b < 256; ++b) {
    uint64_t crc = b << 56;
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & (1ull << 63)) != 0 ? (crc << 1) ^ kIgtlCrc64Polynomial : crc << 1;
    table[b] = crc;
  }
  return table;
}
constexpr std::array<uint64_t, 256> kCrcTable = MakeCrcTable();

void PutU16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v >> 8));
  out.push_back(static_cast<char>(v & 0xFF));
}

void PutU32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void PutU64(std::string& out, uint64_t v) {
  for (int shift = 56; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

// `text` cut to `size` bytes and padded with NULs.
void PutField(std::string& out, std::string_view text, size_t size) {
  const size_t n = std::min(text.size(), size);
  out.append(text.data(), n);
  out.append(size - n, '\0');
}

uint64_t GetU64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
  return v;
}

// A text field up to its first NUL.
std::string GetField(const uint8_t* p, size_t size) {
  const uint8_t* end = std::find(p, p + size, uint8_t{0});
  return std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(end - p));
}

}  // namespace

uint64_t IgtlCrc64(const uint8_t* data, size_t size, uint64_t crc) {
  for (size_t i = 0; i < size; ++i) crc = kCrcTable[((crc >> 56) ^ data[i]) & 0xFF] ^ (crc << 8);
  return crc;
}

TIgtlHeader DecodeIgtlHeader(const uint8_t* bytes) {
  TIgtlHeader h;
  h.version = static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
  h.type = GetField(bytes + 2, kIgtlTypeSize);
  h.deviceName = GetField(bytes + 14, kIgtlDeviceNameSize);
  h.timestamp = GetU64(bytes + 34);
  h.bodySize = GetU64(bytes + 42);
  h.crc = GetU64(bytes + 50);
  return h;
}

uint64_t IgtlTimestamp(int64_t epochMs) {
  if (epochMs <= 0) return 0;
  const uint64_t ms = static_cast<uint64_t>(epochMs);
  const uint64_t seconds = ms / 1000;
  // The fraction of the second in units of 2^-32, rounded to the nearest.
  const uint64_t fraction = (((ms % 1000) << 32) + 500) / 1000;
  return (seconds << 32) | (fraction & 0xFFFFFFFFull);
}

TIgtlMatrix IgtlTranslation(const double translationMm[3]) {
  TIgtlMatrix m{};
  m[0] = m[4] = m[8] = 1.0f;
  for (int i = 0; i < 3; ++i) m[9 + i] = static_cast<float>(translationMm[i]);
  return m;
}

std::string EncodeIgtlMessage(std::string_view type, std::string_view deviceName, int64_t epochMs,
                              std::string_view body) {
  std::string out;
  out.reserve(kIgtlHeaderSize + body.size());
  PutU16(out, kIgtlHeaderVersion);
  PutField(out, type, kIgtlTypeSize);
  PutField(out, deviceName, kIgtlDeviceNameSize);
  PutU64(out, IgtlTimestamp(epochMs));
  PutU64(out, body.size());
  PutU64(out, IgtlCrc64(reinterpret_cast<const uint8_t*>(body.data()), body.size()));
  out.append(body);
  return out;
}

std::string EncodeIgtlTransform(std::string_view deviceName, const TIgtlMatrix& matrix,
                                int64_t epochMs) {
  std::string body;
  body.reserve(kIgtlTransformBodySize);
  for (float f : matrix) PutU32(body, std::bit_cast<uint32_t>(f));
  return EncodeIgtlMessage("TRANSFORM", deviceName, epochMs, body);
}

std::string EncodeIgtlStatus(std::string_view deviceName, uint16_t code, int64_t subcode,
                             std::string_view errorName, std::string_view text, int64_t epochMs) {
  text = text.substr(0, std::min(text.size(), text.find('\0')));
  std::string body;
  body.reserve(kIgtlStatusFixedSize + text.size() + 1);
  PutU16(body, code);
  PutU64(body, static_cast<uint64_t>(subcode));
  PutField(body, errorName.substr(0, kIgtlStatusErrorNameSize - 1), kIgtlStatusErrorNameSize);
  body.append(text);
  body.push_back('\0');
  return EncodeIgtlMessage("STATUS", deviceName, epochMs, body);
}
