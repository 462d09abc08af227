#include "Win32Services.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "ControlIds.h"
#include "Win32Util.h"

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
  MessageBoxA(owner, CrLf(text).c_str(), "Zeltra", MB_OK | (owner ? 0 : MB_TASKMODAL));
}

void TWin32MessagePresenter::ShowError(const std::string& text) {
  HWND owner = Owner();
  MessageBoxA(owner, CrLf(ErrorBoxText(text)).c_str(), "Zeltra", MB_OK | MB_ICONERROR | (owner ? 0 : MB_TASKMODAL));
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
