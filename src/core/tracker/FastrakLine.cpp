#include "FastrakLine.h"

#include <limits>

std::string InvalidFloatMessage(std::string_view text) {
  std::string m = "'";
  m.append(text);
  m += "' is not a valid floating point value";
  return m;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool IsFastrakRecordStart(std::string_view line) {
  return line.size() >= 2 && line[0] == '0' && line[1] >= '1' && line[1] <= '4';
}

bool IsFastrakPosition(const TTrackerReading& r) {
  for (int32_t v : {r.FOBx, r.FOBy, r.FOBz}) {
    if (v < -kFastrakMaxPosition || v > kFastrakMaxPosition) return false;
  }
  return true;
}

TNumberResult ConvertHundredths(std::string_view text, int32_t& hundredths) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Integer digits, then fraction digits after an optional point.
  const size_t intStart = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  const std::string_view intDigits = text.substr(intStart, i - intStart);
  std::string_view fracDigits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    const size_t fracStart = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    fracDigits = text.substr(fracStart, i - fracStart);
  }
  if (i != text.size() || (intDigits.empty() && fracDigits.empty())) return TNumberResult::Invalid;

  // magnitude = integer part * 100 + the first two fraction digits; saturates far
  // above the 32-bit range so that long digit strings cannot overflow.
  constexpr uint64_t kCap = uint64_t{1} << 40;
  uint64_t magnitude = 0;
  for (char c : intDigits) {
    magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
    if (magnitude > kCap) magnitude = kCap;
  }
  for (size_t k = 0; k < 2; ++k) {
    const uint64_t d = k < fracDigits.size() ? static_cast<uint64_t>(fracDigits[k] - '0') : 0;
    magnitude = magnitude * 10 + d;
    if (magnitude > kCap) magnitude = kCap;
  }
  // Round on the digits after the hundredths: above one half up, below down, an
  // exact half to the even neighbour.
  if (fracDigits.size() > 2) {
    const char first = fracDigits[2];
    bool restNonZero = false;
    for (size_t k = 3; k < fracDigits.size(); ++k) {
      if (fracDigits[k] != '0') {
        restNonZero = true;
        break;
      }
    }
    const bool up = first > '5' || (first == '5' && (restNonZero || (magnitude & 1) != 0));
    if (up) ++magnitude;
  }
  const uint64_t limit = negative ? uint64_t{1} << 31 : (uint64_t{1} << 31) - 1;
  if (magnitude > limit) return TNumberResult::OutOfRange;
  hundredths = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude))
                        : static_cast<int32_t>(magnitude);
  return TNumberResult::Ok;
}

bool ParseFastrakLine(std::string_view line, TTrackerReading& reading) {
  if (line.size() < kFastrakMinLine) return false;
  int32_t* const fields[3] = {&reading.FOBx, &reading.FOBy, &reading.FOBz};
  size_t pos = kFastrakHeaderSize;
  int stored = 0;
  std::string carriedSign;
  while (pos < line.size() && stored < 3) {
    std::string text = carriedSign;
    carriedSign.clear();
    bool hasDigit = false;
    while (pos < line.size()) {
      const char ch = line[pos++];
      if (ch == '+' || ch == '-') {
        if (hasDigit) {
          carriedSign = ch;
          break;
        }
        text += ch;
      } else if (ch == '.' || IsDigit(ch)) {
        text += ch;
        if (ch != '.') hasDigit = true;
      } else if (hasDigit) {
        break;
      }
    }
    int32_t value = 0;
    switch (ConvertHundredths(text, value)) {
      case TNumberResult::Ok:
        *fields[stored++] = value;
        break;
      case TNumberResult::Invalid:
        throw EConvertError(InvalidFloatMessage(text));
      case TNumberResult::OutOfRange:
        return false;
    }
  }
  return stored == 3;
}
