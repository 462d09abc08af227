#pragma once
// The event edge: every window procedure of the program runs its work through
// AtEventEdge. An error that escapes a handler (file, settings, viewer link) ends
// that handler and is shown in the standard error box; the program goes on, and
// nothing escapes into the system's message dispatch.
#include <windows.h>

#include <exception>

#include "Interfaces.h"
#include "Win32Util.h"

namespace win32 {

// Where AtEventEdge shows errors (the program's message presenter).
void SetEventErrorBox(IMessagePresenter* box);
void ShowEventError(const char* text);

template <typename Work>
LRESULT AtEventEdge(Work&& work, LRESULT onError = 0) {
  try {
    return work();
  } catch (const std::exception& e) {
    ShowEventError(e.what());
  } catch (...) {
    ShowEventError("Unexpected error");
  }
  return onError;
}

// The window procedure of a class whose objects handle their own window's messages
// (T::OnMessage): the object is the window's creation parameter; `Handle` is the
// member that receives the window's handle at WM_NCCREATE.
template <typename T, HWND T::*Handle>
LRESULT CALLBACK ObjectWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return AtEventEdge([&]() -> LRESULT {
    T* object = WindowObject(hwnd, msg, lp, Handle);
    return object ? object->OnMessage(msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp);
  });
}

}  // namespace win32
