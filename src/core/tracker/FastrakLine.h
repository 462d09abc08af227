#pragma once
// The position fields of a Polhemus Fastrak ASCII record line and the conversion
// of its numbers into hundredths of the Fastrak's output unit.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "Types.h"

// A number text of a record line that is not a decimal number. what() is
// "'<text>' is not a valid floating point value".
class EConvertError : public std::runtime_error {
 public:
  explicit EConvertError(const std::string& message) : std::runtime_error(message) {}
};

// The message of EConvertError for a number text.
std::string InvalidFloatMessage(std::string_view text);

constexpr uint8_t kFastrakRequest = 0x50;  // 'P': send one record
// A line shorter than this is not parsed.
constexpr size_t kFastrakMinLine = 9;
// Characters 1-3 of a line are the record header; the numbers start after it.
constexpr size_t kFastrakHeaderSize = 3;
// The largest coordinate a Fastrak reports, in hundredths of its output unit: a
// position field is "Sxxx.xx" (sign, three digits, point, two decimals), so no
// coordinate reaches 1000 units, in inches or in centimetres (the tracker's range is
// a few hundred of either). A larger value is no position.
constexpr int32_t kFastrakMaxPosition = 99999;

// True when a completed line starts as a record does: '0' (an output record), then
// the station number '1' to '4'.
bool IsFastrakRecordStart(std::string_view line);
// True when each coordinate lies within -kFastrakMaxPosition..kFastrakMaxPosition.
bool IsFastrakPosition(const TTrackerReading& r);

enum class TNumberResult {
  Ok,          // `hundredths` holds the value
  Invalid,     // not a decimal number
  OutOfRange,  // a decimal number whose hundredths do not fit in 32 bits
};

// Converts a number text into hundredths: value * 100 rounded to the nearest
// integer, halves to the even neighbour, computed exactly on the decimal digits
// (no binary floating point, no locale). Accepted texts: an optional single '+' or
// '-', then digits with at most one '.', with at least one digit in all: "12",
// "12.", "12.34", ".5", "+.5", "-007.250". Anything else is Invalid: "", "+", "-",
// ".", "+.", "+-1", "--1", "1.2.3", "1e5", " 1", "inf". A valid text whose result
// lies outside -2147483648..2147483647 is OutOfRange; `hundredths` is then left
// unchanged, as it is for Invalid.
TNumberResult ConvertHundredths(std::string_view text, int32_t& hundredths);

// Parses a completed record line into `reading`: from the 4th character, up to three
// numbers are split and converted in turn into FOBx, FOBy, FOBz. A number is a run of
// digits, '.', and signs; a sign directly after a digit ends the number and starts
// the next one ("12.34-5.67" is 12.34 and -5.67); any other character ends a number
// that has a digit and is skipped before one. After a number, parsing stops when the
// line has no characters left.
// Returns true when three numbers were stored. A line shorter than 9 characters is
// not parsed (false, nothing stored). Each number is stored as soon as it is
// converted, so a false result or an exception may leave the first one or two
// coordinates changed. A number text that is not a decimal number throws
// EConvertError; one whose hundredths do not fit in 32 bits stops the parse with
// false and is not stored.
bool ParseFastrakLine(std::string_view line, TTrackerReading& reading);
