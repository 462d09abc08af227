#pragma once
// Small helpers of the Win32 window: texts of windows, the look's fonts and colours,
// scaling of the design's pixels to the screen's resolution, child windows.
#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

#include "reg/RegFormLook.h"

namespace win32 {

// The window's text (its caption, or an edit's contents).
std::string WindowText(HWND hwnd);

// UTF-8 (the design's and the controller's texts) to UTF-16 for the W functions,
// and back. A text that is not valid UTF-8 holds a name from an ANSI function (a
// file chosen in a dialog, a folder): it is read in the ANSI code page.
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& utf16);

// Line breaks as edits and message boxes show them: every "\r", "\n" or "\r\n"
// becomes "\r\n".
std::string CrLf(const std::string& text);

// The screen's dots per inch, and the design's pixels (at 96 dots per inch) on it.
int ScreenDpi();
int Px(int designPixels);

constexpr COLORREF Rgb(look::TRGB c) { return RGB(c.r, c.g, c.b); }

struct TGdiDeleter {
  void operator()(HGDIOBJ h) const {
    if (h) DeleteObject(h);
  }
};
using TFont = std::unique_ptr<std::remove_pointer_t<HFONT>, TGdiDeleter>;
using TBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, TGdiDeleter>;

// The look's font, its character height scaled to the screen. Faces that are not
// installed fall back to a proportional sans-serif face (or a fixed-pitch one).
TFont PixelFont(const look::TFontSpec& spec);

// Registers a window class of this program once (later calls do nothing); the
// icon is the program's (resource 1) when it has one.
void RegisterWindowClass(const char* name, WNDPROC proc, HBRUSH background, LPCSTR cursor = IDC_ARROW);

// The object behind a window that was created with it as the creation parameter:
// kept with the window from WM_NCCREATE (which also sets its `handle` member) to
// WM_NCDESTROY; nullptr before and after.
template <typename T>
T* WindowObject(HWND hwnd, UINT msg, LPARAM lp, HWND T::*handle) {
  if (msg == WM_NCCREATE) {
    auto* created = static_cast<T*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
    created->*handle = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
  }
  auto* object = reinterpret_cast<T*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (msg == WM_NCDESTROY) SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
  return object;
}

// A child control with the given class, text, style and identifier.
HWND CreateChild(const char* windowClass, const char* text, DWORD style, HWND parent, int id, DWORD exStyle = 0);

void SetFont(HWND hwnd, HFONT font);

// The window's own visibility flag, whatever its parents' (IsWindowVisible also
// needs every parent visible).
bool OwnVisible(HWND hwnd);

// The folder that holds the program file.
std::string ProgramDir();

}  // namespace win32
