#pragma once
// The calibration text file: one line per point pair (MRIx MRIy MRIz FOBx FOBy FOBz),
// then a closing line "dx dy dz 77777 77777 77777" with the desired voxel; six
// integers separated by one blank, CR LF line ends.
#include <string>
#include <string_view>
#include <vector>

#include "Types.h"

// The marker in the fourth place that makes a line a closing line.
constexpr int32_t kClosingMarker = 77777;

// The most point lines a file may hold: the table's entries less the one that the
// closing line is read into. Everything the program saves can be opened again.
constexpr int kMaxCalibrationRows = kPointTableEntries - 1;

// The text for a number that is not a signed 32-bit decimal integer.
inline constexpr char kInvalidNumericInput[] = "Invalid numeric input";

struct TCalibration {
  std::vector<TPointPair> rows;  // the point lines in file order
  bool hasDesired = false;       // a closing line was read
  TVoxel desired;                // the desired voxel of the last closing line read
};

// Reads a calibration from a file's bytes. False, with `error` set to the text to
// show, when the file cannot be used; `out` is then unspecified and the caller's
// table must stay as it was.
//
// Six integers are read at a time, across line ends (CR LF, LF or CR); an integer
// is the run of characters between spaces, tabs and line ends, with an optional
// sign and decimal digits only ("+5" and "007" are accepted, "$1F", "1.5" and values
// outside -2147483648..2147483647 give kInvalidNumericInput). A number missing at the
// end of the file reads as 0. After the sixth number the rest of its line is
// skipped. A record whose fourth number is 77777 is a closing line: it sets the
// desired voxel (the last one wins) and takes no row. Blanks and blank lines after
// the last number of the file are ignored: they make no row. More than
// kMaxCalibrationRows point lines are refused with a message that names the limit.
// A file without any number (empty, or blanks and line ends only) is refused with
// "<fileName> holds no calibration: no point line and no closing line" ("The
// file" without a name). A file that holds closing lines only loads with no rows
// (`out.rows` empty, `out.hasDesired` true): the caller tells it by the row count.
// Reads only `bytes` and writes only `out` and `error`.
bool ParseCalibration(std::string_view bytes, TCalibration& out, std::string& error,
                      std::string_view fileName = {});

// The bytes of a calibration file for rows[0..count-1] and the desired voxel.
std::string FormatCalibration(const TPointPair* rows, int count, const TVoxel& desired);

// Copies a calibration that was read completely into the point table (entries
// 1..n of `table`, which has kPointTableEntries + 1 entries, entry 0 unused) and
// returns n, the number of point lines (0..kMaxCalibrationRows). A calibration
// without point lines gives 0 and zeroes entry 1: the grid then keeps one empty
// data row, as at program start. Entries after n are left as they were. The desired
// voxel is not touched: set it from `cal.desired` when `cal.hasDesired`.
int StoreCalibration(const TCalibration& cal, TPointPair* table);
