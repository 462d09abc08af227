#pragma once
// The calibration text file: one line per point pair (MRIx MRIy MRIz FOBx FOBy FOBz),
// then a closing line "dx dy dz 77777 77777 77777" with the desired voxel; six
// integers separated by one blank, CR LF line ends.
#include <cstddef>
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

// Where reading a calibration failed, for messages that point into the file.
struct TCalibrationError {
  std::string message;  // what is wrong (ParseCalibration: exactly its `error`)
  int line = 0;         // the line that holds the fault, from 1 (line ends CR LF,
                        // LF or CR); 0 when the file as a whole is at fault
  std::string text;     // the offending number, or the line, as shown in messages:
                        // control and non-ASCII bytes as '?', cut after
                        // kCalibrationErrorTextMax characters with "..." added
};
constexpr size_t kCalibrationErrorTextMax = 40;

// ParseCalibration, reading the same files in the same way, that also tells where
// it stopped: the line of a malformed number (and the number), or the line of the
// first point line beyond kMaxCalibrationRows (and that line).
bool ParseCalibration(std::string_view bytes, TCalibration& out, TCalibrationError& error,
                      std::string_view fileName = {});

// The strict form of a calibration file, for tools that refuse what the window
// would read past: every line holds exactly six integers (as ParseCalibration takes
// them: spaces and tabs between, an optional sign, decimal digits, within int32),
// a closing line included. Blank lines are allowed only after the last number.
// True when the file has that form; else false with `error` naming the first line
// that breaks it:
//   Invalid numeric input "1.5"              a token that is not an integer
//   the line holds 5 numbers ("1 2 3 4 5"); a calibration line holds six
//   the line is empty; a calibration line holds six numbers
// Whether the file holds anything to load is left to ParseCalibration.
bool CheckCalibrationLines(std::string_view bytes, TCalibrationError& error);

// The bytes of a calibration file for rows[0..count-1] and the desired voxel.
std::string FormatCalibration(const TPointPair* rows, int count, const TVoxel& desired);

// Copies a calibration that was read completely into the point table (entries
// 1..n of `table`, which has kPointTableEntries + 1 entries, entry 0 unused) and
// returns n, the number of point lines (0..kMaxCalibrationRows). A calibration
// without point lines gives 0 and zeroes entry 1: the grid then keeps one empty
// data row, as at program start. Entries after n are left as they were. The desired
// voxel is not touched: set it from `cal.desired` when `cal.hasDesired`.
int StoreCalibration(const TCalibration& cal, TPointPair* table);
