#pragma once
// TRegForm: the main window and the single controller of the program. It wires
// the widgets to the core (calibration table, tracker link, fit, viewer link) and
// runs the 25 ms polling tick; the logic itself lives in the core.
#include <QAction>
#include <QActionGroup>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "E_MemMap.h"
#include "Interfaces.h"
#include "ViewerLink.h"
#include "reg/CalibTable.h"
#include "reg/Settings.h"
#include "tracker/TrackerLink.h"
#include "tracker/TrackerState.h"

class TFOBForm;
class TQtWaitClock;

// A spin edit for any signed 32-bit integer; text that is not an integer reads as 0.
class TSpinEdit : public QSpinBox {
  Q_OBJECT
 public:
  explicit TSpinEdit(QWidget* parent = nullptr);

 protected:
  QValidator::State validate(QString& text, int& pos) const override;
  int valueFromText(const QString& text) const override;
};

// What the window needs from the outside world; the program passes the real
// services, the tests fakes.
struct TRegFormServices {
  IMessagePresenter* messages = nullptr;
  IFileChooser* files = nullptr;
  IClock* clock = nullptr;             // the tracker start-up's waits
  TQtWaitClock* progress = nullptr;    // optional: shows the start-up's progress
  IPortLister* ports = nullptr;
  std::function<std::unique_ptr<ISettingsStore>()> settings;
  std::function<std::unique_ptr<ISerialPort>()> serialPort;
  std::string programDir;              // where the file dialogs start
  TViewerBlockNames viewerNames = ViewerBlockNames();
};

class TRegForm : public QMainWindow, private ICalibTableView, private ITrackerHost {
  Q_OBJECT
 public:
  explicit TRegForm(const TRegFormServices& services, QWidget* parent = nullptr);
  ~TRegForm() override;

  void SetTransformsWindow(TFOBForm* form) { FOBForm = form; }

  // ---- Window state ----
  TVoxel CurrentMRI;
  bool UpdatingEdits = false;
  TTrackerReading TrackerReading;
  TTrackerState Tracker;
  int Timer1Tag = 0;  // 666: the one-shot start-up marker of the first tick
  TCalibTable Table;

  bool IsCalibrateView() const;
  TTrackerLink& Link() { return *link_; }
  ISerialPort* TrackerPort() const { return trackerPort_.get(); }
  TEMemMap* MemMap() const { return memMap_.get(); }

  // ---- Life cycle ----
  void FormCreate();
  void FormShow();
  void FormDestroy();

  // ---- Polling tick ----
  void Timer1Timer();
  void UpdateTrackerLabel();
  void TrackStage();

  // ---- Viewer link ----
  void SetShareMem(int32_t x, int32_t y, int32_t z);
  void XEditChange();

  // ---- Calibration table ----
  void SetMRIcell(int row, int32_t x, int32_t y, int32_t z);
  void SetFOBcell(int row, int32_t x, int32_t y, int32_t z);
  void AddBtnClick();
  void DeleteBtnClick();
  void ResampleMRI1Click(int tag);
  void AddMRI1Click();
  void AddRowMRIFOB1Click();
  void RegGridChangeRow(int row);
  void RegGridSelectCell(int acol, int arow);
  void RegGridDblClick();
  // True when the key was handled here (the grid must not see it).
  bool RegGridKeyDown(int key);
  // First data row of the grid's selection (of a range, its first row); 0 if none.
  int SelectionTop() const;
  int SelectionLeft() const;

  // ---- Calibration files ----
  void SaveBtnClick();
  void OPenBtnClick();

  // ---- Views ----
  void ToolbarVis();
  void TableBtnClick();
  void RegBtnClick();
  void QueryOrSampleBtnClick();
  void ModeClick();
  void SpeedButton1Click();

  // ---- Tracker ----
  void InitFOB();
  void InitFOBdialog();
  void StartupFOB();
  void updateModeMenu();
  void Fast1Click(QAction* item);
  void N1152001Click(QAction* item);
  void ResetConnectionMenuClick();

  // ---- Help and File ----
  void About1Click();
  void Exit1Click();

  // ---- Controls (named as in the window's design) ----
  QWidget* CoolBar1;
  QToolButton* OPenBtn;
  QToolButton* SaveBtn;
  QToolButton* AddBtn;
  QToolButton* DeleteBtn;
  QTableWidget* RegGrid;
  QWidget* ToolBar2;
  QToolButton* QueryOrSampleBtn;
  TSpinEdit* XEdit;
  TSpinEdit* YEdit;
  TSpinEdit* ZEdit;
  QLabel* dxFOBlabel;
  QWidget* TrackPanel;
  QLabel* FormulaLabel;
  QToolButton* SpeedButton1;
  TSpinEdit* desirex;
  TSpinEdit* desirey;
  TSpinEdit* desirez;
  QLabel* DistanceLabel;
  QTimer Timer1;

  QAction* Open1;
  QAction* Save1;
  QAction* Exit1;
  QAction* AddMRI1;
  QAction* AddRowMRIFOB1;
  QAction* ResampleMRI1;
  QAction* ResampleFOB1;
  QAction* CalibrateItem;
  QMenu* Type1;
  QAction* FlockofBirdsMiniBird1;
  QAction* FlockofBirdsMiniBirdStream1;
  QAction* Fast1;
  QMenu* Connection1;
  QAction* N96001;
  QAction* N192001;
  QAction* N384001;
  QAction* N576001;
  QAction* N1152001;
  QMenu* PortMenu;
  QAction* ResetConnectionMenu;
  QAction* About1;
  QAction* AdvancedMenuItem;

  TFOBForm* FOBForm = nullptr;

  // The text of the last error shown by the standard error box while polling
  // (for tests), and how many were not shown because a box was already open.
  int SuppressedErrors() const { return suppressedErrors_; }

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  // ICalibTableView
  void RowCountChanged(int rowCount) override;
  void CellChanged(int col, int row, const std::string& text) override;
  // ITrackerHost
  void StopPolling() override { Timer1.stop(); }
  void StartPolling() override { Timer1.start(); }
  void SetCaption(const std::string& caption) override;
  void BeginConnect() override;
  void EndConnect() override;

  void BuildMenus();
  void BuildWidgets();
  void SetEdits(const TVoxel& v);
  TVoxel DesiredVoxel() const;
  // Shows an error of the polling tick once the tick has ended; while its box is
  // open, further errors are counted, not stacked.
  void ShowTickError(const std::string& text);
  void ApplyRadioChecks();
  QAction* SpeedItem(int32_t bps) const;

  TRegFormServices services_;
  std::unique_ptr<TEMemMap> memMap_;
  std::unique_ptr<ISerialPort> trackerPort_;
  std::unique_ptr<TTrackerLink> link_;
  QActionGroup* typeGroup_;
  QActionGroup* speedGroup_;
  QAction* typeChecked_ = nullptr;   // the Type item that should carry the check mark
  QAction* speedChecked_ = nullptr;  // likewise for Speed
  bool shown_ = false;
  bool destroyed_ = false;
  bool tickErrorOpen_ = false;
  int suppressedErrors_ = 0;
  bool rebuildingGrid_ = false;
};
