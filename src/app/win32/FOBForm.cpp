#include "FOBForm.h"

#include <commctrl.h>

#include <algorithm>
#include <array>

#include "ControlIds.h"
#include "EventEdge.h"
#include "MessageLoop.h"
#include "reg/RegFormLook.h"

namespace win32 {

namespace {

constexpr COLORREF kWarningColor = Rgb(look::kWarningInk);

// The outer size of a window of this style that shows a client area of w by h.
SIZE Outer(HWND hwnd, int w, int h) {
  RECT r{0, 0, w, h};
  AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_EXSTYLE)));
  return {r.right - r.left, r.bottom - r.top};
}

}  // namespace

TFOBForm::TFOBForm(HWND owner) {
  RegisterWindowClass(win32ids::kTransformsClass, ObjectWindowProc<TFOBForm, &TFOBForm::hwnd_>,
                      GetSysColorBrush(COLOR_BTNFACE));
  fixed_ = PixelFont(look::kReportFont);
  fixedBold_ = PixelFont(look::kWorstRowFont);
  ui_ = PixelFont(look::kWarningFont);
  hwnd_ =
      CreateWindowExA(WS_EX_CONTROLPARENT, win32ids::kTransformsClass, design::kTransformsCaption, WS_OVERLAPPEDWINDOW,
                      CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, owner, nullptr, GetModuleHandleA(nullptr), this);

  CoregMemo = CreateChild(
      "EDIT", "",
      WS_VISIBLE | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL,
      hwnd_, win32ids::kIdCoregMemo, WS_EX_CLIENTEDGE);
  SetFont(CoregMemo, fixed_.get());
  SendMessageA(CoregMemo, EM_SETLIMITTEXT, 0, 0);

  CheckTable =
      CreateChild(WC_LISTVIEWA, "", WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                  hwnd_, win32ids::kIdCheckTable, WS_EX_CLIENTEDGE);
  ListView_SetExtendedListViewStyle(CheckTable, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
  SetFont(CheckTable, fixed_.get());
  SetColumns(false);
  CheckSummary = CreateChild("STATIC", "", SS_LEFT | SS_NOPREFIX, hwnd_, win32ids::kIdCheckSummary);
  SetFont(CheckSummary, fixed_.get());
  CheckWarning = CreateChild("STATIC", "", SS_LEFT | SS_NOPREFIX, hwnd_, win32ids::kIdCheckWarning);
  SetFont(CheckWarning, ui_.get());
  CheckLegend = CreateChild("STATIC", design::kCheckLegend, SS_LEFT | SS_NOPREFIX, hwnd_, win32ids::kIdCheckLegend);
  SetFont(CheckLegend, ui_.get());
  Resize(Px(look::kTransformsWidth), Px(look::kTransformsHeight));
}

TFOBForm::~TFOBForm() {
  if (IsWindow(hwnd_)) {
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

void TFOBForm::Resize(int clientWidth, int clientHeight) {
  SIZE s = Outer(hwnd_, clientWidth, clientHeight);
  SetWindowPos(hwnd_, nullptr, 0, 0, s.cx, s.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Layout();
}

void TFOBForm::SetLines(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) text += "\r\n";
    text += lines[i];
  }
  SetWindowTextA(CoregMemo, text.c_str());
  // The report measured in its font, sized by the look's rule.
  HDC dc = GetDC(CoregMemo);
  HGDIOBJ old = SelectObject(dc, fixed_.get());
  TEXTMETRICA tm;
  GetTextMetricsA(dc, &tm);
  look::TReportExtent report{static_cast<int>(lines.size()), 0, static_cast<int>(tm.tmHeight)};
  for (const std::string& l : lines) {
    SIZE s;
    GetTextExtentPoint32A(dc, l.c_str(), static_cast<int>(l.size()), &s);
    report.widestLine = std::max(report.widestLine, static_cast<int>(s.cx));
  }
  SelectObject(dc, old);
  ReleaseDC(CoregMemo, dc);
  RECT work;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const look::TPixelSize area{static_cast<int>(work.right - work.left), static_cast<int>(work.bottom - work.top)};
  if (auto size = TransformsClientSize(report, CheckShown(), area, ScreenDpi())) Resize(size->width, size->height);
}

std::vector<std::string> TFOBForm::Lines() const {
  std::vector<std::string> lines;
  const std::string text = WindowText(CoregMemo);
  if (text.empty()) return lines;
  size_t start = 0;
  for (size_t p; (p = text.find("\r\n", start)) != std::string::npos; start = p + 2)
    lines.push_back(text.substr(start, p - start));
  lines.push_back(text.substr(start));
  return lines;
}

void TFOBForm::SetColumns(bool withMm) {
  const std::vector<std::string> headers = CheckTableHeaders(withMm);
  HWND header = ListView_GetHeader(CheckTable);
  if (header && Header_GetItemCount(header) == static_cast<int>(headers.size())) return;
  while (SendMessageA(CheckTable, LVM_DELETECOLUMN, 0, 0)) {
  }
  // Row, then the errors in voxels and (with an MRI image) in mm, units in the headers.
  for (int c = 0; c < static_cast<int>(headers.size()); ++c) {
    LVCOLUMNA col{};
    col.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
    col.fmt = LVCFMT_RIGHT;
    col.cx = Px(c == 0 ? 60 : withMm ? 150 : 170);
    col.pszText = const_cast<char*>(headers[static_cast<size_t>(c)].c_str());
    SendMessageA(CheckTable, LVM_INSERTCOLUMNA, c, reinterpret_cast<LPARAM>(&col));
  }
  columns_ = static_cast<int>(headers.size());
}

void TFOBForm::SetCheck(const std::vector<TCheckTableRow>& rows, const std::string& summary,
                        const std::string& warning) {
  filling_ = true;
  ListView_DeleteAllItems(CheckTable);
  checkRows_.clear();
  worst_.clear();
  const bool withMm = std::any_of(rows.begin(), rows.end(), [](const TCheckTableRow& r) { return !r.residualMm.empty(); });
  SetColumns(withMm);
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const TCheckTableRow& r = rows[static_cast<size_t>(i)];
    checkRows_.push_back(r.row);
    worst_.push_back(r.worst);
    const std::vector<std::string> cells = CheckTableCells(r);
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = i;
    item.pszText = const_cast<char*>(cells[0].c_str());
    SendMessageA(CheckTable, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    for (int c = 1; c < static_cast<int>(cells.size()) && c < columns_; ++c) {
      item.iSubItem = c;
      item.pszText = const_cast<char*>(cells[c].c_str());
      SendMessageA(CheckTable, LVM_SETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
    }
  }
  filling_ = false;
  const bool shown = !rows.empty() || !summary.empty();
  ShowWindow(CheckTable, shown ? SW_SHOWNA : SW_HIDE);
  SetWindowTextA(CheckSummary, summary.c_str());
  ShowWindow(CheckSummary, summary.empty() ? SW_HIDE : SW_SHOWNA);
  SetWindowTextA(CheckWarning, warning.c_str());
  ShowWindow(CheckWarning, warning.empty() ? SW_HIDE : SW_SHOWNA);
  // The legend explains the worst row's mark.
  const bool marked = std::any_of(rows.begin(), rows.end(), [](const TCheckTableRow& r) { return r.worst; });
  ShowWindow(CheckLegend, marked ? SW_SHOWNA : SW_HIDE);
  Layout();
}

bool TFOBForm::CheckShown() const { return OwnVisible(CheckTable); }

void TFOBForm::Layout() {
  RECT r;
  GetClientRect(hwnd_, &r);
  const int w = r.right, h = r.bottom;
  const int line = Px(18);
  const int legendH = OwnVisible(CheckLegend) ? line : 0;
  const int summaryH = OwnVisible(CheckSummary) ? line : 0;
  const int warningH = OwnVisible(CheckWarning) ? 2 * line : 0;
  const int rest = std::max(0, h - legendH - summaryH - warningH);
  const int memoH = CheckShown() ? rest * look::kReportShare / (look::kReportShare + look::kCheckShare) : rest;
  MoveWindow(CoregMemo, 0, 0, w, memoH, TRUE);
  MoveWindow(CheckTable, 0, memoH, w, rest - memoH, TRUE);
  MoveWindow(CheckLegend, Px(4), rest, w - Px(8), legendH, TRUE);
  MoveWindow(CheckSummary, Px(4), rest + legendH, w - Px(8), summaryH, TRUE);
  MoveWindow(CheckWarning, Px(4), rest + legendH + summaryH, w - Px(8), warningH, TRUE);
}

void TFOBForm::ShowModal() {
  if (showing_) return;
  HWND owner = GetWindow(hwnd_, GW_OWNER);
  if (!placed_ && owner) {
    // Over the main window the first time; where the operator left it afterwards.
    RECT o, me;
    GetWindowRect(owner, &o);
    GetWindowRect(hwnd_, &me);
    SetWindowPos(hwnd_, nullptr, std::max(0L, o.left + Px(40)), std::max(0L, o.top + Px(40)), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    placed_ = true;
  }
  showing_ = true;
  if (owner) EnableWindow(owner, FALSE);
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  SetFocus(CoregMemo);
  AddDialogWindow(hwnd_);
  std::optional<int> quit = RunMessageLoop([this] { return !showing_; });
  RemoveDialogWindow(hwnd_);
  if (showing_) Close();
  if (quit) PostQuitMessage(*quit);
}

void TFOBForm::Close() {
  if (!showing_) return;
  // The owner is enabled before this window goes, so that it becomes active again.
  if (HWND owner = GetWindow(hwnd_, GW_OWNER)) EnableWindow(owner, TRUE);
  ShowWindow(hwnd_, SW_HIDE);
  showing_ = false;
}

LRESULT TFOBForm::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SIZE: Layout(); return 0;
    case WM_CLOSE: Close(); return 0;  // hidden, not destroyed: the main window owns it
    case WM_COMMAND:
      if (LOWORD(wp) == IDCANCEL) Close();
      return 0;
    case WM_DESTROY: showing_ = false; return 0;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wp);
      if (reinterpret_cast<HWND>(lp) == CoregMemo) {
        // Read-only, but a memo: it keeps the look of a text field.
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      if (reinterpret_cast<HWND>(lp) == CheckWarning) SetTextColor(dc, kWarningColor);
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_NOTIFY: return OnNotify(*reinterpret_cast<const NMHDR*>(lp));
  }
  return DefWindowProcA(hwnd_, msg, wp, lp);
}

LRESULT TFOBForm::OnNotify(const NMHDR& hdr) {
  if (hdr.hwndFrom != CheckTable) return 0;
  if (hdr.code == LVN_ITEMCHANGED) {
    const auto& n = reinterpret_cast<const NMLISTVIEW&>(hdr);
    const bool chosen = (n.uChanged & LVIF_STATE) && (n.uNewState & LVIS_SELECTED) && !(n.uOldState & LVIS_SELECTED);
    if (!filling_ && chosen && n.iItem >= 0 && n.iItem < static_cast<int>(checkRows_.size()) && onCheckRowChosen)
      onCheckRowChosen(checkRows_[static_cast<size_t>(n.iItem)]);
    return 0;
  }
  if (hdr.code == NM_CUSTOMDRAW) {
    // The worst row in bold red.
    auto& cd = *reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(&hdr));
    if (cd.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    const auto row = static_cast<size_t>(cd.nmcd.dwItemSpec);
    if (cd.nmcd.dwDrawStage == CDDS_ITEMPREPAINT && row < worst_.size() && worst_[row]) {
      cd.clrText = kWarningColor;
      SelectObject(cd.nmcd.hdc, fixedBold_.get());
      return CDRF_NEWFONT;
    }
  }
  return CDRF_DODEFAULT;
}

}  // namespace win32
