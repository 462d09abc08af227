#pragma once
// TIgtlReader: follows the byte stream an OpenIGTLink client sends to the server,
// message by message, without keeping any body: a header is collected (58 bytes),
// checked, and its body is then only counted off. Bytes may arrive in any chunks.
//
// Any header version 1..3 is accepted: from version 2 on, an extended header and
// metadata travel inside the body (3D Slicer greets with a version-2 STATUS), and
// the body size covers them, so skipping `body size` bytes skips them too.
//
// The stream is bad, for good, when a header has
//  - a version other than 1, 2 or 3,
//  - an empty type, or a byte outside printable ASCII (0x20..0x7E) before the
//    type's or the device name's first NUL,
//  - a body size above kIgtlMaxBodySize (64 MB).
// The body's CRC is not checked: the body is never kept.
#include <cstddef>
#include <cstdint>
#include <string>

#include "igtl/IgtlMessage.h"

constexpr uint64_t kIgtlMaxBodySize = 64ull * 1024 * 1024;

class TIgtlReader {
 public:
  // Takes the next bytes of the stream. False when the stream is bad (then for
  // every later call as well, which looks at no byte).
  bool Feed(const uint8_t* data, size_t size);

  bool Bad() const { return !error_.empty(); }
  // Why the stream is bad ("header version 513", "body of 68157440 bytes is over
  // 64 MB"); empty while it is good.
  const std::string& Error() const { return error_; }
  // Messages read whole (header and body) so far.
  uint64_t Messages() const { return messages_; }
  // The header read last (its body may still be arriving).
  const TIgtlHeader& LastHeader() const { return last_; }
  // True between messages (no header or body is partly read).
  bool AtBoundary() const { return headerFill_ == 0 && bodyLeft_ == 0; }
  // Body bytes of the current message still to come.
  uint64_t BodyLeft() const { return bodyLeft_; }

 private:
  // Checks the complete header in header_; sets error_ when it is bad.
  void TakeHeader();

  uint8_t header_[kIgtlHeaderSize] = {};
  size_t headerFill_ = 0;
  uint64_t bodyLeft_ = 0;
  uint64_t messages_ = 0;
  TIgtlHeader last_;
  std::string error_;
};
