#pragma once
// A spin edit for the whole signed 32-bit range: an edit with an up-down control
// in 32-bit mode (UDM_SETRANGE32) beside it. The arrows step by 1 in 64-bit
// arithmetic and stop at the range's ends; typed or pasted text that the look's
// rule refuses (IsSpinEditText) never reaches the edit; text that is not an integer
// (an empty edit, a lone sign) reads as 0. Every change of the text is a
// change event (EN_CHANGE to the parent).
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>

namespace win32 {

class TSpinEdit {
 public:
  TSpinEdit() = default;
  // Creates the edit (identifier `id`) and its up-down control (identifier
  // id + kUpDownIdOffset) in `parent`.
  void Create(HWND parent, int id, HFONT font);
  // Places the pair: the up-down control takes the right end of the rectangle.
  void Place(int x, int y, int width, int height);

  int32_t Value() const;
  // Sets the text of `value`; the change event comes before this returns, and only
  // when the text changes.
  void SetValue(int32_t value);

  // The parent passes the up-down control's UDN_DELTAPOS here; the result is the
  // notification's result (nonzero: the control itself changes nothing).
  LRESULT OnDeltaPos(const NMUPDOWN& n);

  HWND Edit() const { return edit_; }
  HWND UpDown() const { return updown_; }

 private:
  HWND edit_ = nullptr;
  HWND updown_ = nullptr;
};

}  // namespace win32
