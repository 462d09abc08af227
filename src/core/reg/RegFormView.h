#pragma once
// IRegFormView: the main window's controls as the controller (TRegForm) sees them.
// A passive view: each member reads or sets the state of a control, and nothing
// more. A window (Qt on Linux, Win32 on Windows) implements it and forwards every
// event of its controls to the controller's handlers:
//   a command of a menu item, shortcut or button   -> TRegForm::Command
//   a Port menu item                               -> TRegForm::PortItemClick
//   a changed spin edit (typed or set)             -> TRegForm::XEditChange
//   the grid's current cell moved                  -> TRegForm::RegGridSelectCell
//   a double click in the grid                     -> TRegForm::RegGridDblClick
//   a row chosen in the landmark check table       -> TRegForm::CheckTableSelect
//   a key pressed in the grid                      -> TRegForm::RegGridKeyDown
//   shown for the first time / destroyed           -> FormShow / FormDestroy
//   a tick of Timer1                               -> TRegForm::Timer1Timer
//   the Port menu about to open                    -> TRegForm::PortMenuOpening
//   a request to close the window (any path)       -> TRegForm::FormCloseQuery
#include <cstdint>
#include <string>
#include <vector>

#include "RegFormDesign.h"

// The grid's selection: its first row (1.. for a data row, 0 when nothing is
// selected) and its left column.
struct TGridSelection {
  int top = 0;
  int left = 0;
};

// The fields of the status line under the bottom bar, left to right. Each holds
// one short text; an empty text hides its field.
enum class TStatusField {
  Link,         // the tracker link: port, speed, type and readings per second, or what is wrong
  Viewer,       // the viewer's block, when something is wrong with it
  Calibration,  // the calibration in hand: its file name or "unsaved", and a mark when changed
  Fit,          // a warning about the last fit (the landmarks' spread, the scale)
  Server,       // the OpenIGTLink server: where it listens and how many clients
  Image,        // the MRI image: its name, dimensions and voxel size
};
constexpr int kStatusFieldCount = 6;

// One row of the landmark check below the report in the Transforms window.
struct TCheckTableRow {
  int row = 0;              // the calibration row it belongs to
  std::string residual;     // the residual's length in voxels
  std::string leaveOneOut;  // the leave-one-out error in voxels, or "n/a"
  bool worst = false;       // the row with the largest leave-one-out error
  // The same two in millimetres of the MRI image; empty without an image.
  std::string residualMm{};
  std::string leaveOneOutMm{};
};

class IRegFormView {
 public:
  virtual ~IRegFormView() = default;

  // ---- Spin edits ----
  // The edit's value: its text read as a signed 32-bit integer, 0 when it is none.
  virtual int32_t EditValue(TEdit edit) const = 0;
  // Sets the edit's value. When its text changes the edit raises its change event
  // (TRegForm::XEditChange) before this returns, as the window's own edits do.
  virtual void SetEditValue(TEdit edit, int32_t value) = 0;

  // ---- Calibration grid (row 0 is the header) ----
  virtual void SetGridRowCount(int rows) = 0;  // rows of the grid, the header included
  virtual void SetGridCell(int col, int row, const std::string& text) = 0;
  virtual TGridSelection GridSelection() const = 0;
  // Selects both cells of a data row and makes its first cell current (which raises
  // RegGridSelectCell when the current cell moves).
  virtual void SelectGridRow(int row) = 0;
  virtual void FocusGrid() = 0;

  // ---- Labels ----
  virtual void SetTrackerLabel(const std::string& text, bool red) = 0;
  virtual void SetFormulaText(const std::string& text) = 0;  // lines separated by '\r'
  virtual void SetDistanceText(const std::string& text) = 0;
  // Beside the distance in voxels, the same distance in mm ("12.40 mm"); empty
  // without an MRI image.
  virtual void SetDistanceMmText(const std::string& text) { (void)text; }
  // The live label's numbers are old (the tracker went quiet): shown greyed.
  virtual void SetTrackerLabelStale(bool stale) { (void)stale; }
  // A field of the status line; red for a state the operator must act on.
  virtual void SetStatusText(TStatusField field, const std::string& text, bool red) {
    (void)field, (void)text, (void)red;
  }

  // ---- Which controls are visible (the view is the grid's visibility) ----
  virtual bool ControlVisible(TControl control) const = 0;
  virtual void SetControlVisible(TControl control, bool visible) = 0;

  // ---- Menus ----
  virtual void SetItemChecked(TCommand item, bool checked) = 0;
  virtual void AddPortItem(const std::string& caption) = 0;  // appended to Port
  virtual void SetPortItemChecked(int index, bool checked) = 0;
  virtual void ClearPortItems() {}  // the Port menu emptied, before it is filled anew

  // ---- The window ----
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void CloseWindow() = 0;
  // Timer1 (25 ms). A tick never arrives while it is disabled.
  virtual void SetTimerEnabled(bool enabled) = 0;
  virtual bool TimerEnabled() const = 0;
  // The modal progress shown during the tracker start-up exchange; the window
  // keeps painting behind it.
  virtual void BeginProgress(const std::string& text, int expectedMs) = 0;
  virtual void EndProgress() = 0;

  // ---- The Transforms window ----
  virtual void SetReportLines(const std::vector<std::string>& lines) = 0;  // CoregMemo
  // The landmark check below the memo: one row per landmark, the summary line and
  // the warning about the landmarks' spread (empty when there is none). No rows
  // and no summary: nothing is shown below the memo.
  virtual void SetCheckTable(const std::vector<TCheckTableRow>& rows, const std::string& summary,
                             const std::string& warning) = 0;
  virtual void ShowTransforms() = 0;  // modal; returns when it was closed

  // ---- Small dialogs ----
  // The OpenIGTLink server's address and port (0: no server), edited in a modal
  // dialog; false when the operator cancelled.
  virtual bool EditServerAddress(std::string& address, int32_t& port) {
    (void)address, (void)port;
    return false;
  }
};
