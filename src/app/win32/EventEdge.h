#pragma once
// The event edge: every window procedure of the program runs its work through
// AtEventEdge. An error that escapes a handler (file, settings, viewer link) ends
// that handler and is shown in the standard error box; the program goes on, and
// nothing escapes into the system's message dispatch.
#include <windows.h>

#include <exception>

#include "Interfaces.h"

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

}  // namespace win32
