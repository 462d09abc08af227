#pragma once
// The main window in the Win32 API: a passive view over the controller TRegForm.
// It builds the controls of the design (menu, tool column, grid, bottom bar, Track
// view's controls), forwards their events to the controller's handlers and
// implements IRegFormView; the window's logic is all in TRegForm.
#include <windows.h>

#include <array>
#include <functional>
#include <map>
#include <memory>

#include "Grid.h"
#include "Menus.h"
#include "SpinEdit.h"
#include "Win32Util.h"
#include "reg/reg.h"

namespace win32 {

class TFOBForm;
class TWin32WaitClock;

class TWin32RegFormView : public IRegFormView {
 public:
  // `progress` (optional) shows the start-up's modal progress and does its waits.
  explicit TWin32RegFormView(const TRegFormServices& services, TWin32WaitClock* progress = nullptr);
  ~TWin32RegFormView() override;
  TWin32RegFormView(const TWin32RegFormView&) = delete;
  TWin32RegFormView& operator=(const TWin32RegFormView&) = delete;

  HWND Handle() const { return hwnd_; }
  TRegForm& Form() { return *form_; }
  void SetTransformsWindow(TFOBForm* form);
  // Shows the window (the first time: FormShow).
  void Show(int showCommand = SW_SHOWNORMAL);
  // Runs when the window has been destroyed (the program then ends its loop).
  std::function<void()> onDestroyed;

  HMENU Menu() const { return menu_.bar; }
  HMENU PortMenu() const { return menu_.portMenu; }
  HWND Tooltips() const { return tooltips_; }
  // The button of a command (nullptr for the menu's commands).
  HWND Button(TCommand command) const;
  TSpinEdit& Edit(TEdit edit) { return edits_[static_cast<int>(edit)]; }
  // The window's messages (through ObjectWindowProc).
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);

  // ---- Controls (named as in the window's design) ----
  HWND CoolBar1 = nullptr;
  TGrid RegGrid;
  HWND ToolBar2 = nullptr;
  HWND QueryOrSampleBtn = nullptr;
  HWND dxFOBlabel = nullptr;
  HWND TrackPanel = nullptr;
  HWND FormulaLabel = nullptr;
  HWND SpeedButton1 = nullptr;
  HWND DistanceLabel = nullptr;
  HWND DistanceMmLabel = nullptr;
  // The status line under the bottom bar: one strip that paints every field; its
  // window text is the shown fields joined by " | ".
  HWND StatusLine = nullptr;
  TFOBForm* FOBForm = nullptr;

  // ---- The status line, as it was last set ----
  const std::string& StatusText(TStatusField field) const { return status_[static_cast<size_t>(field)].text; }
  bool StatusRed(TStatusField field) const { return status_[static_cast<size_t>(field)].red; }
  // Where a field is painted in the strip (empty when its text is).
  RECT StatusFieldRect(TStatusField field) const;
  // Paints the strip (its WM_PAINT and WM_PRINTCLIENT).
  void PaintStatusLine(HDC dc);
  // How many times the strip has been painted (it repaints only when a text changes).
  int StatusPaints() const { return statusPaints_; }

  // ---- IRegFormView ----
  int32_t EditValue(TEdit edit) const override;
  void SetEditValue(TEdit edit, int32_t value) override;
  void SetGridRowCount(int rows) override;
  void SetGridCell(int col, int row, const std::string& text) override;
  TGridSelection GridSelection() const override;
  void SelectGridRow(int row) override;
  void FocusGrid() override;
  void SetTrackerLabel(const std::string& text, bool red) override;
  void SetFormulaText(const std::string& text) override;
  void SetDistanceText(const std::string& text) override;
  void SetDistanceMmText(const std::string& text) override;
  void SetTrackerLabelStale(bool stale) override;
  void SetStatusText(TStatusField field, const std::string& text, bool red) override;
  bool ControlVisible(TControl control) const override;
  void SetControlVisible(TControl control, bool visible) override;
  void SetItemChecked(TCommand item, bool checked) override;
  void AddPortItem(const std::string& caption) override;
  void SetPortItemChecked(int index, bool checked) override;
  void ClearPortItems() override;
  void SetCaption(const std::string& caption) override;
  void CloseWindow() override;
  void SetTimerEnabled(bool enabled) override;
  bool TimerEnabled() const override { return timerEnabled_; }
  void BeginProgress(const std::string& text, int expectedMs) override;
  void EndProgress() override;
  void SetReportLines(const std::vector<std::string>& lines) override;
  void SetCheckTable(const std::vector<TCheckTableRow>& rows, const std::string& summary,
                     const std::string& warning) override;
  void ShowTransforms() override;
  bool EditServerAddress(std::string& address, int32_t& port) override;

 private:
  struct TStatus {
    std::string text;
    bool red = false;
  };
  // The fields' places in a strip of this width, measured in the status font.
  std::array<RECT, kStatusFieldCount> StatusLayout(HDC dc, int width) const;
  void UpdateTrackerInk();
  void OnCommand(int id, int code, HWND control);
  LRESULT OnNotify(const NMHDR& hdr);
  void OnActivate(bool active);
  void OnDestroy();
  void BuildControls();
  HWND AddButton(HWND panel, TCommand command, TGlyph glyph, const char* tooltip);
  void Layout();
  HWND Control(TControl control) const { return toggled_[static_cast<size_t>(control)]; }
  // The Track view's controls take the place of the table area when the grid hides.
  void UpdateViewAreas();

  TWin32WaitClock* progress_;
  HWND hwnd_ = nullptr;
  TMainMenu menu_;
  HACCEL accelerators_ = nullptr;
  HWND tooltips_ = nullptr;
  HWND mriLabel_ = nullptr, desiredLabel_ = nullptr, distanceCaption_ = nullptr;
  TFont font_, barFont_, trackerFont_, formulaFont_, distanceFont_, distanceMmFont_, statusFont_;
  TSpinEdit edits_[kEditCount];
  std::map<TCommand, HWND> buttons_;
  // The controls ToolbarVis shows and hides, in TControl's order.
  std::array<HWND, std::size(kToolbarControls)> toggled_{};
  int portItems_ = 0;
  std::array<TStatus, kStatusFieldCount> status_{};
  int statusPaints_ = 0;
  bool trackerRed_ = false, trackerStale_ = false;
  bool timerEnabled_ = false;
  bool shown_ = false;
  HWND lastFocus_ = nullptr;
  // Declared last: the controller goes first, while every control still exists.
  std::unique_ptr<TRegForm> form_;
};

}  // namespace win32
