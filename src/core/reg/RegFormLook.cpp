#include "RegFormLook.h"

#include <algorithm>

namespace {

using look::TPixelSize;

// Room around the report's lines for the window's frame and the memo's scroll bars.
constexpr int kReportFrame = 48;
// Room for the landmark check below the report.
constexpr int kCheckRoom = 240;
// What the window leaves of the screen's work area, across and down.
constexpr int kScreenMarginX = 40, kScreenMarginY = 80;

constexpr TShortcutKey kShortcuts[] = {
    {"F1", false, 0, 1},         {"F2", false, 0, 2},        {"F3", false, 0, 3},
    {"F4", false, 0, 4},         {"F5", false, 0, 5},        {"F6", false, 0, 6},
    {"Ctrl+O", true, 'O', 0},    {"Ctrl+S", true, 'S', 0},
};
static_assert(std::size(kShortcuts) == static_cast<size_t>(TShortcut::CtrlS),
              "one key for every shortcut but None, in TShortcut's order");

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

int ScaledPixels(int designPixels, int dpi) {
  // Rounded half away from zero, as the system's own scaling does.
  const int64_t product = int64_t{designPixels} * dpi;
  return static_cast<int>(product >= 0 ? (product + 48) / 96 : (product - 48) / 96);
}

std::optional<TPixelSize> TransformsClientSize(const look::TReportExtent& report, bool checkShown,
                                               std::optional<TPixelSize> workArea, int dpi) {
  if (report.lines <= 0) return std::nullopt;
  auto px = [dpi](int design) { return ScaledPixels(design, dpi); };
  TPixelSize size{std::max(px(look::kTransformsWidth), report.widestLine + px(kReportFrame)),
                  std::max(px(look::kTransformsHeight), report.lineHeight * (report.lines + 1) + px(kReportFrame))};
  if (checkShown) size.height += px(kCheckRoom);
  if (workArea) {
    size.width = std::min(size.width, workArea->width - px(kScreenMarginX));
    size.height = std::min(size.height, workArea->height - px(kScreenMarginY));
  }
  return size;
}

std::vector<std::string> CheckTableCells(const TCheckTableRow& row) {
  std::vector<std::string> cells{std::to_string(row.row) + (row.worst ? look::kWorstRowMark : ""), row.residual,
                                 row.leaveOneOut};
  if (!row.residualMm.empty()) cells.insert(cells.end(), {row.residualMm, row.leaveOneOutMm});
  return cells;
}

std::vector<std::string> CheckTableHeaders(bool withMm) {
  std::vector<std::string> headers{design::kCheckHeaderRow, design::kCheckHeaderResidual,
                                   design::kCheckHeaderLeaveOneOut};
  if (withMm) headers.insert(headers.end(), {design::kCheckHeaderResidualMm, design::kCheckHeaderLeaveOneOutMm});
  return headers;
}

const TShortcutKey* ShortcutKey(TShortcut shortcut) {
  const int i = static_cast<int>(shortcut) - 1;
  return i >= 0 && i < static_cast<int>(std::size(kShortcuts)) ? &kShortcuts[i] : nullptr;
}

const char* ShortcutText(TShortcut shortcut) {
  const TShortcutKey* k = ShortcutKey(shortcut);
  return k ? k->text : "";
}

std::optional<int32_t> ParseSpinEditText(std::string_view text) {
  std::string_view t = Trimmed(text);
  bool negative = false;
  if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  if (t.empty()) return std::nullopt;
  int64_t v = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
    if (v > int64_t{1} << 31) return std::nullopt;
  }
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(v);
}

int32_t SpinEditValue(std::string_view text) { return ParseSpinEditText(text).value_or(0); }

bool IsSpinEditText(std::string_view text) {
  const std::string_view t = Trimmed(text);
  return t.empty() || t == "-" || t == "+" || ParseSpinEditText(t).has_value();
}
