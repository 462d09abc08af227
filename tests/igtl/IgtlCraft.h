#pragma once
// Hand-made OpenIGTLink byte streams for the tests, built field by field here
// (not with the encoder under test), including the version-2 messages that
// 3D Slicer sends and Debian's libopenigtlink cannot make.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace igtltest {

inline void Put(std::string& s, uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

inline std::string Padded(const std::string& text, size_t size) {
  std::string s = text.substr(0, size);
  s.resize(size, '\0');
  return s;
}

// CRC-64 ECMA-182, bit by bit (polynomial division, most significant bit first).
inline uint64_t SlowCrc64(const std::string& bytes) {
  uint64_t crc = 0;
  for (unsigned char b : bytes) {
    for (int bit = 7; bit >= 0; --bit) {
      // Written without bools: GCC 12.2 at -O1 and above gets `if (inBit != topBit)`
      // on bools wrong here.
      const uint64_t feedback = (crc >> 63) ^ ((b >> bit) & 1u);
      crc = (crc << 1) ^ (feedback * 0x42F0E1EBA9EA3693ull);
    }
  }
  return crc;
}

// A 58-byte header with the given fields (type and device name taken as raw
// 12 and 20 bytes after padding).
inline std::string Header(uint16_t version, const std::string& type, const std::string& device,
                          uint64_t bodySize, uint64_t crc = 0, uint64_t timestamp = 0) {
  std::string h;
  Put(h, version, 2);
  h += Padded(type, 12);
  h += Padded(device, 20);
  Put(h, timestamp, 8);
  Put(h, bodySize, 8);
  Put(h, crc, 8);
  return h;
}

inline std::string Message(uint16_t version, const std::string& type, const std::string& device,
                           const std::string& body) {
  return Header(version, type, device, body.size(), SlowCrc64(body)) + body;
}

inline std::string StatusBody(uint16_t code, const std::string& text) {
  std::string b;
  Put(b, code, 2);
  Put(b, 0, 8);
  b += Padded("", 20);
  b += text;
  b.push_back('\0');
  return b;
}

// A version-2 message: the extended header (its size 12, the metadata header's
// size, the metadata's size, a message id), the content, the metadata header
// (entry count, then per entry key size, value encoding 3 = US-ASCII, value
// size) and the metadata (keys and values). The body size covers all of it.
inline std::string Version2Message(uint16_t version, const std::string& type, const std::string& device,
                                   const std::string& content,
                                   const std::vector<std::pair<std::string, std::string>>& meta,
                                   uint32_t messageId = 1) {
  std::string metaHeader, metaData;
  Put(metaHeader, meta.size(), 2);
  for (const auto& [key, value] : meta) {
    Put(metaHeader, key.size(), 2);
    Put(metaHeader, 3, 2);
    Put(metaHeader, value.size(), 4);
    metaData += key + value;
  }
  std::string body;
  Put(body, 12, 2);
  Put(body, metaHeader.size(), 2);
  Put(body, metaData.size(), 4);
  Put(body, messageId, 4);
  body += content + metaHeader + metaData;
  return Message(version, type, device, body);
}

// What 3D Slicer sends first on connecting: a version-2 STATUS OK.
inline std::string SlicerGreeting() {
  return Version2Message(2, "STATUS", "", StatusBody(1, ""), {{"Sender", "Slicer"}});
}

}  // namespace igtltest
