#include "MessageLoop.h"

#include <algorithm>
#include <vector>

namespace win32 {

namespace {
HWND gAcceleratorWindow = nullptr;
HACCEL gAccelerators = nullptr;
std::vector<HWND> gDialogWindows;
}  // namespace

void SetAcceleratorWindow(HWND hwnd, HACCEL accelerators) {
  gAcceleratorWindow = hwnd;
  gAccelerators = accelerators;
}

void AddDialogWindow(HWND hwnd) {
  if (std::find(gDialogWindows.begin(), gDialogWindows.end(), hwnd) == gDialogWindows.end())
    gDialogWindows.push_back(hwnd);
}

void RemoveDialogWindow(HWND hwnd) { std::erase(gDialogWindows, hwnd); }

void DispatchLoopMessage(MSG& msg) {
  HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (root && root == gAcceleratorWindow && gAccelerators && IsWindowEnabled(root) &&
      TranslateAcceleratorA(root, gAccelerators, &msg))
    return;
  if (root && std::find(gDialogWindows.begin(), gDialogWindows.end(), root) != gDialogWindows.end() &&
      IsDialogMessageA(root, &msg))
    return;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}

std::optional<int> RunMessageLoop(const std::function<bool()>& done) {
  MSG msg;
  while (!done()) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(msg.wParam);
    if (got == -1) return 1;
    DispatchLoopMessage(msg);
  }
  return std::nullopt;
}

}  // namespace win32
