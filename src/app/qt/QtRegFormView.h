#pragma once
// The main window in Qt 6 Widgets: a passive view over the controller TRegForm. It
// builds the controls of the design, forwards their events to the controller's
// handlers and implements IRegFormView; the window's logic is all in TRegForm.
#include <QAction>
#include <QActionGroup>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <map>
#include <memory>
#include <vector>

#include "Controls.h"
#include "reg/reg.h"

class TFOBForm;
class TQtWaitClock;

class TQtRegFormView : public QMainWindow, public IRegFormView {
  Q_OBJECT
 public:
  // `progress` (optional) shows the start-up's modal progress and does its waits.
  TQtRegFormView(const TRegFormServices& services, TQtWaitClock* progress = nullptr,
                 QWidget* parent = nullptr);
  ~TQtRegFormView() override;

  TRegForm& Form() { return *form_; }
  void SetTransformsWindow(TFOBForm* form);
  // The menu action of a command (nullptr for the buttons' commands).
  QAction* Action(TCommand command) const;
  QToolButton* Button(TCommand command) const;
  TSpinEdit* Edit(TEdit edit) const { return edits_[static_cast<int>(edit)]; }

  // ---- Controls (named as in the window's design) ----
  QWidget* CoolBar1;
  QTableWidget* RegGrid;
  QWidget* ToolBar2;
  QToolButton* QueryOrSampleBtn;
  TSpinEdit* XEdit;
  TSpinEdit* YEdit;
  TSpinEdit* ZEdit;
  TFastLabel* dxFOBlabel;
  QWidget* TrackPanel;
  QLabel* FormulaLabel;
  QToolButton* SpeedButton1;
  TSpinEdit* desirex;
  TSpinEdit* desirey;
  TSpinEdit* desirez;
  TFastLabel* DistanceLabel;
  TFastLabel* DistanceMmLabel;
  TStatusLine* StatusLine;
  QMenu* PortMenu;
  QTimer Timer1;
  TFOBForm* FOBForm = nullptr;

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
  void CloseWindow() override { close(); }
  void SetTimerEnabled(bool enabled) override;
  bool TimerEnabled() const override { return Timer1.isActive(); }
  void BeginProgress(const std::string& text, int expectedMs) override;
  void EndProgress() override;
  void SetReportLines(const std::vector<std::string>& lines) override;
  void SetCheckTable(const std::vector<TCheckTableRow>& rows, const std::string& summary,
                     const std::string& warning) override;
  void ShowTransforms() override;
  bool EditServerAddress(std::string& address, int32_t& port) override;

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  TFramePacer frames_{Timer1};  // the live numbers' repaints, one per tick
  QTimer TickInLoop;  // runs the ticks while one is held in a box
  void RunTick();     // one tick of Timer1 and the frame it may end
  void BuildMenus();
  void BuildWidgets();
  QWidget* Control(TControl control) const;
  // The Track view's controls take the place of the table area when the grid hides.
  void UpdateViewAreas();
  void ApplyTrackerInk();

  TQtWaitClock* progress_;
  QWidget* tableArea_ = nullptr;
  TSpinEdit* edits_[kEditCount] = {};
  std::map<TCommand, QAction*> actions_;
  std::map<TCommand, QToolButton*> buttons_;
  std::vector<QAction*> portActions_;
  bool shown_ = false;
  bool rebuildingGrid_ = false;
  bool trackerRed_ = false;
  bool trackerStale_ = false;
  // Declared last: the controller goes first, while every control still exists.
  std::unique_ptr<TRegForm> form_;
};
