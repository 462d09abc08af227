#include "EventEdge.h"

namespace win32 {

namespace {
IMessagePresenter* gErrorBox = nullptr;
}

void SetEventErrorBox(IMessagePresenter* box) { gErrorBox = box; }

void ShowEventError(const char* text) {
  // The box itself must not throw into the dispatch either.
  try {
    if (gErrorBox)
      gErrorBox->ShowError(text);
    else
      MessageBoxA(nullptr, ErrorBoxText(text).c_str(), "Zeltra", MB_OK | MB_ICONERROR);
  } catch (...) {
  }
}

}  // namespace win32
