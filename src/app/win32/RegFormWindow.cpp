#include "RegFormWindow.h"

#include <commctrl.h>

#include "ControlIds.h"
#include "Controls.h"
#include "EventEdge.h"
#include "FOBForm.h"
#include "MessageLoop.h"
#include "Win32Services.h"

namespace win32 {

namespace {

constexpr UINT_PTR kTimer1Id = 1;
constexpr COLORREF kBarGrey = Rgb(look::kBarGrey);

// The status line's strip: the view behind it is its creation parameter.
LRESULT CALLBACK StatusProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return AtEventEdge([&]() -> LRESULT {
    if (msg == WM_NCCREATE)
      SetWindowLongPtrA(hwnd, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams));
    auto* view = reinterpret_cast<TWin32RegFormView*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    switch (msg) {
      case WM_ERASEBKGND: return 1;  // the paint covers everything
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (view) view->PaintStatusLine(dc);
        EndPaint(hwnd, &ps);
        return 0;
      }
      case WM_PRINTCLIENT:
        if (view) view->PaintStatusLine(reinterpret_cast<HDC>(wp));
        return 0;
      case WM_NCDESTROY: SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0); break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
  });
}

bool IsEditId(int id) { return id >= win32ids::kIdEditBase && id < win32ids::kIdEditBase + kEditCount; }

bool IsUpDownId(int id, int& edit) {
  edit = id - win32ids::kIdEditBase - win32ids::kUpDownIdOffset;
  return edit >= 0 && edit < kEditCount;
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction

TWin32RegFormView::TWin32RegFormView(const TRegFormServices& services, TWin32WaitClock* progress)
    : progress_(progress) {
  RegisterControlClasses();
  RegisterWindowClass(win32ids::kMainClass, ObjectWindowProc<TWin32RegFormView, &TWin32RegFormView::hwnd_>,
                      GetSysColorBrush(COLOR_BTNFACE));
  menu_ = BuildMainMenu();
  accelerators_ = BuildAccelerators();
  // Centred on the screen.
  RECT work;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const int w = Px(look::kWidth), h = Px(look::kHeight);
  hwnd_ = CreateWindowExA(WS_EX_CONTROLPARENT, win32ids::kMainClass, design::kCaption,
                          WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, (work.left + work.right - w) / 2,
                          (work.top + work.bottom - h) / 2, w, h, nullptr, menu_.bar, GetModuleHandleA(nullptr), this);
  BuildControls();
  SetAcceleratorWindow(hwnd_, accelerators_);
  AddDialogWindow(hwnd_);
  form_ = std::make_unique<TRegForm>(services, *this);
  form_->FormCreate();
  Layout();
}

TWin32RegFormView::~TWin32RegFormView() {
  if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
  form_.reset();
  if (accelerators_) DestroyAcceleratorTable(accelerators_);
}

HWND TWin32RegFormView::AddButton(HWND panel, TCommand command, TGlyph glyph, const char* tooltip) {
  HWND b = CreateGlyphButton(panel, win32ids::CommandId(command), glyph);
  buttons_[command] = b;
  TOOLINFOA tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = panel;
  tool.uId = reinterpret_cast<UINT_PTR>(b);
  tool.lpszText = const_cast<char*>(tooltip);
  SendMessageA(tooltips_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  return b;
}

void TWin32RegFormView::BuildControls() {
  font_ = PixelFont(look::kWindowFont);
  barFont_ = PixelFont(look::kBarFont);
  trackerFont_ = PixelFont(look::kTrackerFont);
  formulaFont_ = PixelFont(look::kFormulaFont);
  distanceFont_ = PixelFont(look::kDistanceFont);
  distanceMmFont_ = PixelFont(look::kDistanceMmFont);
  statusFont_ = PixelFont(look::kStatusFont);
  tooltips_ =
      CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, GetModuleHandleA(nullptr), nullptr);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);

  // Calibrate view: the tool column and the grid.
  CoolBar1 = CreatePanel(hwnd_, win32ids::kIdCoolBar1, face);
  for (const TToolButton& t : ToolColumn()) AddButton(CoolBar1, t.command, t.glyph, t.tooltip);
  RegGrid.Create(hwnd_, win32ids::kIdRegGrid, barFont_.get(),
                 {[this](int col, int row) { form_->RegGridSelectCell(col, row); },
                  [this] { form_->RegGridDblClick(); }, [this](int key) { return form_->RegGridKeyDown(key); }});

  // The bottom bar.
  ToolBar2 = CreatePanel(hwnd_, win32ids::kIdToolBar2, kBarGrey);
  QueryOrSampleBtn = AddButton(ToolBar2, TCommand::QueryOrSampleBtn, TGlyph::Mode, design::kModeTooltip);
  mriLabel_ = CreateLabel(ToolBar2, win32ids::kIdMriLabel, design::kMriLabel, barFont_.get(), kBarGrey);
  for (TEdit e : {TEdit::XEdit, TEdit::YEdit, TEdit::ZEdit})
    Edit(e).Create(ToolBar2, win32ids::EditId(e), barFont_.get());
  dxFOBlabel =
      CreateLabel(ToolBar2, win32ids::kIdTrackerLabel, design::kTrackerLabelStart, trackerFont_.get(), kBarGrey);

  // Track view: formula, Transforms button, desired voxel and distance.
  TrackPanel = CreatePanel(hwnd_, win32ids::kIdTrackPanel, face);
  FormulaLabel = CreateChild("EDIT", CrLf(design::kFormulaStart).c_str(), WS_VISIBLE | ES_MULTILINE | ES_READONLY,
                             TrackPanel, win32ids::kIdFormulaLabel);
  SetFont(FormulaLabel, formulaFont_.get());
  SpeedButton1 = AddButton(TrackPanel, TCommand::SpeedButton1, TGlyph::Report, design::kReportTooltip);
  desiredLabel_ = CreateLabel(TrackPanel, win32ids::kIdDesiredLabel, design::kDesiredLabel, barFont_.get(), face);
  // The desired voxel's edits are in the window's own font: 60 pixels hold 11 digits.
  for (TEdit e : {TEdit::desirex, TEdit::desirey, TEdit::desirez})
    Edit(e).Create(TrackPanel, win32ids::EditId(e), font_.get());
  distanceCaption_ =
      CreateLabel(TrackPanel, win32ids::kIdDistanceCaption, design::kDistanceCaption, barFont_.get(), face);
  DistanceLabel =
      CreateLabel(TrackPanel, win32ids::kIdDistanceLabel, design::kDistanceStart, distanceFont_.get(), face);
  DistanceMmLabel =
      CreateLabel(TrackPanel, win32ids::kIdDistanceMmLabel, design::kDistanceMmStart, distanceMmFont_.get(), face);
  ShowWindow(TrackPanel, SW_HIDE);

  // The status line, under the bottom bar in both views.
  RegisterWindowClass(win32ids::kStatusClass, StatusProc, nullptr);
  StatusLine = CreateWindowExA(0, win32ids::kStatusClass, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwnd_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(win32ids::kIdStatusLine)),
                               GetModuleHandleA(nullptr), this);
  static_assert(static_cast<int>(TControl::CoolBar1) == 0 && static_cast<int>(TControl::OPenBtn) == 1 &&
                static_cast<int>(TControl::DeleteBtn) == 4 && static_cast<int>(TControl::RegGrid) == 5);
  toggled_ = {CoolBar1,
              Button(TCommand::OPenBtn),
              Button(TCommand::SaveBtn),
              Button(TCommand::AddBtn),
              Button(TCommand::DeleteBtn),
              RegGrid.Handle()};
}

void TWin32RegFormView::Layout() {
  RECT c;
  GetClientRect(hwnd_, &c);
  const int w = c.right, bar = Px(look::kBottomBarHeight), status = Px(look::kStatusHeight);
  const int area = std::max(0, static_cast<int>(c.bottom) - bar - status);
  const int tools = OwnVisible(CoolBar1) ? Px(look::kToolColumnWidth) : 0;
  MoveWindow(CoolBar1, 0, 0, Px(look::kToolColumnWidth), area, TRUE);
  const int pad = Px(look::kToolColumnPadding), button = Px(look::kToolButtonSize);
  int y = pad;
  for (const TToolButton& t : ToolColumn()) {
    MoveWindow(Button(t.command), pad, y, button, button, TRUE);
    y += button;
  }
  MoveWindow(RegGrid.Handle(), tools, 0, std::max(0, w - tools), area, TRUE);
  MoveWindow(TrackPanel, 0, 0, w, area, TRUE);
  MoveWindow(ToolBar2, 0, area, w, bar, TRUE);
  MoveWindow(StatusLine, 0, area + bar, w, status, TRUE);

  // The bottom bar, left to right.
  const int gap = Px(look::kBarPadding), high = Px(look::kEditHeight);
  const int top = gap;
  MoveWindow(QueryOrSampleBtn, gap, top, Px(look::kModeButtonWidth), high, TRUE);
  MoveWindow(mriLabel_, Px(34), top, Px(42), high, TRUE);
  int x = Px(78);
  for (TEdit e : {TEdit::XEdit, TEdit::YEdit, TEdit::ZEdit}) {
    Edit(e).Place(x, top, Px(look::kMriEditWidth), high);
    x += Px(look::kMriEditWidth) + gap;
  }
  MoveWindow(dxFOBlabel, x, top, std::max(0, w - x - gap), high, TRUE);

  // Track view: the formula, then the desired voxel, then the distance.
  MoveWindow(FormulaLabel, Px(8), Px(8), std::max(0, w - Px(16)), Px(66), TRUE);
  const int row = Px(82);
  MoveWindow(SpeedButton1, Px(8), row, Px(32), high, TRUE);
  MoveWindow(desiredLabel_, Px(46), row, Px(118), high, TRUE);
  x = Px(166);
  for (TEdit e : {TEdit::desirex, TEdit::desirey, TEdit::desirez}) {
    Edit(e).Place(x, row, Px(look::kDesiredEditWidth), high);
    x += Px(look::kDesiredEditWidth) + gap;
  }
  MoveWindow(distanceCaption_, Px(8), row + Px(44), Px(140), Px(40), TRUE);
  MoveWindow(DistanceLabel, Px(150), row + Px(44), Px(150), Px(40), TRUE);
  MoveWindow(DistanceMmLabel, Px(304), row + Px(44), std::max(0, w - Px(312)), Px(40), TRUE);
}

HWND TWin32RegFormView::Button(TCommand command) const {
  auto it = buttons_.find(command);
  return it == buttons_.end() ? nullptr : it->second;
}

void TWin32RegFormView::SetTransformsWindow(TFOBForm* form) {
  FOBForm = form;
  if (FOBForm) FOBForm->onCheckRowChosen = [this](int row) { form_->CheckTableSelect(row); };
}

void TWin32RegFormView::Show(int showCommand) {
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
}

// ---------------------------------------------------------------------------
// Window events

LRESULT TWin32RegFormView::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND: OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp)); return 0;
    case WM_NOTIFY: return OnNotify(*reinterpret_cast<const NMHDR*>(lp));
    case WM_TIMER:
      if (wp == kTimer1Id) {
        if (timerEnabled_ && form_) form_->Timer1Timer();
        return 0;
      }
      break;
    case WM_SIZE: Layout(); return 0;
    case WM_GETMINMAXINFO: reinterpret_cast<MINMAXINFO*>(lp)->ptMinTrackSize.x = Px(look::kMinWidth); return 0;
    case WM_SHOWWINDOW:
      if (wp && !shown_ && form_) {
        shown_ = true;
        form_->FormShow();
      }
      break;
    case WM_ACTIVATE: OnActivate(LOWORD(wp) != WA_INACTIVE); return 0;
    case WM_INITMENUPOPUP:
      // The Port menu lists the ports that exist when it opens.
      if (reinterpret_cast<HMENU>(wp) == menu_.portMenu && form_) form_->PortMenuOpening();
      return 0;
    case WM_CLOSE:
      // Every way of closing comes here (File > Exit, the close box, Alt+F4): the
      // controller may keep the window open (unsaved changes, Cancel).
      if (!form_ || form_->FormCloseQuery()) DestroyWindow(hwnd_);
      return 0;
    // The session ends (log off, shut down): the same question, and Cancel keeps
    // the session; once it does end, the window goes as on a close (the settings
    // are stored and the tracker is put to sleep), before the process is ended.
    case WM_QUERYENDSESSION: return !form_ || form_->FormCloseQuery() ? TRUE : FALSE;
    case WM_ENDSESSION:
      if (wp) DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY: OnDestroy(); return 0;
  }
  return DefWindowProcA(hwnd_, msg, wp, lp);
}

void TWin32RegFormView::OnCommand(int id, int code, HWND control) {
  if (!form_) return;
  TCommand command;
  if (!control) {  // a menu item or a shortcut
    if (id >= win32ids::kPortItemIdBase && id <= win32ids::kPortItemIdEnd)
      form_->PortItemClick(id - win32ids::kPortItemIdBase);
    else if (CommandOfId(id, command))
      form_->Command(command);
    return;
  }
  if (code == BN_CLICKED && CommandOfId(id, command))
    form_->Command(command);
  else if (code == EN_CHANGE && IsEditId(id))
    form_->XEditChange();
}

LRESULT TWin32RegFormView::OnNotify(const NMHDR& hdr) {
  const int id = static_cast<int>(hdr.idFrom);
  if (id == win32ids::kIdRegGrid && form_) {
    bool handled = false;
    LRESULT r = RegGrid.OnNotify(hdr, handled);
    if (handled) return r;
  }
  int edit;
  if (hdr.code == UDN_DELTAPOS && IsUpDownId(id, edit))
    return edits_[edit].OnDeltaPos(reinterpret_cast<const NMUPDOWN&>(hdr));
  return 0;
}

void TWin32RegFormView::OnActivate(bool active) {
  // The keyboard focus comes back to the control that had it (the grid at first).
  if (!active) {
    HWND f = GetFocus();
    if (f && IsChild(hwnd_, f)) lastFocus_ = f;
    return;
  }
  HWND f = lastFocus_ && IsWindow(lastFocus_) && IsWindowVisible(lastFocus_) ? lastFocus_ : nullptr;
  if (!f && IsWindowVisible(RegGrid.Handle())) f = RegGrid.Handle();
  SetFocus(f ? f : hwnd_);
}

void TWin32RegFormView::OnDestroy() {
  KillTimer(hwnd_, kTimer1Id);
  if (FOBForm) FOBForm->Close();
  SetAcceleratorWindow(nullptr, nullptr);
  RemoveDialogWindow(hwnd_);
  if (form_) form_->FormDestroy();
  if (onDestroyed) onDestroyed();
}

// ---------------------------------------------------------------------------
// IRegFormView

int32_t TWin32RegFormView::EditValue(TEdit edit) const { return edits_[static_cast<int>(edit)].Value(); }

void TWin32RegFormView::SetEditValue(TEdit edit, int32_t value) { Edit(edit).SetValue(value); }

void TWin32RegFormView::SetGridRowCount(int rows) { RegGrid.SetRowCount(rows); }

void TWin32RegFormView::SetGridCell(int col, int row, const std::string& text) { RegGrid.SetCell(col, row, text); }

TGridSelection TWin32RegFormView::GridSelection() const { return RegGrid.Selection(); }

void TWin32RegFormView::SelectGridRow(int row) { RegGrid.SelectRow(row); }

void TWin32RegFormView::FocusGrid() { SetFocus(RegGrid.Handle()); }

void TWin32RegFormView::SetTrackerLabel(const std::string& text, bool red) {
  trackerRed_ = red;
  UpdateTrackerInk();
  SetLabelText(dxFOBlabel, text);
}

void TWin32RegFormView::SetTrackerLabelStale(bool stale) {
  trackerStale_ = stale;
  UpdateTrackerInk();
}

void TWin32RegFormView::UpdateTrackerInk() {
  const look::TRGB ink = trackerStale_ ? look::kStaleInk : trackerRed_ ? look::kTrackerFarInk : look::kTrackerInk;
  SetLabelColor(dxFOBlabel, Rgb(ink));  // repaints only when the colour changes
}

void TWin32RegFormView::SetStatusText(TStatusField field, const std::string& text, bool red) {
  const auto i = static_cast<size_t>(field);
  if (i >= status_.size() || (status_[i].text == text && status_[i].red == red)) return;
  status_[i] = {text, red};
  // The strip's own text holds the shown fields, for tools that read the window.
  std::string all;
  for (const TStatus& f : status_)
    if (!f.text.empty()) all += (all.empty() ? "" : " | ") + f.text;
  SetWindowTextW(StatusLine, Widen(all).c_str());
  // The fields share the line: a new text may move the ones after it.
  InvalidateRect(StatusLine, nullptr, FALSE);
}

std::array<RECT, kStatusFieldCount> TWin32RegFormView::StatusLayout(HDC dc, int width) const {
  std::array<RECT, kStatusFieldCount> rects{};
  std::array<int, kStatusFieldCount> natural{};
  const int margin = Px(4), gap = Px(look::kStatusFieldGap), height = Px(look::kStatusHeight);
  int shown = 0, sum = 0;
  for (size_t i = 0; i < status_.size(); ++i) {
    if (status_[i].text.empty()) continue;
    const std::wstring t = Widen(status_[i].text);
    SIZE s{};
    GetTextExtentPoint32W(dc, t.c_str(), static_cast<int>(t.size()), &s);
    natural[i] = s.cx;
    sum += s.cx;
    ++shown;
  }
  if (!shown) return rects;
  // Each field its text's width; when they do not fit, each a share in proportion.
  const int room = std::max(0, width - 2 * margin - gap * (shown - 1));
  int x = margin;
  for (size_t i = 0; i < status_.size(); ++i) {
    if (status_[i].text.empty()) continue;
    const int w = sum <= room ? natural[i] : static_cast<int>(static_cast<long long>(natural[i]) * room / sum);
    rects[i] = {x, 0, x + w, height};
    x += w + gap;
  }
  return rects;
}

RECT TWin32RegFormView::StatusFieldRect(TStatusField field) const {
  RECT c;
  GetClientRect(StatusLine, &c);
  HDC dc = GetDC(StatusLine);
  HGDIOBJ old = SelectObject(dc, statusFont_.get());
  const RECT r = StatusLayout(dc, c.right)[static_cast<size_t>(field)];
  SelectObject(dc, old);
  ReleaseDC(StatusLine, dc);
  return r;
}

void TWin32RegFormView::PaintStatusLine(HDC dc) {
  ++statusPaints_;
  RECT c;
  GetClientRect(StatusLine, &c);
  if (c.right <= 0 || c.bottom <= 0) return;
  // One piece: drawn off screen, then copied.
  HDC mem = CreateCompatibleDC(dc);
  HBITMAP bmp = CreateCompatibleBitmap(dc, c.right, c.bottom);
  HGDIOBJ oldBmp = SelectObject(mem, bmp);
  FillRect(mem, &c, GetSysColorBrush(COLOR_BTNFACE));
  RECT top{0, 0, c.right, 1};
  FillRect(mem, &top, GetSysColorBrush(COLOR_BTNSHADOW));
  HGDIOBJ oldFont = SelectObject(mem, statusFont_.get());
  SetBkMode(mem, TRANSPARENT);
  const std::array<RECT, kStatusFieldCount> rects = StatusLayout(mem, c.right);
  for (size_t i = 0; i < status_.size(); ++i) {
    if (status_[i].text.empty()) continue;
    SetTextColor(mem, Rgb(status_[i].red ? look::kStatusAlertInk : look::kStatusInk));
    std::wstring t = Widen(status_[i].text);
    RECT r = rects[i];
    r.top = 1;
    DrawTextW(mem, t.data(), static_cast<int>(t.size()), &r,
              DT_NOPREFIX | DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
  }
  BitBlt(dc, 0, 0, c.right, c.bottom, mem, 0, 0, SRCCOPY);
  SelectObject(mem, oldFont);
  SelectObject(mem, oldBmp);
  DeleteObject(bmp);
  DeleteDC(mem);
}

void TWin32RegFormView::SetFormulaText(const std::string& text) {
  const std::string t = CrLf(text);
  if (WindowText(FormulaLabel) != t) SetWindowTextA(FormulaLabel, t.c_str());
}

void TWin32RegFormView::SetDistanceText(const std::string& text) { SetLabelText(DistanceLabel, text); }

void TWin32RegFormView::SetDistanceMmText(const std::string& text) { SetLabelText(DistanceMmLabel, text); }

bool TWin32RegFormView::ControlVisible(TControl control) const { return OwnVisible(Control(control)); }

void TWin32RegFormView::SetControlVisible(TControl control, bool visible) {
  ShowWindow(Control(control), visible ? SW_SHOWNA : SW_HIDE);
  UpdateViewAreas();
}

void TWin32RegFormView::UpdateViewAreas() {
  ShowWindow(TrackPanel, OwnVisible(RegGrid.Handle()) ? SW_HIDE : SW_SHOWNA);
  Layout();
  // A control that was hidden with the keyboard focus hands it on.
  HWND f = GetFocus();
  if (GetActiveWindow() == hwnd_ && (!f || !IsWindowVisible(f))) {
    HWND next = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    SetFocus(next ? next : hwnd_);
  }
}

void TWin32RegFormView::SetItemChecked(TCommand item, bool checked) {
  CheckMenuItem(menu_.bar, static_cast<UINT>(win32ids::CommandId(item)),
                MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void TWin32RegFormView::AddPortItem(const std::string& caption) {
  if (win32ids::kPortItemIdBase + portItems_ > win32ids::kPortItemIdEnd) return;
  AppendMenuW(menu_.portMenu, MF_STRING, static_cast<UINT_PTR>(win32ids::kPortItemIdBase + portItems_++),
              Widen(caption).c_str());
}

void TWin32RegFormView::ClearPortItems() {
  while (GetMenuItemCount(menu_.portMenu) > 0) DeleteMenu(menu_.portMenu, 0, MF_BYPOSITION);
  portItems_ = 0;
}

void TWin32RegFormView::SetPortItemChecked(int index, bool checked) {
  if (index < 0 || index >= portItems_) return;
  CheckMenuItem(menu_.portMenu, static_cast<UINT>(win32ids::kPortItemIdBase + index),
                MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void TWin32RegFormView::SetCaption(const std::string& caption) {
  // A file name in the caption may hold any character.
  SetWindowTextW(hwnd_, Widen(caption).c_str());
}

void TWin32RegFormView::CloseWindow() {
  // After the handler that asked: the window goes from the loop, not from under it.
  PostMessageA(hwnd_, WM_CLOSE, 0, 0);
}

void TWin32RegFormView::SetTimerEnabled(bool enabled) {
  timerEnabled_ = enabled && IsWindow(hwnd_);
  if (timerEnabled_)
    SetTimer(hwnd_, kTimer1Id, look::kTimer1IntervalMs, nullptr);
  else if (IsWindow(hwnd_))
    KillTimer(hwnd_, kTimer1Id);
}

void TWin32RegFormView::BeginProgress(const std::string& text, int expectedMs) {
  if (progress_) progress_->Begin(text, expectedMs);
}

void TWin32RegFormView::EndProgress() {
  if (progress_) progress_->End();
}

void TWin32RegFormView::SetReportLines(const std::vector<std::string>& lines) {
  if (FOBForm) FOBForm->SetLines(lines);
}

void TWin32RegFormView::SetCheckTable(const std::vector<TCheckTableRow>& rows, const std::string& summary,
                                      const std::string& warning) {
  if (FOBForm) FOBForm->SetCheck(rows, summary, warning);
}

void TWin32RegFormView::ShowTransforms() {
  if (FOBForm) FOBForm->ShowModal();
}

bool TWin32RegFormView::EditServerAddress(std::string& address, int32_t& port) {
  return ServerAddressDialog(hwnd_, address, port);
}

}  // namespace win32
