#include "CalibFile.h"

#include <charconv>
#include <cstdint>
#include <utility>

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

// The number of the line on which the byte at `offset` stands, from 1; CR LF, LF
// and CR each end a line.
int LineAt(std::string_view b, size_t offset) {
  int line = 1;
  for (size_t i = 0; i < offset && i < b.size(); ++i)
    if (b[i] == '\n' || (b[i] == '\r' && (i + 1 >= b.size() || b[i + 1] != '\n'))) ++line;
  return line;
}

// The line that holds the byte at `offset`, without its line end.
std::string_view LineAround(std::string_view b, size_t offset) {
  size_t start = offset, end = offset;
  while (start > 0 && b[start - 1] != '\r' && b[start - 1] != '\n') --start;
  while (end < b.size() && b[end] != '\r' && b[end] != '\n') ++end;
  return b.substr(start, end - start);
}

// Text from the file as a message shows it: printable ASCII, tabs as blanks, other
// bytes as '?', cut after kCalibrationErrorTextMax characters.
std::string Shown(std::string_view text) {
  std::string s;
  for (char c : text.substr(0, kCalibrationErrorTextMax)) {
    const unsigned char u = static_cast<unsigned char>(c);
    s += c == '\t' ? ' ' : (u < 0x20 || u >= 0x7f) ? '?' : c;
  }
  if (text.size() > kCalibrationErrorTextMax) s += "...";
  return s;
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
    tokenStart_ = pos_;
    while (pos_ < b_.size() && !IsBlank(b_[pos_])) ++pos_;
    if (pos_ == tokenStart_) {
      value = 0;
      return true;
    }
    return ParseInt32(Token(), value);
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

  // Where the number that ReadInt read last starts, and its text.
  size_t TokenStart() const { return tokenStart_; }
  std::string_view Token() const { return b_.substr(tokenStart_, pos_ - tokenStart_); }

 private:
  std::string_view b_;
  size_t pos_ = 0;
  size_t tokenStart_ = 0;
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

bool ParseCalibration(std::string_view bytes, TCalibration& out, TCalibrationError& error,
                      std::string_view fileName) {
  out = TCalibration{};
  error = TCalibrationError{};
  TReader reader(bytes);
  if (reader.AtEnd()) {
    // Loading nothing would clear the operator's table for no calibration at all.
    error.message = (fileName.empty() ? std::string("The file") : std::string(fileName)) +
                    " holds no calibration: no point line and no closing line";
    return false;
  }
  while (!reader.AtEnd()) {
    int32_t v[6];
    size_t recordStart = 0;
    for (int k = 0; k < 6; ++k) {
      if (!reader.ReadInt(v[k])) {
        error.message = kInvalidNumericInput;
        error.line = LineAt(bytes, reader.TokenStart());
        error.text = Shown(reader.Token());
        return false;
      }
      if (k == 0) recordStart = reader.TokenStart();
    }
    reader.SkipLine();
    if (v[3] == kClosingMarker) {
      out.hasDesired = true;
      out.desired = TVoxel{v[0], v[1], v[2]};
      continue;
    }
    if (static_cast<int>(out.rows.size()) >= kMaxCalibrationRows) {
      error.message = "The calibration file holds more than " +
                      std::to_string(kMaxCalibrationRows) + " point pairs; at most " +
                      std::to_string(kMaxCalibrationRows) + " can be loaded";
      error.line = LineAt(bytes, recordStart);
      error.text = Shown(LineAround(bytes, recordStart));
      return false;
    }
    out.rows.push_back(TPointPair{v[0], v[1], v[2], v[3], v[4], v[5]});
  }
  return true;
}

bool ParseCalibration(std::string_view bytes, TCalibration& out, std::string& error,
                      std::string_view fileName) {
  TCalibrationError where;
  const bool ok = ParseCalibration(bytes, out, where, fileName);
  error = std::move(where.message);
  return ok;
}

bool CheckCalibrationLines(std::string_view bytes, TCalibrationError& error) {
  error = TCalibrationError{};
  // Lines that start at or after contentEnd hold blanks only: the file's tail.
  size_t contentEnd = bytes.size();
  while (contentEnd > 0 && IsBlank(bytes[contentEnd - 1])) --contentEnd;
  size_t pos = 0;
  for (int line = 1; pos < contentEnd; ++line) {
    size_t end = pos;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    const std::string_view text = bytes.substr(pos, end - pos);
    int count = 0;
    for (size_t i = 0; i < text.size();) {
      if (text[i] == ' ' || text[i] == '\t') {
        ++i;
        continue;
      }
      size_t j = i;
      while (j < text.size() && text[j] != ' ' && text[j] != '\t') ++j;
      int32_t value;
      if (!ParseInt32(text.substr(i, j - i), value)) {
        error.line = line;
        error.text = Shown(text.substr(i, j - i));
        error.message = std::string(kInvalidNumericInput) + " \"" + error.text + "\"";
        return false;
      }
      ++count;
      i = j;
    }
    if (count != 6) {
      error.line = line;
      error.text = Shown(text);
      if (count == 0) {
        error.message = "the line is empty; a calibration line holds six numbers";
      } else {
        error.message = "the line holds " + std::to_string(count) +
                        (count == 1 ? " number" : " numbers") + " (\"" + error.text +
                        "\"); a calibration line holds six";
      }
      return false;
    }
    pos = end;  // past the line end: CR LF, LF or CR
    if (pos < bytes.size() && bytes[pos] == '\r') {
      ++pos;
      if (pos < bytes.size() && bytes[pos] == '\n') ++pos;
    } else if (pos < bytes.size()) {
      ++pos;
    }
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
