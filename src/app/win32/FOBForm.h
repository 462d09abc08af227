#pragma once
// The Transforms window: the regression report of the last fit in a read-only,
// fixed-pitch memo (CoregMemo: selectable and copyable), and below it the landmark
// check (one row per landmark with its residual and leave-one-out error in voxels
// and, with an MRI image, in mm; the worst marked and the mark's legend below, a
// summary line and the spread warning). Shown modally over the
// main window, which is disabled meanwhile; Escape or the close box ends it.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "Win32Util.h"
#include "reg/RegFormView.h"

namespace win32 {

class TFOBForm {
 public:
  explicit TFOBForm(HWND owner);
  ~TFOBForm();
  TFOBForm(const TFOBForm&) = delete;
  TFOBForm& operator=(const TFOBForm&) = delete;

  HWND Handle() const { return hwnd_; }
  // Replaces the memo's lines (an empty list empties it) and sizes the window to
  // show them.
  void SetLines(const std::vector<std::string>& lines);
  std::vector<std::string> Lines() const;
  // The landmark check; no rows and no summary hide it.
  void SetCheck(const std::vector<TCheckTableRow>& rows, const std::string& summary, const std::string& warning);
  // Shows the window and returns when it was closed.
  void ShowModal();
  void Close();

  // The window's messages (through ObjectWindowProc).
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);

  // Called with the calibration row of a check table row the operator chose.
  std::function<void(int)> onCheckRowChosen;

  HWND CoregMemo = nullptr;
  HWND CheckTable = nullptr;
  HWND CheckSummary = nullptr;
  HWND CheckWarning = nullptr;
  HWND CheckLegend = nullptr;  // what the worst row's mark means
  int CheckColumns() const { return columns_; }

 private:
  LRESULT OnNotify(const NMHDR& hdr);
  void Layout();
  // The table's columns: 3, or 5 with the errors in mm.
  void SetColumns(bool withMm);
  bool CheckShown() const;
  void Resize(int clientWidth, int clientHeight);

  HWND hwnd_ = nullptr;
  TFont fixed_;
  TFont fixedBold_;
  TFont ui_;
  std::vector<int> checkRows_;  // the calibration row of each table row
  std::vector<bool> worst_;
  int columns_ = 0;
  bool filling_ = false;
  bool showing_ = false;
  bool placed_ = false;
};

}  // namespace win32
