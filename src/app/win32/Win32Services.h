#pragma once
// Win32 implementations of the core's outside-world interfaces: modal message
// boxes, the open and save dialogs, and the clock whose waits keep the window
// painting while a modal progress window shows that the tracker is being
// connected.
#include <windows.h>
#include <commdlg.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Interfaces.h"

namespace win32 {

// Message boxes titled with the program's name, over the window that is active
// (the main window, or a modal window above it). Carriage returns break lines.
class TWin32MessagePresenter : public IMessagePresenter {
 public:
  void SetOwner(HWND owner) { owner_ = owner; }
  void ShowMessage(const std::string& text) override;
  void ShowError(const std::string& text) override;
  // A question box whose buttons read Save, Discard and Cancel (closing it: Cancel).
  TSaveAnswer AskSave(const std::string& text) override;

 private:
  HWND Owner() const;
  HWND owner_ = nullptr;
};

// The buttons of the save question, by the message box's identifiers: IDYES is
// Save, IDNO Discard, IDCANCEL Cancel.
inline constexpr wchar_t kSaveButtonText[] = L"&Save";
inline constexpr wchar_t kDiscardButtonText[] = L"&Discard";
inline constexpr wchar_t kCancelButtonText[] = L"Cancel";

// The OpenIGTLink server's address and port in a modal dialog over `owner`: the
// address as typed, the port a number from 0 to 65535 (anything else is refused
// with a message and the dialog stays). False when cancelled; then nothing changes.
bool ServerAddressDialog(HWND owner, std::string& address, int32_t& port);
// The port's text as the dialog accepts it: digits only, 0 to 65535.
std::optional<int32_t> ServerPortValue(const std::string& text);
inline constexpr char kServerPortRefused[] = "The port is a number from 0 to 65535.";

// "Text file (*.txt)|*.txt" (description|pattern pairs) in the form of an
// OPENFILENAME filter: "Text file (*.txt)\0*.txt\0\0".
std::string Win32Filter(const std::string& filter);

// The settings of one open or save dialog and the buffers they point into.
struct TFileDialog {
  OPENFILENAMEA ofn{};
  std::string filter;
  std::string initialDir;
  std::string defaultExt;
  std::vector<char> file;
};
void PrepareFileDialog(TFileDialog& d, const TFileDialogSpec& spec, HWND owner, bool save);

class TWin32FileChooser : public IFileChooser {
 public:
  void SetOwner(HWND owner) { owner_ = owner; }
  std::optional<std::string> ChooseOpen(const TFileDialogSpec& spec) override;
  std::optional<std::string> ChooseSave(const TFileDialogSpec& spec) override;

 private:
  std::optional<std::string> Choose(const TFileDialogSpec& spec, bool save);
  HWND owner_ = nullptr;
};

// The tracker start-up's clock. Between Begin and End a modal progress window
// (its owner disabled) shows that the tracker is being connected. Sleep waits the
// whole time while every window keeps painting; it runs no operator input (which
// waits in the queue) and, since the tracker link stops Timer1 during its waits,
// no polling tick.
class TWin32WaitClock : public IClock {
 public:
  TWin32WaitClock();
  ~TWin32WaitClock() override;
  void SetOwner(HWND owner) { owner_ = owner; }
  void Sleep(uint32_t ms) override;
  uint64_t NowMs() override;

  // Shows the progress window; `expectedMs` is the length of the whole exchange.
  void Begin(const std::string& text, int expectedMs);
  void End();
  HWND ProgressWindow() const { return progress_; }

 private:
  void UpdateProgress();
  HWND owner_ = nullptr;
  HWND progress_ = nullptr;
  HWND bar_ = nullptr;
  uint64_t begun_ = 0;
  LARGE_INTEGER frequency_{};
};

}  // namespace win32
