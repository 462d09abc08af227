// Fuzzes the calibration reader: whatever the bytes, no crash and no row beyond
// the table; what loads is written back and reads again as the same calibration.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "reg/CalibFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TCalibration cal;
  std::string error;
  if (!ParseCalibration(bytes, cal, error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (!error.empty() || cal.rows.size() > static_cast<size_t>(kMaxCalibrationRows)) std::abort();

  // Committing into a table of exactly the program's size stays inside it
  // (AddressSanitizer guards the heap block's ends).
  auto* table = new TPointPair[kPointTableEntries + 1];
  int n = StoreCalibration(cal, table);
  if (n != static_cast<int>(cal.rows.size())) std::abort();
  delete[] table;

  // A loaded calibration saves and loads again unchanged, unless a row holds the
  // closing marker in its fourth place (such a row cannot come from a file).
  for (const TPointPair& p : cal.rows)
    if (p.FOBx == kClosingMarker) std::abort();
  TVoxel desired = cal.hasDesired ? cal.desired : TVoxel{};
  std::string saved = FormatCalibration(cal.rows.data(), n, desired);
  TCalibration again;
  if (!ParseCalibration(saved, again, error)) std::abort();
  if (!(again.rows == cal.rows) || !again.hasDesired || !(again.desired == desired)) std::abort();
  return 0;
}
