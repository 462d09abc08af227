// Arbitrary bytes through the Fastrak read of the polling tick and the number
// conversion.
//
// Input: one flags byte, then chunks, each a length byte and that many bytes, which
// arrive at the port before one ReadFOB. Checked on every read: only waiting bytes
// are read, exactly one request 0x50 is sent, also when the read fails with a
// conversion error, the error names its number text, a read that fails changes no
// coordinate and leaves the link noisy when it ends in a conversion error, a stored
// position lies within the tracker's range and came from a line that starts as a
// record (its "0" and station digit read just before), a stored position clears
// the noise state, the unfinished line is bounded and empty outside a line. Flags bit 0 also feeds the whole input to ParseFastrakLine; every number
// text of two decimals or fewer is compared with the C library's conversion.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "../common/FuzzLink.h"
#include "tracker/FastrakLine.h"

namespace {

using fuzz::Check;

const std::string kSuffix = "' is not a valid floating point value";

// The number texts of a line can only hold digits, '.', '+' and '-'.
void CheckMessage(const std::string& m) {
  Check(m.size() >= kSuffix.size() + 1 && m[0] == '\'');
  Check(m.compare(m.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0);
  for (size_t k = 1; k < m.size() - kSuffix.size(); ++k) {
    const char c = m[k];
    Check((c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-');
  }
}

// Compares a valid number text with strtod where the result is no tie.
void CompareWithStrtod(const std::string& text) {
  int32_t v = 0;
  const TNumberResult r = ConvertHundredths(text, v);
  const size_t point = text.find('.');
  const size_t decimals = point == std::string::npos ? 0 : text.size() - point - 1;
  if (r != TNumberResult::Ok || decimals > 2 || text.size() > 12) return;
  const double d = std::strtod(text.c_str(), nullptr) * 100;
  Check(static_cast<double>(v) == std::nearbyint(d));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1) {
    TTrackerReading r;
    const std::string line(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
      ParseFastrakLine(line, r);
    } catch (const EConvertError& e) {
      CheckMessage(e.what());
    }
    // Split on blanks into candidate number texts for the conversion check.
    std::string word;
    for (char c : line + " ") {
      if (c == ' ') {
        if (!word.empty()) CompareWithStrtod(word);
        word.clear();
      } else {
        word += c;
      }
    }
  }
  fuzz::TFuzzLink f(true, true);
  TTrackerReading& reading = f.reading;
  TTrackerLink& link = f.link;
  fuzz::TFuzzPort& port = f.port;
  size_t i = 1;
  while (f.NextChunk(data, size, i)) {
    const TTrackerReading before = reading;
    const size_t readBefore = port.read.size();
    const uint64_t discardedBefore = link.DiscardedBytes();
    port.written.clear();
    bool got = false;
    bool failed = false;
    try {
      got = link.ReadFOB();
    } catch (const EConvertError& e) {
      CheckMessage(e.what());
      failed = true;
      Check(link.Noisy());
      Check(link.DiscardedBytes() > discardedBefore);
    }
    Check(port.written == "P");
    if (!got) Check(before.FOBx == reading.FOBx && before.FOBy == reading.FOBy && before.FOBz == reading.FOBz);
    if (got) {
      Check(!failed && !link.Noisy());
      Check(IsFastrakPosition(reading));
      // The newest line of the read: from the last line feed before the read's
      // last carriage return (a line feed within a line starts a new line) to that
      // carriage return, with no other carriage return between.
      const size_t cr = port.read.rfind('\r');
      Check(cr != std::string::npos && cr >= readBefore);
      const size_t prevCr = cr == 0 ? std::string::npos : port.read.rfind('\r', cr - 1);
      const size_t lf = cr == 0 ? std::string::npos : port.read.rfind('\n', cr - 1);
      Check(lf != std::string::npos && (prevCr == std::string::npos || lf > prevCr));
      Check(cr - lf > kFastrakMinLine);
      Check(IsFastrakRecordStart(std::string_view(port.read).substr(lf + 1, cr - lf - 1)));
    }
    Check(link.DiscardedBytes() <= port.read.size());
    Check(link.FastrakPartialLine().size() <= kFastrakMaxLine);
    if (!link.FastrakInLine()) Check(link.FastrakPartialLine().empty());
  }
  return 0;
}
