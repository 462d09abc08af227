#pragma once
// The calibration grid: a report-mode list view of two columns whose header is row
// 0. Rows are selected whole; the current cell is the focused row's cell in the
// current column (Left and Right move it, a click sets it). While the grid has the
// keyboard focus its current cell is drawn in the look's colour with its text
// inset from the cell's top left corner; everything else keeps the list view's look.
// Every key goes to the `keyDown` event first, which may change it (Page Down
// becomes Down) or take it (0); typed characters do not search the rows.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

#include "reg/RegFormView.h"

namespace win32 {

class TGrid {
 public:
  struct TEvents {
    std::function<void(int col, int row)> selectCell;  // the current cell moved
    std::function<void()> dblClick;
    std::function<int(int key)> keyDown;  // the key the grid should see, 0 for none
  };

  TGrid() = default;
  TGrid(const TGrid&) = delete;
  TGrid& operator=(const TGrid&) = delete;

  void Create(HWND parent, int id, HFONT font, TEvents events);
  HWND Handle() const { return hwnd_; }

  void SetRowCount(int rows);  // the header row included
  void SetCell(int col, int row, const std::string& text);
  std::string Cell(int col, int row) const;
  TGridSelection Selection() const;
  void SelectRow(int row);
  int CurrentColumn() const { return currentCol_; }
  // The cell's rectangle in the grid's client area (data rows only).
  RECT CellRect(int col, int row) const;

  // The parent passes the grid's WM_NOTIFY here; `handled` tells whether the
  // result counts.
  LRESULT OnNotify(const NMHDR& hdr, bool& handled);

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR self);
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT OnMouseDown(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT OnCustomDraw(NMLVCUSTOMDRAW& cd);
  int FocusedRow() const;  // the list view's focused item, -1 for none
  void SetCurrentColumn(int col);

  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;
  HIMAGELIST rowHeight_ = nullptr;
  TEvents events_;
  int currentCol_ = 0;
  bool rebuilding_ = false;
};

}  // namespace win32
