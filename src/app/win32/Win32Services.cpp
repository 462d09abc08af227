#include "Win32Services.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "ControlIds.h"
#include "Win32Util.h"
#include "reg/RegFormDesign.h"

namespace win32 {

// ---------------------------------------------------------------------------
// Message boxes

HWND TWin32MessagePresenter::Owner() const {
  // Over a modal window when one is active (the progress, the Transforms window).
  HWND active = GetActiveWindow();
  if (active && IsWindowVisible(active) && IsWindowEnabled(active)) return active;
  return owner_ && IsWindowVisible(owner_) ? owner_ : nullptr;
}

void TWin32MessagePresenter::ShowMessage(const std::string& text) {
  HWND owner = Owner();
  MessageBoxW(owner, Widen(CrLf(text)).c_str(), L"Zeltra", MB_OK | (owner ? 0 : MB_TASKMODAL));
}

void TWin32MessagePresenter::ShowError(const std::string& text) {
  HWND owner = Owner();
  MessageBoxW(owner, Widen(CrLf(ErrorBoxText(text))).c_str(), L"Zeltra",
              MB_OK | MB_ICONERROR | (owner ? 0 : MB_TASKMODAL));
}

namespace {

// The save question's box gets its buttons' texts as it is activated.
thread_local HHOOK saveButtonsHook = nullptr;

LRESULT CALLBACK NameSaveButtons(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wp);
    char cls[16] = "";
    GetClassNameA(box, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") == 0 && GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO)) {
      SetDlgItemTextW(box, IDYES, kSaveButtonText);
      SetDlgItemTextW(box, IDNO, kDiscardButtonText);
      SetDlgItemTextW(box, IDCANCEL, kCancelButtonText);
      HHOOK hook = saveButtonsHook;
      saveButtonsHook = nullptr;
      UnhookWindowsHookEx(hook);
      return 0;
    }
  }
  return CallNextHookEx(saveButtonsHook, code, wp, lp);
}

}  // namespace

IMessagePresenter::TSaveAnswer TWin32MessagePresenter::AskSave(const std::string& text) {
  HWND owner = Owner();
  saveButtonsHook = SetWindowsHookExW(WH_CBT, NameSaveButtons, nullptr, GetCurrentThreadId());
  const int answer = MessageBoxW(owner, Widen(CrLf(text)).c_str(), L"Zeltra",
                                 MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON1 | (owner ? 0 : MB_TASKMODAL));
  if (saveButtonsHook) {
    UnhookWindowsHookEx(saveButtonsHook);
    saveButtonsHook = nullptr;
  }
  switch (answer) {
    case IDYES: return TSaveAnswer::Save;
    case IDNO: return TSaveAnswer::Discard;
    default: return TSaveAnswer::Cancel;
  }
}

// ---------------------------------------------------------------------------
// The OpenIGTLink server dialog: a dialog template built in memory

namespace {

class TDialogTemplate {
 public:
  TDialogTemplate(const std::wstring& caption, short cx, short cy, int items) {
    Dword(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    Dword(0);
    words_.push_back(static_cast<WORD>(items));
    for (short v : {short{0}, short{0}, cx, cy}) words_.push_back(static_cast<WORD>(v));
    words_.push_back(0);  // no menu
    words_.push_back(0);  // the standard dialog class
    Text(caption);
    words_.push_back(8);  // points
    Text(L"MS Shell Dlg");
  }
  // A control of a predefined class (0x80 button, 0x81 edit, 0x82 static).
  void Item(WORD atom, const std::wstring& text, DWORD style, short x, short y, short cx, short cy, int id) {
    if (words_.size() % 2) words_.push_back(0);  // each item starts on a DWORD
    Dword(WS_CHILD | WS_VISIBLE | style);
    Dword(atom == 0x81 ? WS_EX_CLIENTEDGE : 0);
    for (short v : {x, y, cx, cy}) words_.push_back(static_cast<WORD>(v));
    words_.push_back(static_cast<WORD>(id));
    words_.push_back(0xFFFF);
    words_.push_back(atom);
    Text(text);
    words_.push_back(0);  // no creation data
  }
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Dword(DWORD d) {
    words_.push_back(LOWORD(d));
    words_.push_back(HIWORD(d));
  }
  void Text(const std::wstring& t) {
    words_.insert(words_.end(), t.begin(), t.end());
    words_.push_back(0);
  }
  std::vector<WORD> words_;
};

struct TServerDialogData {
  std::string address;
  int32_t port;
};

std::string DialogItemText(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  std::wstring t(static_cast<size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
  t.resize(static_cast<size_t>(GetWindowTextW(item, t.data(), static_cast<int>(t.size()))));
  return Narrow(t);
}

INT_PTR CALLBACK ServerDialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
  auto* data = reinterpret_cast<TServerDialogData*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lp);
      data = reinterpret_cast<TServerDialogData*>(lp);
      SetDlgItemTextW(dialog, win32ids::kIdServerAddress, Widen(data->address).c_str());
      SetDlgItemTextW(dialog, win32ids::kIdServerPort, Widen(std::to_string(data->port)).c_str());
      SendDlgItemMessageW(dialog, win32ids::kIdServerPort, EM_LIMITTEXT, 5, 0);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK && data) {
        const std::optional<int32_t> port = ServerPortValue(DialogItemText(dialog, win32ids::kIdServerPort));
        if (!port) {
          MessageBoxW(dialog, Widen(kServerPortRefused).c_str(), L"Zeltra", MB_OK | MB_ICONERROR);
          HWND edit = GetDlgItem(dialog, win32ids::kIdServerPort);
          SetFocus(edit);
          SendMessageW(edit, EM_SETSEL, 0, -1);
          return TRUE;
        }
        data->address = DialogItemText(dialog, win32ids::kIdServerAddress);
        data->port = *port;
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wp) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

std::optional<int32_t> ServerPortValue(const std::string& text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int32_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  if (v > 65535) return std::nullopt;
  return v;
}

bool ServerAddressDialog(HWND owner, std::string& address, int32_t& port) {
  TDialogTemplate t(Widen(design::kServerDialogCaption), 280, 90, 6);
  t.Item(0x82, Widen(design::kServerAddressLabel), SS_LEFT | SS_NOPREFIX, 7, 7, 266, 9,
         win32ids::kIdServerAddressLabel);
  t.Item(0x81, L"", WS_TABSTOP | ES_AUTOHSCROLL, 7, 18, 266, 13, win32ids::kIdServerAddress);
  t.Item(0x82, Widen(design::kServerPortLabel), SS_LEFT | SS_NOPREFIX, 7, 37, 266, 9, win32ids::kIdServerPortLabel);
  t.Item(0x81, L"", WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, 7, 48, 60, 13, win32ids::kIdServerPort);
  t.Item(0x80, L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 166, 70, 50, 14, IDOK);
  t.Item(0x80, L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, 223, 70, 50, 14, IDCANCEL);
  TServerDialogData data{address, port};
  const INT_PTR r = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.Get(), owner, ServerDialogProc,
                                            reinterpret_cast<LPARAM>(&data));
  if (r != IDOK) return false;
  address = data.address;
  port = data.port;
  return true;
}

// ---------------------------------------------------------------------------
// File dialogs

std::string Win32Filter(const std::string& filter) {
  std::string out = filter;
  std::replace(out.begin(), out.end(), '|', '\0');
  out.push_back('\0');
  out.push_back('\0');
  return out;
}

void PrepareFileDialog(TFileDialog& d, const TFileDialogSpec& spec, HWND owner, bool save) {
  d.filter = Win32Filter(spec.filter);
  d.initialDir = spec.initialDir;
  d.defaultExt = spec.defaultExt;
  d.file.assign(32768, '\0');
  // The save dialog proposes the name it was given.
  if (save) std::copy_n(spec.fileName.begin(), std::min(spec.fileName.size(), d.file.size() - 1), d.file.begin());
  d.ofn = OPENFILENAMEA{};
  d.ofn.lStructSize = sizeof d.ofn;
  d.ofn.hwndOwner = owner;
  d.ofn.lpstrFilter = d.filter.c_str();
  d.ofn.nFilterIndex = 1;
  d.ofn.lpstrFile = d.file.data();
  d.ofn.nMaxFile = static_cast<DWORD>(d.file.size());
  d.ofn.lpstrInitialDir = d.initialDir.empty() ? nullptr : d.initialDir.c_str();
  d.ofn.lpstrDefExt = d.defaultExt.empty() ? nullptr : d.defaultExt.c_str();
  d.ofn.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (save) {
    d.ofn.Flags |= OFN_PATHMUSTEXIST;
    if (spec.overwritePrompt) d.ofn.Flags |= OFN_OVERWRITEPROMPT;
  }
}

std::optional<std::string> TWin32FileChooser::Choose(const TFileDialogSpec& spec, bool save) {
  TFileDialog d;
  PrepareFileDialog(d, spec, owner_, save);
  if (save ? GetSaveFileNameA(&d.ofn) : GetOpenFileNameA(&d.ofn)) return std::string(d.file.data());
  if (DWORD error = CommDlgExtendedError()) {
    char text[64];
    std::snprintf(text, sizeof text, "The file dialog failed (error 0x%04lX)", static_cast<unsigned long>(error));
    throw std::runtime_error(text);
  }
  return std::nullopt;  // cancelled
}

std::optional<std::string> TWin32FileChooser::ChooseOpen(const TFileDialogSpec& spec) { return Choose(spec, false); }

std::optional<std::string> TWin32FileChooser::ChooseSave(const TFileDialogSpec& spec) { return Choose(spec, true); }

// ---------------------------------------------------------------------------
// The wait clock and its progress window

namespace {

LRESULT CALLBACK ProgressProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CLOSE) return 0;  // it goes when the exchange is over
  return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

TWin32WaitClock::TWin32WaitClock() { QueryPerformanceFrequency(&frequency_); }

TWin32WaitClock::~TWin32WaitClock() { End(); }

uint64_t TWin32WaitClock::NowMs() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<uint64_t>(now.QuadPart / (frequency_.QuadPart / 1000 ? frequency_.QuadPart / 1000 : 1));
}

void TWin32WaitClock::Sleep(uint32_t ms) {
  const uint64_t end = NowMs() + ms;
  bool quit = false;
  int quitCode = 0;
  // Never shorter than asked: the device needs the whole wait.
  for (uint64_t now = NowMs(); now < end; now = NowMs()) {
    UpdateProgress();
    const auto wait = static_cast<DWORD>(std::min<uint64_t>(end - now, 20));
    MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_PAINT | QS_POSTMESSAGE | QS_SENDMESSAGE | QS_TIMER, 0);
    // Painting, timers and posted messages; keys and mouse wait in the queue.
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE)) {
      if (m.message == WM_QUIT) {
        quit = true;
        quitCode = static_cast<int>(m.wParam);
        continue;
      }
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
  }
  if (quit) PostQuitMessage(quitCode);
}

void TWin32WaitClock::Begin(const std::string& text, int expectedMs) {
  End();
  RegisterWindowClass(win32ids::kProgressClass, ProgressProc, GetSysColorBrush(COLOR_BTNFACE), IDC_WAIT);
  const int w = Px(380), h = Px(96);
  RECT o{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (owner_) GetWindowRect(owner_, &o);
  progress_ = CreateWindowExA(WS_EX_DLGMODALFRAME, win32ids::kProgressClass, "Zeltra", WS_POPUP | WS_CAPTION,
                              (o.left + o.right - w) / 2, (o.top + o.bottom - h) / 2, w, h, owner_, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  HWND label =
      CreateChild("STATIC", text.c_str(), WS_VISIBLE | SS_LEFT | SS_NOPREFIX, progress_, win32ids::kIdProgressText);
  SetFont(label, static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
  bar_ = CreateChild(PROGRESS_CLASSA, "", WS_VISIBLE, progress_, win32ids::kIdProgressBar);
  RECT c;
  GetClientRect(progress_, &c);
  MoveWindow(label, Px(10), Px(8), c.right - Px(20), Px(20), FALSE);
  MoveWindow(bar_, Px(10), Px(34), c.right - Px(20), Px(18), FALSE);
  SendMessageA(bar_, PBM_SETRANGE32, 0, std::max(1, expectedMs));
  // Modal: the owner takes no input until the exchange is over.
  if (owner_) EnableWindow(owner_, FALSE);
  ShowWindow(progress_, SW_SHOW);
  UpdateWindow(progress_);
  begun_ = NowMs();
}

void TWin32WaitClock::UpdateProgress() {
  if (bar_) SendMessageA(bar_, PBM_SETPOS, static_cast<WPARAM>(NowMs() - begun_), 0);
}

void TWin32WaitClock::End() {
  if (!progress_) return;
  // The owner is enabled before the progress goes, so that the keyboard returns to it.
  if (owner_) EnableWindow(owner_, TRUE);
  DestroyWindow(progress_);
  progress_ = bar_ = nullptr;
  if (owner_ && IsWindowVisible(owner_)) SetForegroundWindow(owner_);
}

}  // namespace win32
