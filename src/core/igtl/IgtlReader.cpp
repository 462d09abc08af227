#include "igtl/IgtlReader.h"

#include <algorithm>
#include <cstring>

namespace {

// Empty when the field holds printable ASCII up to its first NUL (or its end),
// otherwise what is wrong.
std::string CheckField(const uint8_t* p, size_t size, const char* what) {
  for (size_t i = 0; i < size && p[i] != 0; ++i) {
    if (p[i] < 0x20 || p[i] > 0x7E)
      return std::string(what) + " holds byte " + std::to_string(p[i]) + " at " + std::to_string(i);
  }
  return {};
}

}  // namespace

bool TIgtlReader::Feed(const uint8_t* data, size_t size) {
  while (size > 0 && error_.empty()) {
    if (bodyLeft_ > 0) {
      const size_t skip = static_cast<size_t>(std::min<uint64_t>(bodyLeft_, size));
      bodyLeft_ -= skip;
      data += skip;
      size -= skip;
      if (bodyLeft_ == 0) ++messages_;
      continue;
    }
    const size_t take = std::min(size, kIgtlHeaderSize - headerFill_);
    std::memcpy(header_ + headerFill_, data, take);
    headerFill_ += take;
    data += take;
    size -= take;
    if (headerFill_ == kIgtlHeaderSize) {
      headerFill_ = 0;
      TakeHeader();
    }
  }
  return error_.empty();
}

void TIgtlReader::TakeHeader() {
  last_ = DecodeIgtlHeader(header_);
  if (last_.version < 1 || last_.version > 3) {
    error_ = "header version " + std::to_string(last_.version);
    return;
  }
  if (header_[2] == 0) {
    error_ = "empty message type";
    return;
  }
  error_ = CheckField(header_ + 2, kIgtlTypeSize, "message type");
  if (error_.empty()) error_ = CheckField(header_ + 14, kIgtlDeviceNameSize, "device name");
  if (!error_.empty()) return;
  if (last_.bodySize > kIgtlMaxBodySize) {
    error_ = "body of " + std::to_string(last_.bodySize) + " bytes is over 64 MB";
    return;
  }
  bodyLeft_ = last_.bodySize;
  if (bodyLeft_ == 0) ++messages_;
}
