#pragma once
// The program's one message loop. Every message goes, in this order, to
//   1. the main window's accelerator table (only for messages of the main window
//      and its controls, and only while it is enabled, i.e. not behind a modal
//      window), so that the shortcuts work in both views and in every control;
//   2. the dialog keys (Tab between controls) of the window it belongs to, when
//      that window is one of the registered ones;
//   3. TranslateMessage and DispatchMessage.
// The main loop and the modal loop of the Transforms window both run it.
#include <windows.h>

#include <functional>
#include <optional>

namespace win32 {

// The window whose accelerators the loop translates (none: nullptr).
void SetAcceleratorWindow(HWND hwnd, HACCEL accelerators);
// Windows whose controls take the dialog keys.
void AddDialogWindow(HWND hwnd);
void RemoveDialogWindow(HWND hwnd);

// Handles one message as described above.
void DispatchLoopMessage(MSG& msg);

// Runs the loop until `done` holds (checked before each wait) or WM_QUIT arrives:
// then WM_QUIT's exit code (a modal loop posts it again for the loop outside it).
std::optional<int> RunMessageLoop(const std::function<bool()>& done);

}  // namespace win32
