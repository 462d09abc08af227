// The real Win32 window in this process, under Wine on its own X display: each
// control, menu item and key reaches its handler, the grid's keys and drawing, the
// spin edits' 32-bit range at both ends, the dialogs' settings, the modal windows
// and the error edge. The controller behind the window is the real one, with
// recorded message boxes and file dialogs.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>

#include "ControlIds.h"
#include "ControllerFakes.h"
#include "Controls.h"
#include "EventEdge.h"
#include "FOBForm.h"
#include "MemorySettingsStore.h"
#include "MessageLoop.h"
#include "RegFormWindow.h"
#include "TestSupport.h"
#include "Win32Services.h"
#include "Win32Util.h"
#include "math/RegMult.h"
#include "reg/TrackView.h"
#include "tracker/Startup.h"
#include "tracker/TrackerLink.h"

using namespace win32;
using namespace testsupport;

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kTooFewMessage[] = "At least 5 samples required for 3D registration.";

// Runs the program's message loop for `ms` milliseconds, or until `done` holds.
bool Pump(
    int ms, const std::function<bool()>& done = [] { return false; }) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  UINT_PTR wake = SetTimer(nullptr, 0, 5, nullptr);  // GetMessage returns at least every 5 ms
  RunMessageLoop([&] { return done() || Clock::now() >= end; });
  KillTimer(nullptr, wake);
  return done();
}

// A key pressed and released through the system's input, with Ctrl held when asked.
void Key(WORD vk, bool ctrl = false) {
  std::vector<INPUT> in;
  auto add = [&](WORD k, DWORD flags) {
    INPUT i{};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = k;
    i.ki.dwFlags = flags;
    in.push_back(i);
  };
  if (ctrl) add(VK_CONTROL, 0);
  add(vk, 0);
  add(vk, KEYEVENTF_KEYUP);
  if (ctrl) add(VK_CONTROL, KEYEVENTF_KEYUP);
  SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
  Pump(60);
}

// Sensor positions and MRI voxels of landmarks that are not in one plane.
const TPointPair kRows[] = {
    {170, 161, 53, 4000, 2000, -1000}, {90, 167, 65, -4000, 2400, 800}, {135, 85, 76, 1200, -5200, 1600},
    {96, 98, 36, -2800, -3600, -2400}, {188, 148, 94, 6000, 400, 3200}, {130, 206, 26, -400, 6400, -3600},
};

class TThrowingChooser : public IFileChooser {
 public:
  std::optional<std::string> ChooseOpen(const TFileDialogSpec&) override { throw std::runtime_error("disk on fire"); }
  std::optional<std::string> ChooseSave(const TFileDialogSpec&) override { return std::nullopt; }
};

// The window with the real controller, recorded message boxes and scripted file
// dialogs, no serial port and no ports to discover; shown and started.
struct TWindow {
  TRecordingPresenter messages;
  TScriptedChooser files;
  TRecordingClock clock;
  TListedPorts ports;
  std::shared_ptr<TMemorySettingsStore> store = std::make_shared<TMemorySettingsStore>();
  std::unique_ptr<TWin32RegFormView> view;
  std::unique_ptr<TFOBForm> fob;

  explicit TWindow(IFileChooser* chooser = nullptr, TWin32WaitClock* progress = nullptr) {
    for (auto& p : PointTable) p = TPointPair{};
    for (auto& axis : RegCoef)
      for (double& b : axis) b = 0;
    SetEventErrorBox(&messages);
    TRegFormServices s;
    s.messages = &messages;
    s.files = chooser ? chooser : &files;
    s.clock = &clock;
    s.ports = &ports;
    s.settings = [store = store] { return std::make_unique<TPersistentStore>(store); };
    s.documentsDir = "C:\\zeltra";
    view = std::make_unique<TWin32RegFormView>(s, progress);
    fob = std::make_unique<TFOBForm>(view->Handle());
    view->SetTransformsWindow(fob.get());
    view->Show();
    SetForegroundWindow(view->Handle());
    // The first tick starts the tracker (no ports: its message) and the timer again.
    Pump(3000, [&] { return F().Timer1Tag == 0 && view->TimerEnabled(); });
    messages.Clear();
    Pump(50);
  }
  ~TWindow() {
    fob.reset();
    view.reset();
    SetEventErrorBox(nullptr);
  }
  TRegForm& F() { return view->Form(); }
  HWND Grid() { return view->RegGrid.Handle(); }
  // Rows from the table above, recorded as F1 records them.
  void AddRows(int n) {
    for (int i = 0; i < n; ++i) {
      const TPointPair& p = kRows[i];
      F().CurrentMRI = {p.MRIx, p.MRIy, p.MRIz};
      F().TrackerReading = {p.FOBx, p.FOBy, p.FOBz};
      F().AddBtnClick();
    }
  }
  void Focus(HWND h) {
    SetFocus(h);
    Pump(30);
  }
  bool Visible(HWND h) { return IsWindowVisible(h) != FALSE; }
};

// A menu item's text in UTF-8 (the captions hold non-ASCII characters).
std::string MenuText(HMENU menu, int id) {
  wchar_t buf[256] = L"";
  GetMenuStringW(menu, static_cast<UINT>(id), buf, 256, MF_BYCOMMAND);
  return Narrow(buf);
}

bool MenuChecked(HMENU menu, TCommand c) {
  return (GetMenuState(menu, static_cast<UINT>(win32ids::CommandId(c)), MF_BYCOMMAND) & MF_CHECKED) != 0;
}

// What a test does while a modal window's loop runs.
std::function<void()> whileOpen;
void CALLBACK WhileOpen(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  whileOpen();
}

void Command(HWND main, TCommand c) {
  SendMessageA(main, WM_COMMAND, MAKEWPARAM(win32ids::CommandId(c), 0), 0);
  Pump(20);
}

}  // namespace

// ---------------------------------------------------------------------------
// Menu, shortcuts and buttons

TEST(Win32Window, MenuIsTheDesignsWithShortcutsRadioItemsAndCheckMarks) {
  TWindow w;
  const std::pair<TShortcut, const char*> shortcuts[] = {
      {TShortcut::F1, "\tF1"},        {TShortcut::F2, "\tF2"},        {TShortcut::F3, "\tF3"},
      {TShortcut::F4, "\tF4"},        {TShortcut::F5, "\tF5"},        {TShortcut::F6, "\tF6"},
      {TShortcut::CtrlO, "\tCtrl+O"}, {TShortcut::CtrlS, "\tCtrl+S"}, {TShortcut::None, ""}};
  int items = 0;
  for (const TMenuEntry& e : MainMenu()) {
    if (e.kind != TMenuEntry::Item) continue;
    ++items;
    std::string suffix;
    for (auto [s, text] : shortcuts)
      if (s == e.shortcut) suffix = text;
    EXPECT_EQ(MenuText(w.view->Menu(), win32ids::CommandId(e.command)), e.caption + suffix) << e.name;
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE;
    GetMenuItemInfoA(w.view->Menu(), static_cast<UINT>(win32ids::CommandId(e.command)), FALSE, &info);
    EXPECT_EQ((info.fType & MFT_RADIOCHECK) != 0, e.radio) << e.name;
  }
  EXPECT_EQ(items, 26);
  // After start-up with no stored settings: stream mode, 115200 bps, Mode checked.
  for (auto [c, checked] : {std::pair{TCommand::CalibrateItem, true},
                            {TCommand::FlockofBirdsMiniBirdStream1, true},
                            {TCommand::FlockofBirdsMiniBird1, false},
                            {TCommand::N1152001, true},
                            {TCommand::N576001, false},
                            {TCommand::AdvancedMenuItem, false}})
    EXPECT_EQ(MenuChecked(w.view->Menu(), c), checked) << win32ids::CommandId(c);
  EXPECT_EQ(GetMenuItemCount(w.view->PortMenu()), 0);
  // The Port items the start-up adds, with the controller's check marks.
  w.view->AddPortItem("COM3");
  w.view->AddPortItem("COM1");
  w.view->SetPortItemChecked(1, true);
  EXPECT_EQ(MenuText(w.view->PortMenu(), win32ids::kPortItemIdBase + 0), "COM3");
  EXPECT_FALSE(GetMenuState(w.view->PortMenu(), win32ids::kPortItemIdBase + 0, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_TRUE(GetMenuState(w.view->PortMenu(), win32ids::kPortItemIdBase + 1, MF_BYCOMMAND) & MF_CHECKED);
}

TEST(Win32Window, MenuItemsReachTheirHandlers) {
  TWindow w;
  HWND main = w.view->Handle();
  Command(main, TCommand::About1);
  EXPECT_EQ(w.messages.messages, std::vector<std::string>{kAboutText});
  Command(main, TCommand::AdvancedMenuItem);
  EXPECT_TRUE(MenuChecked(w.view->Menu(), TCommand::AdvancedMenuItem));
  Command(main, TCommand::AdvancedMenuItem);
  EXPECT_FALSE(MenuChecked(w.view->Menu(), TCommand::AdvancedMenuItem));
  w.messages.Clear();
  Command(main, TCommand::Fast1);
  Command(main, TCommand::N96001);
  EXPECT_EQ(w.messages.messages.at(0), kTypeRefusedMessage);
  EXPECT_EQ(w.messages.messages.at(1), kSpeedRefusedMessage);
  EXPECT_TRUE(MenuChecked(w.view->Menu(), TCommand::N1152001));
  Command(main, TCommand::Exit1);
  EXPECT_TRUE(Pump(500, [&] { return !IsWindow(main); }));
  EXPECT_EQ(w.store->values["BPS"].dword, 115200u);  // the settings were stored at exit
}

TEST(Win32Window, ShortcutsWorkInBothViewsAndInEveryControl) {
  TWindow w;
  w.messages.answers = {IMessagePresenter::TSaveAnswer::Discard};  // Open with rows in hand asks first
  // Every shortcut of the menu, with the keyboard in the grid.
  w.AddRows(2);
  w.view->SelectGridRow(1);
  w.Focus(w.Grid());
  struct TCase {
    WORD vk;
    bool ctrl;
    std::function<bool()> reached;
  };
  // The tracker and the viewer are elsewhere than row 1's landmark.
  w.F().TrackerReading = {11, 22, 33};
  w.view->SetEditValue(TEdit::XEdit, 44);
  const TCase cases[] = {
      {VK_F1, false, [&] { return w.F().Table.DataRows() == 3; }},
      {VK_F4, false, [&] { return w.view->RegGrid.Cell(1, 1) == "11:22:33"; }},
      {VK_F3, false, [&] { return w.view->RegGrid.Cell(0, 1) == CellText(44, kRows[0].MRIy, kRows[0].MRIz); }},
      {VK_F2, false, [&] { return w.F().Table.DataRows() == 2; }},
      {'O', true, [&] { return w.files.lastOpen.filter == "Text Files|*.txt"; }},
      {'S', true, [&] { return w.files.lastSave.filter == "Text file (*.txt)|*.txt"; }},
      {VK_F5, false, [&] { return !w.messages.messages.empty() && w.messages.messages.back() == kTooFewMessage; }},
      {VK_F6, false,  // with no port to connect to, F6 says so
       [&] { return !w.messages.messages.empty() && w.messages.messages.back() == kNoSerialPortsMessage; }},
  };
  for (const TCase& c : cases) {
    w.Focus(w.Grid());
    Key(c.vk, c.ctrl);
    EXPECT_TRUE(c.reached()) << "key " << c.vk;
  }
  // F1 and Ctrl+S from a spin edit, and from the Track view's controls.
  w.AddRows(5);
  const int rows = w.F().Table.DataRows();
  w.files.lastSave = {};
  w.Focus(w.view->Edit(TEdit::XEdit).Edit());
  Key(VK_F1);
  Key('S', true);
  EXPECT_EQ(w.F().Table.DataRows(), rows + 1);
  EXPECT_EQ(w.files.lastSave.defaultExt, "txt");
  Key(VK_F5);
  ASSERT_FALSE(w.F().IsCalibrateView());
  w.files.lastSave = {};
  w.Focus(w.view->Edit(TEdit::desirex).Edit());
  Key(VK_F1);
  Key('S', true);
  EXPECT_EQ(w.F().Table.DataRows(), rows + 2);
  EXPECT_EQ(w.files.lastSave.defaultExt, "txt");
  Key(VK_F5);
  EXPECT_TRUE(w.F().IsCalibrateView());
  EXPECT_EQ(GetFocus(), w.Grid());
}

TEST(Win32Window, ToolButtonsRaiseTheirCommandsAndLeaveTheFocusInTheGrid) {
  TWindow w;
  w.messages.answers = {IMessagePresenter::TSaveAnswer::Discard};
  w.AddRows(2);
  w.view->SelectGridRow(1);
  w.Focus(w.Grid());
  struct TCase {
    TCommand button;
    std::function<bool()> reached;
  };
  const TCase cases[] = {
      {TCommand::OPenBtn, [&] { return w.files.lastOpen.filter == "Text Files|*.txt"; }},
      {TCommand::SaveBtn, [&] { return w.files.lastSave.overwritePrompt; }},
      {TCommand::AddBtn, [&] { return w.F().Table.DataRows() == 3; }},
      {TCommand::DeleteBtn, [&] { return w.F().Table.DataRows() == 2; }},
      {TCommand::QueryOrSampleBtn, [&] { return w.messages.messages == std::vector<std::string>{kTooFewMessage}; }},
  };
  for (const TCase& c : cases) {
    SendMessageA(w.view->Button(c.button), BM_CLICK, 0, 0);
    Pump(20);
    EXPECT_TRUE(c.reached()) << win32ids::CommandId(c.button);
    EXPECT_EQ(GetFocus(), w.Grid()) << win32ids::CommandId(c.button);
  }
  // Tooltips for the four tool buttons, the mode button and the Transforms button.
  EXPECT_EQ(SendMessageA(w.view->Tooltips(), TTM_GETTOOLCOUNT, 0, 0), 6);
  char text[128] = "";
  TOOLINFOA tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = w.view->CoolBar1;
  tool.uId = reinterpret_cast<UINT_PTR>(w.view->Button(TCommand::OPenBtn));
  tool.lpszText = text;
  SendMessageA(w.view->Tooltips(), TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
  EXPECT_STREQ(text, ToolColumn()[0].tooltip);
}

// ---------------------------------------------------------------------------
// The grid

TEST(Win32Window, GridKeysAsTheHandlerSays) {
  TWindow w;
  w.AddRows(4);
  w.view->SelectGridRow(1);
  w.Focus(w.Grid());
  auto edits = [&] {
    return TVoxel{w.view->EditValue(TEdit::XEdit), w.view->EditValue(TEdit::YEdit), w.view->EditValue(TEdit::ZEdit)};
  };
  // Page Down and Page Up move one row; the edits show the row's landmark.
  Key(VK_NEXT);
  EXPECT_EQ(w.view->GridSelection().top, 2);
  EXPECT_EQ(edits(), (TVoxel{kRows[1].MRIx, kRows[1].MRIy, kRows[1].MRIz}));
  Key(VK_NEXT);
  Key(VK_PRIOR);
  EXPECT_EQ(w.view->GridSelection().top, 2);
  // The full stop resamples the row's tracker half and types nothing.
  w.F().TrackerReading = {-7, 8, -9};
  Key(VK_OEM_PERIOD);
  EXPECT_EQ(w.view->RegGrid.Cell(1, 2), "-7:8:-9");
  EXPECT_EQ(w.view->GridSelection().top, 2);
  // Right moves the current cell into the tracker column, Left back.
  Key(VK_RIGHT);
  EXPECT_EQ(w.view->GridSelection().left, 1);
  Key(VK_LEFT);
  EXPECT_EQ(w.view->GridSelection().left, 0);
  // Escape is the mode switch: with 4 rows the fit refuses.
  Key(VK_ESCAPE);
  EXPECT_EQ(w.messages.messages, std::vector<std::string>{kTooFewMessage});
  w.AddRows(1);
  w.Focus(w.Grid());
  Key(VK_ESCAPE);
  EXPECT_FALSE(w.F().IsCalibrateView());
}

TEST(Win32Window, DoubleClickInTheMriColumnShowsTheRowsLandmark) {
  TWindow w;
  w.AddRows(3);
  w.view->SelectGridRow(3);
  auto click = [&](int col, int row, UINT msg) {
    RECT r = w.view->RegGrid.CellRect(col, row);
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageA(w.Grid(), msg, MK_LBUTTON, at);
    SendMessageA(w.Grid(), WM_LBUTTONUP, 0, at);
    Pump(20);
  };
  click(0, 2, WM_LBUTTONDOWN);
  EXPECT_EQ(w.view->GridSelection().top, 2);
  EXPECT_EQ(w.F().CurrentMRI, (TVoxel{kRows[1].MRIx, kRows[1].MRIy, kRows[1].MRIz}));
  // The viewer moved elsewhere; a double click in the MRI column brings it back.
  w.view->SetEditValue(TEdit::XEdit, 1);
  click(0, 2, WM_LBUTTONDBLCLK);
  EXPECT_EQ(w.view->EditValue(TEdit::XEdit), kRows[1].MRIx);
  // In the tracker column it does nothing.
  click(1, 2, WM_LBUTTONDOWN);
  EXPECT_EQ(w.view->GridSelection().left, 1);
  w.view->SetEditValue(TEdit::XEdit, 1);
  click(1, 2, WM_LBUTTONDBLCLK);
  EXPECT_EQ(w.view->EditValue(TEdit::XEdit), 1);
  // A click below the rows keeps the selection.
  SendMessageA(w.Grid(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 400));
  Pump(20);
  EXPECT_EQ(w.view->GridSelection().top, 2);
}

TEST(Win32Window, TheCurrentCellIsBlueWithItsTextInsetOnlyWhileTheGridHasTheFocus) {
  TWindow w;
  w.AddRows(2);
  w.view->SelectGridRow(1);
  RECT client;
  GetClientRect(w.Grid(), &client);
  HDC screen = GetDC(w.Grid());
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, client.right, client.bottom);
  SelectObject(mem, bmp);
  auto paint = [&] {
    RECT all{0, 0, client.right, client.bottom};
    FillRect(mem, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SendMessageA(w.Grid(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT | PRF_ERASEBKGND);
  };
  const COLORREF blue = RGB(0, 0, 255);
  const RECT cell = w.view->RegGrid.CellRect(0, 1);
  w.Focus(w.Grid());
  paint();
  EXPECT_EQ(GetPixel(mem, cell.left + 1, cell.top + 1), blue);
  EXPECT_EQ(GetPixel(mem, cell.right - 3, cell.bottom - 3), blue);
  // The text: drawn inside the cell, starting 2 pixels in from its top left corner.
  int inkLeft = INT_MAX, inkTop = INT_MAX;
  for (int y = cell.top; y < cell.bottom - 1; ++y)
    for (int x = cell.left; x < cell.right - 1; ++x)
      if (GetPixel(mem, x, y) != blue) {
        inkLeft = std::min(inkLeft, x);
        inkTop = std::min(inkTop, y);
      }
  ASSERT_NE(inkLeft, INT_MAX) << "no text in the current cell";
  EXPECT_GE(inkLeft - cell.left, Px(2));
  EXPECT_LE(inkLeft - cell.left, Px(4));
  EXPECT_GE(inkTop - cell.top, Px(2));
  // The other cell of the selected row and the rows below keep the usual look.
  const RECT other = w.view->RegGrid.CellRect(1, 1);
  EXPECT_NE(GetPixel(mem, other.left + 1, other.top + 1), blue);
  const RECT below = w.view->RegGrid.CellRect(0, 2);
  EXPECT_NE(GetPixel(mem, below.left + 1, below.top + 1), blue);
  // Another control has the focus: no blue.
  w.Focus(w.view->Edit(TEdit::XEdit).Edit());
  paint();
  EXPECT_NE(GetPixel(mem, cell.left + 1, cell.top + 1), blue);
  DeleteDC(mem);
  DeleteObject(bmp);
  ReleaseDC(w.Grid(), screen);
}

// ---------------------------------------------------------------------------
// Spin edits

TEST(Win32Window, SpinEditArrowsStepByOneAndStopAtTheEndsOfTheInt32Range) {
  TWindow w;
  TSpinEdit& x = w.view->Edit(TEdit::XEdit);
  struct TCase {
    int32_t start;
    WORD key;
    int32_t expected;
  };
  const TCase cases[] = {{0, VK_UP, 1},
                         {-1, VK_UP, 0},
                         {0, VK_DOWN, -1},
                         {INT32_MAX - 1, VK_UP, INT32_MAX},
                         {INT32_MAX, VK_UP, INT32_MAX},
                         {INT32_MIN + 1, VK_DOWN, INT32_MIN},
                         {INT32_MIN, VK_DOWN, INT32_MIN}};
  w.Focus(x.Edit());
  for (const TCase& c : cases) {
    w.view->SetEditValue(TEdit::XEdit, c.start);
    Key(c.key);
    EXPECT_EQ(x.Value(), c.expected) << c.start;
    EXPECT_EQ(WindowText(x.Edit()), std::to_string(c.expected));
    EXPECT_EQ(static_cast<int32_t>(SendMessageA(x.UpDown(), UDM_GETPOS32, 0, 0)), c.expected);
    // The change reached XEditChange: the viewer was sent the new voxel.
    EXPECT_EQ(w.F().CurrentMRI.x, c.expected);
  }
  // The whole range, without thousands separators.
  EXPECT_EQ(SendMessageA(x.UpDown(), UDM_GETRANGE32, 0, 0), 0);  // answers through its arguments
  int lo = 0, hi = 0;
  SendMessageA(x.UpDown(), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lo), reinterpret_cast<LPARAM>(&hi));
  EXPECT_EQ(lo, INT32_MIN);
  EXPECT_EQ(hi, INT32_MAX);
  w.view->SetEditValue(TEdit::XEdit, 1234567);
  EXPECT_EQ(WindowText(x.Edit()), "1234567");
}

TEST(Win32Window, SpinEditRefusesTextThatCannotBecomeAnInt32) {
  TWindow w;
  TSpinEdit& y = w.view->Edit(TEdit::YEdit);
  const std::pair<const char*, const char*> cases[] = {
      {"12a3", "123"}, {"-5", "-5"},  {"2147483648", "214748364"}, {"-2147483648", "-2147483648"}, {"1-2", "12"},
      {"+7", "+7"},    {"0.5", "05"},
  };
  w.Focus(y.Edit());
  for (auto [typed, shown] : cases) {
    SetWindowTextA(y.Edit(), "");
    for (const char* p = typed; *p; ++p) SendMessageA(y.Edit(), WM_CHAR, static_cast<unsigned char>(*p), 1);
    EXPECT_EQ(WindowText(y.Edit()), shown) << typed;
    EXPECT_EQ(y.Value(), SpinEditValue(shown)) << typed;
  }
  // A paste that would not be an integer is refused as a whole.
  for (auto [pasted, shown] : {std::pair{"99999999999", ""}, {"-42", "-42"}}) {
    SetWindowTextA(y.Edit(), "");
    ASSERT_TRUE(OpenClipboard(w.view->Handle()));
    EmptyClipboard();
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, strlen(pasted) + 1);
    memcpy(GlobalLock(h), pasted, strlen(pasted) + 1);
    GlobalUnlock(h);
    SetClipboardData(CF_TEXT, h);
    CloseClipboard();
    SendMessageA(y.Edit(), WM_PASTE, 0, 0);
    EXPECT_EQ(WindowText(y.Edit()), shown) << pasted;
  }
  EXPECT_EQ(w.F().CurrentMRI.y, -42);
}

// ---------------------------------------------------------------------------
// Views, Transforms, dialogs, progress, errors, timer

TEST(Win32Window, TrackerLabelIsPaintedBlackUpTo30AndRedBeyond) {
  TWindow w;
  // Without a port the link is not connected and the label greyed: as with a live link.
  w.view->SetTimerEnabled(false);
  w.view->SetTrackerLabelStale(false);
  HWND label = w.view->dxFOBlabel;
  RECT r;
  GetClientRect(label, &r);
  HDC screen = GetDC(label);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, r.right, r.bottom);
  SelectObject(mem, bmp);
  struct TCase {
    TTrackerReading reading;
    const char* text;
    COLORREF ink, notInk;
  };
  const COLORREF black = RGB(0, 0, 0), red = RGB(255, 0, 0);
  const TCase cases[] = {{{30000, 0, 0}, " x   30.0 y    0.0 z    0.0 d   30.0", black, red},
                         {{30001, 0, 0}, " x   30.0 y    0.0 z    0.0 d   30.0", red, black},
                         {{1234, -5678, 0}, " x    1.2 y   -5.7 z    0.0 d    5.8", black, red}};
  for (const TCase& c : cases) {
    w.F().TrackerReading = c.reading;
    w.F().UpdateTrackerLabel();
    EXPECT_EQ(WindowText(label), c.text);
    // The text is painted in its colour, and nothing in the other one.
    SendMessageA(label, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT);
    int inked = 0, other = 0;
    for (int y = 0; y < r.bottom; ++y)
      for (int x = 0; x < r.right; ++x) {
        const COLORREF p = GetPixel(mem, x, y);
        inked += p == c.ink;
        other += p == c.notInk;
      }
    EXPECT_GT(inked, 20) << c.reading.FOBx;
    EXPECT_EQ(other, 0) << c.reading.FOBx;
  }
  DeleteDC(mem);
  DeleteObject(bmp);
  ReleaseDC(label, screen);
}

TEST(Win32Window, TrackViewShowsItsControlsInPlaceOfTheTable) {
  TWindow w;
  w.AddRows(6);
  EXPECT_TRUE(w.Visible(w.Grid()) && w.Visible(w.view->CoolBar1) && !w.Visible(w.view->TrackPanel));
  Command(w.view->Handle(), TCommand::CalibrateItem);
  EXPECT_FALSE(w.Visible(w.Grid()) || w.Visible(w.view->CoolBar1));
  for (HWND h : {w.view->TrackPanel, w.view->FormulaLabel, w.view->SpeedButton1, w.view->DistanceLabel,
                 w.view->Edit(TEdit::desirex).Edit(), w.view->Edit(TEdit::desirez).UpDown()})
    EXPECT_TRUE(w.Visible(h));
  const std::string formula = WindowText(w.view->FormulaLabel);
  EXPECT_EQ(formula, CrLf(FormulaText(RegCoef)));
  EXPECT_EQ(formula.rfind("MRIx = ", 0), 0u) << formula;
  EXPECT_EQ(w.fob->Lines().size(), 22u);
  EXPECT_EQ(w.fob->Lines()[0], "Number of observations =     6");
}

TEST(Win32Window, TransformsWindowIsModalWithASelectableReadOnlyFixedPitchReport) {
  TWindow w;
  const std::vector<std::string> lines = {"Number of observations =     6", "", "b0   1.25"};
  w.view->SetReportLines(lines);
  EXPECT_EQ(w.fob->Lines(), lines);
  EXPECT_EQ(WindowText(w.fob->CoregMemo), "Number of observations =     6\r\n\r\nb0   1.25");
  EXPECT_TRUE(GetWindowLongPtrA(w.fob->CoregMemo, GWL_STYLE) & ES_READONLY);
  HDC dc = GetDC(w.fob->CoregMemo);
  SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(w.fob->CoregMemo, WM_GETFONT, 0, 0)));
  TEXTMETRICA tm;
  GetTextMetricsA(dc, &tm);
  ReleaseDC(w.fob->CoregMemo, dc);
  EXPECT_FALSE(tm.tmPitchAndFamily & TMPF_FIXED_PITCH) << "set means variable pitch";
  // Shown by the Track view's button: modal, selectable and copyable, closed by Escape.
  bool mainEnabled = true, shown = false;
  std::string copied;
  whileOpen = [&] {
    mainEnabled = IsWindowEnabled(w.view->Handle()) != FALSE;
    shown = IsWindowVisible(w.fob->Handle()) != FALSE;
    SendMessageA(w.fob->CoregMemo, EM_SETSEL, 0, -1);
    SendMessageA(w.fob->CoregMemo, WM_COPY, 0, 0);
    if (OpenClipboard(nullptr)) {
      if (HANDLE h = GetClipboardData(CF_TEXT)) copied = static_cast<const char*>(GlobalLock(h)), GlobalUnlock(h);
      CloseClipboard();
    }
    SetFocus(w.fob->CoregMemo);
    Key(VK_ESCAPE);
  };
  SetTimer(nullptr, 0, 100, WhileOpen);
  SendMessageA(w.view->SpeedButton1, BM_CLICK, 0, 0);
  EXPECT_TRUE(shown);
  EXPECT_FALSE(mainEnabled);
  EXPECT_EQ(copied, WindowText(w.fob->CoregMemo));
  EXPECT_FALSE(w.Visible(w.fob->Handle()));
  EXPECT_TRUE(IsWindowEnabled(w.view->Handle()));
}

TEST(Win32Window, CheckTableRowsAndChoosingOneSelectsItsGridRow) {
  TWindow w;
  w.AddRows(5);
  w.view->SetCheckTable({{1, "0.12", "0.30", false}, {4, "0.40", "0.90", true}}, "mean 0.26, max 0.40",
                        "The landmarks lie close to one plane.");
  HWND table = w.fob->CheckTable;
  ASSERT_TRUE(GetWindowLongPtrA(table, GWL_STYLE) & WS_VISIBLE);
  ASSERT_EQ(ListView_GetItemCount(table), 2);
  char text[64];
  const std::vector<std::vector<std::string>> expected = {{"1", "0.12", "0.30"}, {"4 *", "0.40", "0.90"}};
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 3; ++c) {
      ListView_GetItemText(table, r, c, text, sizeof text);
      EXPECT_EQ(text, expected[r][c]);
    }
  EXPECT_EQ(WindowText(w.fob->CheckSummary), "mean 0.26, max 0.40");
  EXPECT_EQ(WindowText(w.fob->CheckWarning), "The landmarks lie close to one plane.");
  ListView_SetItemState(table, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  Pump(20);
  EXPECT_EQ(w.view->GridSelection().top, 4);
  EXPECT_EQ(w.F().CurrentMRI, (TVoxel{kRows[3].MRIx, kRows[3].MRIy, kRows[3].MRIz}));
  w.view->SetCheckTable({}, "", "");
  EXPECT_FALSE(GetWindowLongPtrA(table, GWL_STYLE) & WS_VISIBLE);
  EXPECT_FALSE(GetWindowLongPtrA(w.fob->CheckWarning, GWL_STYLE) & WS_VISIBLE);
}

TEST(Win32Window, FileDialogsGetTheFiltersDefaultExtensionAndOverwriteQuestion) {
  TWindow w;
  Key('S', true);
  Key('O', true);
  TFileDialog save, open;
  PrepareFileDialog(save, w.files.lastSave, w.view->Handle(), true);
  PrepareFileDialog(open, w.files.lastOpen, w.view->Handle(), false);
  // Pairs of texts, each closed by a NUL, and one more NUL at the end (the literal's own).
  static const char kSaveFilter[] = "Text file (*.txt)\0*.txt\0", kOpenFilter[] = "Text Files\0*.txt\0";
  EXPECT_EQ(std::string(save.ofn.lpstrFilter, sizeof kSaveFilter), std::string(kSaveFilter, sizeof kSaveFilter));
  EXPECT_EQ(std::string(open.ofn.lpstrFilter, sizeof kOpenFilter), std::string(kOpenFilter, sizeof kOpenFilter));
  EXPECT_STREQ(save.ofn.lpstrDefExt, "txt");
  EXPECT_EQ(open.ofn.lpstrDefExt, nullptr);
  EXPECT_TRUE(save.ofn.Flags & OFN_OVERWRITEPROMPT);
  EXPECT_FALSE(open.ofn.Flags & OFN_OVERWRITEPROMPT);
  EXPECT_TRUE((save.ofn.Flags & OFN_HIDEREADONLY) && (open.ofn.Flags & OFN_HIDEREADONLY));
  EXPECT_STREQ(save.ofn.lpstrInitialDir, "C:\\zeltra");
  EXPECT_STREQ(open.ofn.lpstrInitialDir, "C:\\zeltra");
  EXPECT_EQ(save.ofn.hwndOwner, w.view->Handle());
}

TEST(Win32Window, AnErrorThatEscapesAHandlerIsShownAndTheWindowGoesOn) {
  TThrowingChooser chooser;
  TWindow w(&chooser);
  w.Focus(w.Grid());
  Key('O', true);
  EXPECT_EQ(w.messages.errors, std::vector<std::string>{"disk on fire"});
  Key(VK_F1);
  Key(VK_F1);
  EXPECT_EQ(w.F().Table.DataRows(), 2);
  EXPECT_TRUE(w.view->TimerEnabled());
}

TEST(Win32Window, StartUpProgressIsModalAndItsWaitsKeepTheWindowPainting) {
  TWin32WaitClock progress;
  TWindow w(nullptr, &progress);
  progress.SetOwner(w.view->Handle());
  w.view->BeginProgress("Connecting to the tracker on COM3 at 115200 bps ...", 400);
  ASSERT_NE(progress.ProgressWindow(), nullptr);
  EXPECT_TRUE(w.Visible(progress.ProgressWindow()));
  EXPECT_FALSE(IsWindowEnabled(w.view->Handle()));
  InvalidateRect(w.view->dxFOBlabel, nullptr, FALSE);
  // A key pressed meanwhile waits for the end of the wait.
  INPUT key[2] = {};
  key[0].type = key[1].type = INPUT_KEYBOARD;
  key[0].ki.wVk = key[1].ki.wVk = VK_F1;
  key[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, key, sizeof(INPUT));
  const auto start = Clock::now();
  progress.Sleep(150);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150));
  RECT dirty;
  EXPECT_FALSE(GetUpdateRect(w.view->dxFOBlabel, &dirty, FALSE)) << "the label was not painted";
  MSG m;
  EXPECT_TRUE(PeekMessageA(&m, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE));
  EXPECT_EQ(m.wParam, static_cast<WPARAM>(VK_F1));
  w.view->EndProgress();
  EXPECT_EQ(progress.ProgressWindow(), nullptr);
  EXPECT_TRUE(IsWindowEnabled(w.view->Handle()));
}

// Counts the timer messages the main window receives (Timer1 is its only timer).
LRESULT CALLBACK CountTicks(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ticks) {
  if (msg == WM_TIMER) ++*reinterpret_cast<int*>(ticks);
  return DefSubclassProc(hwnd, msg, wp, lp);
}

TEST(Win32Window, Timer1TicksEvery25Milliseconds) {
  TWindow w;
  ASSERT_TRUE(w.view->TimerEnabled());
  int ticks = 0;
  ASSERT_TRUE(SetWindowSubclass(w.view->Handle(), CountTicks, 1, reinterpret_cast<DWORD_PTR>(&ticks)));
  const auto start = Clock::now();
  Pump(2000);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  RemoveWindowSubclass(w.view->Handle(), CountTicks, 1);
  std::printf("Timer1: %d ticks in %.0f ms, %.2f ms a tick\n", ticks, ms, ms / ticks);
  EXPECT_NEAR(ms / ticks, 25.0, 2.0);
}

// ---------------------------------------------------------------------------
// Status line, stale label, closing, Port menu, check table in mm, small dialogs

namespace {

// How many pixels of `ink` a window paints inside `area` (its client area when empty).
int InkPixels(HWND h, COLORREF ink, RECT area = {}) {
  RECT c;
  GetClientRect(h, &c);
  if (IsRectEmpty(&area)) area = c;
  HDC screen = GetDC(h);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, c.right, c.bottom);
  HGDIOBJ old = SelectObject(mem, bmp);
  SendMessageA(h, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT);
  int n = 0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) n += GetPixel(mem, x, y) == ink;
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(h, screen);
  return n;
}

// The top-level window of this thread with this class and title, once it is shown.
HWND FindShown(const wchar_t* cls, const std::string& title) {
  HWND h = FindWindowW(cls, Widen(title).c_str());
  return h && IsWindowVisible(h) ? h : nullptr;
}

std::wstring ItemText(HWND dialog, int id) {
  wchar_t buf[256] = L"";
  GetDlgItemTextW(dialog, id, buf, 256);
  return buf;
}

}  // namespace

TEST(Win32Window, StatusLinePaintsEachLinkStateInItsInk) {
  TWindow w;
  // The controller's own state after a start-up without ports: not connected, in red.
  EXPECT_FALSE(w.view->StatusText(TStatusField::Link).empty());
  EXPECT_TRUE(w.view->StatusRed(TStatusField::Link));
  EXPECT_TRUE(w.Visible(w.view->StatusLine));
  w.view->SetTimerEnabled(false);  // the controller leaves the line to the test
  TTrackerState tracker;
  tracker.PortName = "COM3";
  const COLORREF black = Rgb(look::kStatusInk), red = Rgb(look::kStatusAlertInk);
  for (TLinkState state : {TLinkState::Live, TLinkState::Stale, TLinkState::Noisy, TLinkState::NotConnected}) {
    const TLinkStatusText link = LinkStatusText(state, tracker, 100, 2400, "the port is not there");
    w.view->SetStatusText(TStatusField::Link, link.text, link.red);
    EXPECT_EQ(w.view->StatusText(TStatusField::Link), link.text);
    const RECT field = w.view->StatusFieldRect(TStatusField::Link);
    ASSERT_FALSE(IsRectEmpty(&field)) << link.text;
    EXPECT_GT(InkPixels(w.view->StatusLine, link.red ? red : black, field), 20) << link.text;
    EXPECT_EQ(InkPixels(w.view->StatusLine, link.red ? black : red, field), 0) << link.text;
  }
  // Fields in their order; an empty field takes no room; a non-ASCII text is drawn.
  for (TStatusField f : {TStatusField::Viewer, TStatusField::Fit, TStatusField::Server})
    w.view->SetStatusText(f, "", false);
  w.view->SetStatusText(TStatusField::Calibration, "session.txt \u2022 changed", false);
  w.view->SetStatusText(TStatusField::Image, "head.nii 256\u00d7256\u00d7180", true);
  const RECT link = w.view->StatusFieldRect(TStatusField::Link);
  const RECT viewer = w.view->StatusFieldRect(TStatusField::Viewer);
  const RECT calib = w.view->StatusFieldRect(TStatusField::Calibration);
  const RECT image = w.view->StatusFieldRect(TStatusField::Image);
  EXPECT_TRUE(IsRectEmpty(&viewer));
  EXPECT_EQ(calib.left, link.right + Px(look::kStatusFieldGap));
  EXPECT_EQ(image.left, calib.right + Px(look::kStatusFieldGap));
  EXPECT_GT(InkPixels(w.view->StatusLine, red, image), 20);
  EXPECT_GT(InkPixels(w.view->StatusLine, black, calib), 20);
}

TEST(Win32Window, StatusLineRepaintsOnlyWhenATextChanges) {
  TWindow w;
  w.view->SetTimerEnabled(false);
  w.view->SetStatusText(TStatusField::Fit, "The landmarks lie close to one plane.", true);
  UpdateWindow(w.view->StatusLine);
  const int painted = w.view->StatusPaints();
  for (int i = 0; i < 5; ++i) {
    w.view->SetStatusText(TStatusField::Fit, "The landmarks lie close to one plane.", true);
    w.F().TrackerReading = {1000 * i, 0, 0};
    w.F().UpdateTrackerLabel();  // the live label changes; the status line does not
    Pump(20);
  }
  EXPECT_EQ(w.view->StatusPaints(), painted);
  w.view->SetStatusText(TStatusField::Fit, "The landmarks lie close to one plane.", false);  // the colour alone
  Pump(30);
  EXPECT_EQ(w.view->StatusPaints(), painted + 1);
}

TEST(Win32Window, StaleTrackerLabelIsPaintedGreyAndFreshOneFollowsTheRedRule) {
  TWindow w;
  w.view->SetTimerEnabled(false);
  struct TCase {
    int32_t x;
    bool stale;
    look::TRGB ink;
  };
  const TCase cases[] = {{30000, false, look::kTrackerInk}, {30001, false, look::kTrackerFarInk},
                         {30001, true, look::kStaleInk},    {1234, true, look::kStaleInk},
                         {1234, false, look::kTrackerInk}};
  const look::TRGB inks[] = {look::kTrackerInk, look::kTrackerFarInk, look::kStaleInk};
  for (const TCase& c : cases) {
    w.F().TrackerReading = {c.x, 0, 0};
    w.F().UpdateTrackerLabel();
    w.view->SetTrackerLabelStale(c.stale);
    for (look::TRGB ink : inks) {
      const int n = InkPixels(w.view->dxFOBlabel, Rgb(ink));
      if (Rgb(ink) == Rgb(c.ink)) {
        EXPECT_GT(n, 20) << c.x << (c.stale ? " stale" : "");
      } else {
        EXPECT_EQ(n, 0) << c.x << (c.stale ? " stale" : "");
      }
    }
  }
}

// The program's UTF-8 and a file name from the ANSI dialogs both reach the W
// functions as their characters.
TEST(Win32Window, TextsAreReadAsUtf8OrElseInTheAnsiCodePage) {
  EXPECT_EQ(Widen("Calibration: head.txt"), L"Calibration: head.txt");
  EXPECT_EQ(Widen("\xc2\xb5m"), L"\u00b5m");
  const std::string ansi = "Calibration: M\xfcller.txt";  // u umlaut in the Western code pages
  wchar_t expected[64] = {};
  MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, expected, 64);
  EXPECT_EQ(Widen(ansi), std::wstring(expected));
  if (GetACP() == 1252) {
    EXPECT_EQ(Widen(ansi), L"Calibration: M\u00fcller.txt");
  }
}

// The system's end of a session: the query, and the end when no window refused.
static void EndSession(HWND h) {
  if (SendMessageA(h, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF))
    SendMessageA(h, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
}

TEST(Win32Window, EveryCloseRequestAsksAboutUnsavedRowsAndCancelKeepsTheWindow) {
  using A = IMessagePresenter::TSaveAnswer;
  struct TCase {
    const char* path;
    std::function<void(HWND)> request;
    A answer;
    bool closes;
  };
  const TCase cases[] = {
      {"WM_CLOSE", [](HWND h) { PostMessageA(h, WM_CLOSE, 0, 0); }, A::Cancel, false},
      {"WM_CLOSE", [](HWND h) { PostMessageA(h, WM_CLOSE, 0, 0); }, A::Discard, true},
      {"close box", [](HWND h) { PostMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0); }, A::Cancel, false},
      {"log off", EndSession, A::Cancel, false},
      {"log off", EndSession, A::Discard, true},
      {"File > Exit", [](HWND h) { PostMessageA(h, WM_COMMAND, win32ids::CommandId(TCommand::Exit1), 0); },
       A::Cancel, false},
      {"File > Exit", [](HWND h) { PostMessageA(h, WM_COMMAND, win32ids::CommandId(TCommand::Exit1), 0); },
       A::Discard, true},
  };
  for (const TCase& c : cases) {
    TWindow w;
    w.AddRows(2);
    w.messages.answers = {c.answer};
    HWND main = w.view->Handle();
    c.request(main);
    Pump(400, [&] { return !IsWindow(main); });
    EXPECT_EQ(w.messages.questions, std::vector<std::string>{kSaveChangesQuestion}) << c.path;
    EXPECT_EQ(!IsWindow(main), c.closes) << c.path;
    // The settings are stored only when the window really goes.
    EXPECT_EQ(w.store->values.count("BPS"), c.closes ? 1u : 0u) << c.path;
    if (!c.closes) {
      EXPECT_EQ(w.F().Table.DataRows(), 2) << c.path;
    }
  }
  // Nothing unsaved: no question.
  TWindow w;
  HWND main = w.view->Handle();
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_TRUE(Pump(400, [&] { return !IsWindow(main); }));
  EXPECT_TRUE(w.messages.questions.empty());
}

TEST(Win32Window, PortMenuListsThePortsThatExistEachTimeItOpens) {
  TWindow w;
  const std::vector<std::vector<std::string>> listings = {{"COM1", "COM3"}, {"COM7"}, {}, {"COM1", "COM4", "COM9"}};
  for (const auto& ports : listings) {
    w.ports.ports = ports;
    SendMessageA(w.view->Handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(w.view->PortMenu()), 0);
    std::vector<std::string> shown;
    for (int i = 0; i < GetMenuItemCount(w.view->PortMenu()); ++i)
      shown.push_back(MenuText(w.view->PortMenu(), win32ids::kPortItemIdBase + i));
    EXPECT_EQ(shown, std::vector<std::string>(ports.rbegin(), ports.rend()));
  }
}

TEST(Win32Window, CheckTableWithAnImageHasMmColumnsAndTheLegendExplainsTheMark) {
  TWindow w;
  HWND table = w.fob->CheckTable;
  auto headers = [&] {
    std::vector<std::string> h;
    char text[64];
    LVCOLUMNA col{};
    col.mask = LVCF_TEXT;
    col.pszText = text;
    col.cchTextMax = sizeof text;
    for (int c = 0; SendMessageA(table, LVM_GETCOLUMNA, c, reinterpret_cast<LPARAM>(&col)); ++c) h.push_back(text);
    return h;
  };
  auto cells = [&](int row) {
    std::vector<std::string> v;
    char text[64];
    for (int c = 0; c < w.fob->CheckColumns(); ++c) {
      ListView_GetItemText(table, row, c, text, sizeof text);
      v.push_back(text);
    }
    return v;
  };
  struct TCase {
    std::vector<TCheckTableRow> rows;
    std::vector<std::string> lastRow;
    bool legend;
  };
  const TCase cases[] = {
      {{{1, "0.12", "0.30", false, "0.15", "0.37"}, {4, "0.40", "0.90", true, "0.50", "1.12"}},
       {"4 *", "0.40", "0.90", "0.50", "1.12"},
       true},
      {{{2, "0.20", "0.25", false}, {3, "0.10", "0.20", false}}, {"3", "0.10", "0.20"}, false},
      {{{5, "0.33", "0.50", true, "0.41", "0.62"}}, {"5 *", "0.33", "0.50", "0.41", "0.62"}, true},
  };
  for (const TCase& c : cases) {
    w.view->SetCheckTable(c.rows, "mean 0.26, max 0.40", "");
    const bool mm = !c.rows[0].residualMm.empty();
    EXPECT_EQ(headers(), CheckTableHeaders(mm));
    EXPECT_EQ(w.fob->CheckColumns(), mm ? 5 : 3);
    EXPECT_EQ(cells(static_cast<int>(c.rows.size()) - 1), c.lastRow);
    EXPECT_EQ(OwnVisible(w.fob->CheckLegend), c.legend);
    EXPECT_EQ(WindowText(w.fob->CheckLegend), design::kCheckLegend);
  }
  // The units are in the headers.
  EXPECT_NE(headers()[1].find("[vxl]"), std::string::npos);
}

TEST(Win32Window, SaveQuestionNamesItsButtonsAndEachGivesItsAnswer) {
  TWindow w;
  TWin32MessagePresenter presenter;
  presenter.SetOwner(w.view->Handle());
  using A = IMessagePresenter::TSaveAnswer;
  struct TCase {
    int button;  // 0: the box's close message
    A answer;
  };
  for (const TCase& c : {TCase{IDYES, A::Save}, TCase{IDNO, A::Discard}, TCase{IDCANCEL, A::Cancel}, TCase{0, A::Cancel}}) {
    std::wstring texts[3];
    whileOpen = [&] {
      HWND box = FindShown(L"#32770", "Zeltra");
      if (!box) return;
      texts[0] = ItemText(box, IDYES), texts[1] = ItemText(box, IDNO), texts[2] = ItemText(box, IDCANCEL);
      if (c.button)
        SendMessageA(GetDlgItem(box, c.button), BM_CLICK, 0, 0);
      else
        PostMessageA(box, WM_CLOSE, 0, 0);
    };
    SetTimer(nullptr, 0, 150, WhileOpen);
    EXPECT_EQ(presenter.AskSave(kSaveChangesQuestion), c.answer) << c.button;
    EXPECT_EQ(texts[0], kSaveButtonText);
    EXPECT_EQ(texts[1], kDiscardButtonText);
    EXPECT_EQ(texts[2], kCancelButtonText);
  }
}

TEST(Win32Window, ServerDialogEditsTheAddressAndAPortFrom0To65535) {
  const std::pair<const char*, std::optional<int32_t>> ports[] = {
      {"0", 0}, {"18944", 18944}, {"65535", 65535}, {"65536", std::nullopt}, {"", std::nullopt}, {"12a", std::nullopt},
      {"-1", std::nullopt}};
  for (auto [text, value] : ports) EXPECT_EQ(ServerPortValue(text), value) << text;

  TWindow w;
  struct TCase {
    const wchar_t* address;
    const wchar_t* port;
    int button;
    bool accepted;
    std::string address2;
    int32_t port2;
  };
  const TCase cases[] = {{L"0.0.0.0", L"18945", IDOK, true, "0.0.0.0", 18945},
                         {L"10.1.1.1", L"7", IDCANCEL, false, "127.0.0.1", 18944}};
  for (const TCase& c : cases) {
    std::wstring labels[2], shownPort;
    whileOpen = [&] {
      HWND d = FindShown(L"#32770", design::kServerDialogCaption);
      if (!d) return;
      labels[0] = ItemText(d, win32ids::kIdServerAddressLabel);
      labels[1] = ItemText(d, win32ids::kIdServerPortLabel);
      shownPort = ItemText(d, win32ids::kIdServerPort);
      SetDlgItemTextW(d, win32ids::kIdServerAddress, c.address);
      SetDlgItemTextW(d, win32ids::kIdServerPort, c.port);
      SendMessageA(GetDlgItem(d, c.button), BM_CLICK, 0, 0);
    };
    SetTimer(nullptr, 0, 150, WhileOpen);
    std::string address = "127.0.0.1";
    int32_t port = 18944;
    EXPECT_EQ(w.view->EditServerAddress(address, port), c.accepted);
    EXPECT_EQ(address, c.address2);
    EXPECT_EQ(port, c.port2);
    EXPECT_EQ(labels[0], Widen(design::kServerAddressLabel));
    EXPECT_EQ(labels[1], Widen(design::kServerPortLabel));
    EXPECT_EQ(shownPort, L"18944");
  }
}

TEST(Win32Window, NewMenuItemsRaiseTheirCommandsAndSaveProposesTheFileName) {
  TWindow w;
  HWND main = w.view->Handle();
  for (TCommand c : {TCommand::FlockRange72, TCommand::FastrakCentimetres, TCommand::FlockRange36,
                     TCommand::FastrakInches}) {
    Command(main, c);
    EXPECT_TRUE(MenuChecked(w.view->Menu(), c)) << win32ids::CommandId(c);
  }
  EXPECT_EQ(MenuText(w.view->Menu(), win32ids::CommandId(TCommand::OpenImage1)), "Open MRI image\u2026");
  w.files.lastOpen = {};
  Command(main, TCommand::OpenImage1);
  EXPECT_FALSE(w.files.lastOpen.filter.empty());
  // The Track view's distance in mm sits beside the one in voxels.
  w.view->SetDistanceMmText("12.40 mm");
  EXPECT_EQ(WindowText(w.view->DistanceMmLabel), "12.40 mm");
  RECT vxl, mm;
  GetWindowRect(w.view->DistanceLabel, &vxl);
  GetWindowRect(w.view->DistanceMmLabel, &mm);
  EXPECT_GE(mm.left, vxl.right);
  // The save dialog proposes the given name; the open dialog none.
  TFileDialogSpec spec;
  spec.fileName = "session 2.txt";
  TFileDialog save, open;
  PrepareFileDialog(save, spec, main, true);
  PrepareFileDialog(open, spec, main, false);
  EXPECT_STREQ(save.ofn.lpstrFile, "session 2.txt");
  EXPECT_STREQ(open.ofn.lpstrFile, "");
}
