#include "CalibFile.h"

#include <charconv>
#include <cstdint>

namespace {

// Separators between numbers: spaces, tabs and line ends.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// An optional sign followed by one or more decimal digits, within int32_t.
bool ParseInt32(std::string_view token, int32_t& value) {
  size_t i = 0;
  bool negative = false;
  if (token[0] == '+' || token[0] == '-') {
    negative = token[0] == '-';
    i = 1;
  }
  if (i == token.size()) return false;
  int64_t magnitude = 0;
  for (; i < token.size(); ++i) {
    char c = token[i];
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > 2147483648LL) return false;  // stays bounded for long digit runs
  }
  if (!negative && magnitude > 2147483647LL) return false;
  value = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return true;
}

class TReader {
 public:
  explicit TReader(std::string_view bytes) : b_(bytes) {}

  // True when only blanks remain.
  bool AtEnd() const {
    size_t p = pos_;
    while (p < b_.size() && IsBlank(b_[p])) ++p;
    return p >= b_.size();
  }

  // The next integer; 0 when the file ends before it. False on a malformed number.
  bool ReadInt(int32_t& value) {
    while (pos_ < b_.size() && IsBlank(b_[pos_])) ++pos_;
    size_t start = pos_;
    while (pos_ < b_.size() && !IsBlank(b_[pos_])) ++pos_;
    if (pos_ == start) {
      value = 0;
      return true;
    }
    return ParseInt32(b_.substr(start, pos_ - start), value);
  }

  // Skips the rest of the current line and its line end (CR LF, LF or CR).
  void SkipLine() {
    while (pos_ < b_.size() && b_[pos_] != '\r' && b_[pos_] != '\n') ++pos_;
    if (pos_ >= b_.size()) return;
    if (b_[pos_] == '\r') {
      ++pos_;
      if (pos_ < b_.size() && b_[pos_] == '\n') ++pos_;
    } else {
      ++pos_;
    }
  }

 private:
  std::string_view b_;
  size_t pos_ = 0;
};

void AppendInt(std::string& s, int32_t v) {
  char buf[16];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  s.append(buf, r.ptr);
}

void AppendLine(std::string& s, const int32_t (&v)[6]) {
  for (int k = 0; k < 6; ++k) {
    if (k > 0) s += ' ';
    AppendInt(s, v[k]);
  }
  s += "\r\n";
}

}  // namespace

bool ParseCalibration(std::string_view bytes, TCalibration& out, std::string& error,
                      std::string_view fileName) {
  out = TCalibration{};
  error.clear();
  TReader reader(bytes);
  if (reader.AtEnd()) {
    // Loading nothing would clear the operator's table for no calibration at all.
    error = (fileName.empty() ? std::string("The file") : std::string(fileName)) +
            " holds no calibration: no point line and no closing line";
    return false;
  }
  while (!reader.AtEnd()) {
    int32_t v[6];
    for (int k = 0; k < 6; ++k) {
      if (!reader.ReadInt(v[k])) {
        error = kInvalidNumericInput;
        return false;
      }
    }
    reader.SkipLine();
    if (v[3] == kClosingMarker) {
      out.hasDesired = true;
      out.desired = TVoxel{v[0], v[1], v[2]};
      continue;
    }
    if (static_cast<int>(out.rows.size()) >= kMaxCalibrationRows) {
      error = "The calibration file holds more than " + std::to_string(kMaxCalibrationRows) +
              " point pairs; at most " + std::to_string(kMaxCalibrationRows) +
              " can be loaded";
      return false;
    }
    out.rows.push_back(TPointPair{v[0], v[1], v[2], v[3], v[4], v[5]});
  }
  return true;
}

std::string FormatCalibration(const TPointPair* rows, int count, const TVoxel& desired) {
  std::string s;
  if (count < 0) count = 0;
  s.reserve(static_cast<size_t>(count + 1) * 40);
  for (int r = 0; r < count; ++r) {
    const TPointPair& p = rows[r];
    AppendLine(s, {p.MRIx, p.MRIy, p.MRIz, p.FOBx, p.FOBy, p.FOBz});
  }
  AppendLine(s, {desired.x, desired.y, desired.z, kClosingMarker, kClosingMarker, kClosingMarker});
  return s;
}

int StoreCalibration(const TCalibration& cal, TPointPair* table) {
  int n = static_cast<int>(cal.rows.size());
  if (n > kMaxCalibrationRows) n = kMaxCalibrationRows;
  for (int r = 0; r < n; ++r) table[r + 1] = cal.rows[static_cast<size_t>(r)];
  if (n == 0) table[1] = TPointPair{};
  return n;
}
