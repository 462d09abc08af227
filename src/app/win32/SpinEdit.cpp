#include "SpinEdit.h"

#include <commctrl.h>

#include <climits>

#include "ControlIds.h"
#include "EventEdge.h"
#include "Win32Util.h"
#include "reg/RegFormLook.h"

namespace win32 {

namespace {

// The text the edit would hold after `insert` replaced its selection.
std::string AfterInsert(HWND edit, const std::string& insert) {
  std::string text = WindowText(edit);
  DWORD start = 0, end = 0;
  SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  if (start > text.size()) start = static_cast<DWORD>(text.size());
  if (end > text.size() || end < start) end = start;
  return text.substr(0, start) + insert + text.substr(end);
}

std::string ClipboardText(HWND owner) {
  std::string text;
  if (!IsClipboardFormatAvailable(CF_TEXT) || !OpenClipboard(owner)) return text;
  if (HANDLE h = GetClipboardData(CF_TEXT)) {
    if (const char* p = static_cast<const char*>(GlobalLock(h))) {
      text = p;
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
  return text;
}

LRESULT CALLBACK SpinEditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
  return AtEventEdge([&]() -> LRESULT {
    switch (msg) {
      case WM_CHAR: {
        const auto c = static_cast<unsigned char>(wp);
        if (c >= 0x20 && !IsSpinEditText(AfterInsert(hwnd, std::string(1, static_cast<char>(c))))) {
          MessageBeep(MB_OK);
          return 0;
        }
        break;
      }
      case WM_PASTE:
        if (!IsSpinEditText(AfterInsert(hwnd, ClipboardText(hwnd)))) {
          MessageBeep(MB_OK);
          return 0;
        }
        break;
      case WM_NCDESTROY: RemoveWindowSubclass(hwnd, SpinEditProc, 0); break;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
  });
}

}  // namespace

void TSpinEdit::Create(HWND parent, int id, HFONT font) {
  edit_ = CreateChild("EDIT", "0", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, parent, id, WS_EX_CLIENTEDGE);
  SetFont(edit_, font);
  SetWindowSubclass(edit_, SpinEditProc, 0, 0);
  updown_ =
      CreateChild(UPDOWN_CLASSA, "", WS_VISIBLE | UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_NOTHOUSANDS | UDS_ARROWKEYS,
                  parent, id + win32ids::kUpDownIdOffset);
  SendMessageA(updown_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit_), 0);
  SendMessageA(updown_, UDM_SETRANGE32, static_cast<WPARAM>(INT_MIN), static_cast<LPARAM>(INT_MAX));
  // One step per click or key, however long it is held.
  UDACCEL step{0, 1};
  SendMessageA(updown_, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&step));
}

void TSpinEdit::Place(int x, int y, int width, int height) {
  const int arrows = GetSystemMetrics(SM_CXVSCROLL);
  MoveWindow(edit_, x, y, width - arrows, height, TRUE);
  MoveWindow(updown_, x + width - arrows, y, arrows, height, TRUE);
}

int32_t TSpinEdit::Value() const { return SpinEditValue(WindowText(edit_)); }

void TSpinEdit::SetValue(int32_t value) {
  std::string text = std::to_string(value);
  if (WindowText(edit_) != text) SetWindowTextA(edit_, text.c_str());
}

LRESULT TSpinEdit::OnDeltaPos(const NMUPDOWN& n) {
  const int64_t next = static_cast<int64_t>(Value()) + n.iDelta;
  SetValue(static_cast<int32_t>(next < INT32_MIN ? INT32_MIN : next > INT32_MAX ? INT32_MAX : next));
  return 1;
}

}  // namespace win32
