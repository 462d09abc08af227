// Arbitrary bytes from a client through the OpenIGTLink reader.
//
// Input: one byte that chooses the chunk sizes, then the stream. The stream is
// read twice, in one piece and in chunks; both readings must agree on every
// outcome (bad or not and why, messages read, position in the current message).
// Also checked: a bad stream stays bad and takes no byte more; a good one has
// read no more messages than its headers allow, and its last header has a
// version 1..3 and a body of at most 64 MB.
#include <cstdint>
#include <cstdlib>

#include "igtl/IgtlReader.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const unsigned pattern = data[0];
  ++data;
  --size;

  TIgtlReader whole;
  const bool wholeOk = whole.Feed(data, size);
  Check(wholeOk == !whole.Bad());

  TIgtlReader chunked;
  size_t at = 0;
  bool wentBad = false;
  for (unsigned k = 1; at < size; ++k) {
    const size_t n = std::min<size_t>(size - at, 1 + (pattern * k) % 97);
    const uint64_t messages = chunked.Messages();
    const bool ok = chunked.Feed(data + at, n);
    if (wentBad) Check(!ok && chunked.Messages() == messages);
    wentBad = wentBad || !ok;
    at += n;
  }

  Check(whole.Bad() == chunked.Bad());
  Check(whole.Error() == chunked.Error());
  Check(whole.Messages() == chunked.Messages());
  Check(whole.AtBoundary() == chunked.AtBoundary());
  Check(whole.BodyLeft() == chunked.BodyLeft());
  Check(whole.Messages() <= size / kIgtlHeaderSize);
  if (!whole.Bad() && (whole.Messages() > 0 || whole.BodyLeft() > 0)) {
    const TIgtlHeader& h = whole.LastHeader();
    Check(h.version >= 1 && h.version <= 3);
    Check(h.bodySize <= kIgtlMaxBodySize);
    Check(!h.type.empty());
  }
  // After a bad header nothing more is taken.
  if (whole.Bad()) {
    const uint64_t messages = whole.Messages();
    Check(!whole.Feed(data, size) && whole.Messages() == messages);
  }
  return 0;
}
