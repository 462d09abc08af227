#include "reg.h"

#include <clocale>
#include <utility>

#include "DecimalText.h"
#include "Version.h"
#include "math/LandmarkCheck.h"
#include "math/RegMult.h"
#include "reg/CalibFile.h"
#include "reg/TrackView.h"
#include "tracker/Startup.h"

const char kAboutText[] =
    "Zeltra2 version October 16, 2013\r"
    "Zeltra coregisters magnetic head tracker signals with an MRI scan. For research "
    "purposes only: use with caution.\r"
    "\r"
    "Zeltra " ZELTRA_VERSION ", written by the Zeltra developers.\r"
    "Documentation: README.md beside the program's sources.";

namespace {

// Restores UpdatingEdits on every path out of a scope.
class TUpdatingEdits {
 public:
  explicit TUpdatingEdits(bool& flag) : flag_(flag) { flag_ = true; }
  ~TUpdatingEdits() { flag_ = false; }
  TUpdatingEdits(const TUpdatingEdits&) = delete;
  TUpdatingEdits& operator=(const TUpdatingEdits&) = delete;

 private:
  bool& flag_;
};

constexpr TCommand kTypeItems[] = {TCommand::FlockofBirdsMiniBird1, TCommand::FlockofBirdsMiniBirdStream1,
                                   TCommand::Fast1};
constexpr TCommand kSpeedItems[] = {TCommand::N96001, TCommand::N192001, TCommand::N384001, TCommand::N576001,
                                    TCommand::N1152001};

int32_t TagOf(TCommand item) {
  const TMenuEntry* e = MenuEntryOf(item);
  return e ? e->tag : 0;
}

}  // namespace

TRegForm::TRegForm(const TRegFormServices& services, IRegFormView& view)
    : Table(nullptr),
      services_(services),
      view_(view),
      link_(Tracker, TrackerReading, *services_.clock, *services_.messages, *this) {
  Table.SetView(this);
}

TRegForm::~TRegForm() { FormDestroy(); }

// ---------------------------------------------------------------------------
// Commands

void TRegForm::Command(TCommand command) {
  switch (command) {
    case TCommand::Open1: Open1Click(); break;
    case TCommand::Save1: Save1Click(); break;
    case TCommand::Exit1: Exit1Click(); break;
    case TCommand::AddMRI1: AddMRI1Click(); break;
    case TCommand::AddRowMRIFOB1: AddRowMRIFOB1Click(); break;
    case TCommand::ResampleMRI1: ResampleMRI1Click(0); break;
    case TCommand::ResampleFOB1: ResampleMRI1Click(1); break;
    case TCommand::CalibrateItem: ModeClick(); break;
    case TCommand::FlockofBirdsMiniBird1: Fast1Click(command); break;
    case TCommand::FlockofBirdsMiniBirdStream1: Fast1Click(command); break;
    case TCommand::Fast1: Fast1Click(command); break;
    case TCommand::N96001: N1152001Click(command); break;
    case TCommand::N192001: N1152001Click(command); break;
    case TCommand::N384001: N1152001Click(command); break;
    case TCommand::N576001: N1152001Click(command); break;
    case TCommand::N1152001: N1152001Click(command); break;
    case TCommand::ResetConnectionMenu: ResetConnectionMenuClick(); break;
    case TCommand::About1: About1Click(); break;
    case TCommand::AdvancedMenuItem: AdvancedMenuItemClick(); break;
    case TCommand::OPenBtn: OPenBtnClick(); break;
    case TCommand::SaveBtn: SaveBtnClick(); break;
    case TCommand::AddBtn: AddBtnClick(); break;
    case TCommand::DeleteBtn: DeleteBtnClick(); break;
    case TCommand::QueryOrSampleBtn: QueryOrSampleBtnClick(); break;
    case TCommand::SpeedButton1: SpeedButton1Click(); break;
  }
}

// ---------------------------------------------------------------------------
// Life cycle

void TRegForm::FormCreate() {
  // Every number the program formats or parses uses a full stop, whatever the
  // user's locale.
  std::setlocale(LC_NUMERIC, "C");
  // The design's check marks until the settings are read.
  view_.SetItemChecked(TCommand::CalibrateItem, true);
  ApplyRadioChecks();
  try {
    bool created = false;
    if (services_.cursorBlock) block_ = services_.cursorBlock(created);
    if (created) SetShareMem(1, 1, 1);
  } catch (const std::exception& e) {
    // Start-up goes on without the viewer link; the block is then never touched.
    block_.reset();
    services_.messages->ShowError(e.what());
  }
}

void TRegForm::FormShow() {
  Table.SetHeader(design::kGridHeaderMRI, design::kGridHeaderTracker);
  // Tracker preparation.
  trackerPort_ = services_.serialPort ? services_.serialPort() : nullptr;
  link_.SetPort(trackerPort_.get());
  try {
    std::unique_ptr<ISettingsStore> store = services_.settings ? services_.settings() : nullptr;
    if (store) ReadSettings(*store, Tracker);
  } catch (const std::exception& e) {
    // The tracker is then not started in this run.
    services_.messages->ShowError(e.what());
    return;
  }
  updateModeMenu();
  Timer1Tag = 666;
  view_.SetTimerEnabled(true);
}

void TRegForm::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  // No tick may run once the block is gone (a message box below runs a loop).
  view_.SetTimerEnabled(false);
  block_.reset();
  try {
    std::unique_ptr<ISettingsStore> store = services_.settings ? services_.settings() : nullptr;
    if (store) WriteSettings(*store, Tracker);
  } catch (const std::exception& e) {
    services_.messages->ShowError(e.what());
  }
  // The tracker is put to sleep and released also when the settings failed.
  link_.Shutdown();
  link_.SetPort(nullptr);
  trackerPort_.reset();
}

void TRegForm::Exit1Click() { view_.CloseWindow(); }

void TRegForm::About1Click() { services_.messages->ShowMessage(kAboutText); }

void TRegForm::AdvancedMenuItemClick() {
  // Toggles its own check mark; not stored.
  advanced_ = !advanced_;
  view_.SetItemChecked(TCommand::AdvancedMenuItem, advanced_);
}

// ---------------------------------------------------------------------------
// Polling tick

void TRegForm::Timer1Timer() {
  // Start-up stage: the first tick starts the tracker.
  if (Timer1Tag > 0) {
    Timer1Tag = 0;
    view_.SetTimerEnabled(false);
    StartupFOB();
    return;
  }
  if (IsCalibrateView()) ViewerFollowStage();
  // Tracker stage.
  bool reading = false;
  try {
    reading = link_.ReadFOB();
  } catch (const std::exception& e) {
    ShowTickError(e.what());
    return;
  }
  if (!reading) return;
  // Reading stage.
  TUpdatingEdits guard(UpdatingEdits);
  UpdateTrackerLabel();
  if (!IsCalibrateView()) TrackStage();
}

void TRegForm::ViewerFollowStage() {
  // The viewer moved its cursor: the window follows.
  TVoxel v;
  if (block_ && block_->ReadCursor(v) == TBlockAccess::Done && !(v == CurrentMRI)) {
    CurrentMRI = v;
    TUpdatingEdits guard(UpdatingEdits);
    SetEdits(v);
  }
}

void TRegForm::ShowTickError(const std::string& text) {
  if (tickErrorOpen_) {
    ++suppressedErrors_;
    return;
  }
  // The error ends the tick and is shown as the standard error box; ticks keep
  // arriving while it is open.
  tickErrorOpen_ = true;
  struct TReset {
    bool& flag;
    ~TReset() { flag = false; }
  } reset{tickErrorOpen_};
  services_.messages->ShowError(text);
}

void TRegForm::UpdateTrackerLabel() {
  TTrackerLabel label = TrackerLabel(TrackerReading);
  view_.SetTrackerLabel(label.text, label.red);
}

void TRegForm::TrackStage() {
  CurrentMRI = MapReading(RegCoef, TrackerReading);
  SetEdits(CurrentMRI);
  SetShareMem(CurrentMRI.x, CurrentMRI.y, CurrentMRI.z);
  view_.SetDistanceText(DistanceText(VoxelDistance(CurrentMRI, DesiredVoxel())));
}

void TRegForm::SetEdits(const TVoxel& v) {
  view_.SetEditValue(TEdit::XEdit, v.x);
  view_.SetEditValue(TEdit::YEdit, v.y);
  view_.SetEditValue(TEdit::ZEdit, v.z);
}

TVoxel TRegForm::DesiredVoxel() const {
  return {view_.EditValue(TEdit::desirex), view_.EditValue(TEdit::desirey), view_.EditValue(TEdit::desirez)};
}

// ---------------------------------------------------------------------------
// Viewer link

void TRegForm::SetShareMem(int32_t x, int32_t y, int32_t z) {
  if (block_) block_->PublishCursor({x, y, z});
}

void TRegForm::XEditChange() {
  if (UpdatingEdits) return;
  CurrentMRI = {view_.EditValue(TEdit::XEdit), view_.EditValue(TEdit::YEdit), view_.EditValue(TEdit::ZEdit)};
  SetShareMem(CurrentMRI.x, CurrentMRI.y, CurrentMRI.z);
}

// ---------------------------------------------------------------------------
// Calibration table

void TRegForm::RowCountChanged(int rowCount) { view_.SetGridRowCount(rowCount); }

void TRegForm::CellChanged(int col, int row, const std::string& text) { view_.SetGridCell(col, row, text); }

void TRegForm::SetMRIcell(int row, int32_t x, int32_t y, int32_t z) { Table.SetMRIcell(row, x, y, z); }

void TRegForm::SetFOBcell(int row, int32_t x, int32_t y, int32_t z) { Table.SetFOBcell(row, x, y, z); }

void TRegForm::AddBtnClick() {
  if (Table.Add(CurrentMRI, TrackerReading) == TCalibTable::TAddResult::Full)
    services_.messages->ShowMessage(kFullMessage);
}

void TRegForm::DeleteBtnClick() {
  int top = SelectionTop();
  if (top < 1) top = 1;  // no selection: the grid's current cell is row 1
  Table.Delete(top);
}

void TRegForm::ResampleMRI1Click(int tag) {
  int row = SelectionTop();
  if (row < 1) return;
  if (tag == 1)
    Table.ResampleFOB(row, TrackerReading);
  else
    Table.ResampleMRI(row, CurrentMRI);
}

void TRegForm::AddMRI1Click() { AddBtnClick(); }

void TRegForm::AddRowMRIFOB1Click() { DeleteBtnClick(); }

void TRegForm::RegGridChangeRow(int row) {
  if (row < 1 || row >= Table.RowCount()) return;
  const TPointPair& p = PointTable[row];
  // Each edit that changes raises its own change event: the viewer may see up to
  // three successive points, the last one complete.
  view_.SetEditValue(TEdit::XEdit, p.MRIx);
  view_.SetEditValue(TEdit::YEdit, p.MRIy);
  view_.SetEditValue(TEdit::ZEdit, p.MRIz);
}

void TRegForm::RegGridSelectCell(int, int arow) { RegGridChangeRow(arow); }

void TRegForm::RegGridDblClick() {
  TGridSelection s = view_.GridSelection();
  if (s.left == 0 && s.top > 0) RegGridChangeRow(s.top);
}

int TRegForm::RegGridKeyDown(int key) {
  switch (key) {
    case kKeyPageDown: return kKeyDown;  // one row, not one page
    case kKeyPageUp: return kKeyUp;
    case kKeyPeriod: ResampleMRI1Click(1); return 0;
    case kKeyEscape: QueryOrSampleBtnClick(); return 0;
    default: return key;
  }
}

// ---------------------------------------------------------------------------
// Calibration files

void TRegForm::SaveBtnClick() {
  TFileDialogSpec spec{"Text file (*.txt)|*.txt", services_.programDir, "txt", true};
  std::optional<std::string> path = services_.files->ChooseSave(spec);
  if (!path) return;
  std::string bytes = FormatCalibration(&PointTable[1], Table.DataRows(), DesiredVoxel());
  std::string error = services_.fileStore->ReplaceWhole(*path, bytes);
  if (!error.empty()) services_.messages->ShowError(error);
}

void TRegForm::OPenBtnClick() {
  TFileDialogSpec spec{"Text Files|*.txt", services_.programDir, "", false};
  std::optional<std::string> path = services_.files->ChooseOpen(spec);
  if (!path) return;
  std::string bytes;
  if (std::string error = services_.fileStore->ReadWhole(*path, bytes); !error.empty()) {
    services_.messages->ShowError(error);
    return;
  }
  // The whole file is read before anything changes: a file that fails leaves the
  // table, the grid and the desired voxel as they were.
  TCalibration calibration;
  std::string error;
  if (!ParseCalibration(bytes, calibration, error)) {
    services_.messages->ShowError(error);
    return;
  }
  if (calibration.hasDesired) {
    // Each change republishes the current MRI point unchanged.
    view_.SetEditValue(TEdit::desirex, calibration.desired.x);
    view_.SetEditValue(TEdit::desirey, calibration.desired.y);
    view_.SetEditValue(TEdit::desirez, calibration.desired.z);
  }
  Table.Load(calibration);
  // Row 1 selected, both columns, and its landmark shown in the viewer.
  view_.SelectGridRow(1);
  RegGridDblClick();
}

// ---------------------------------------------------------------------------
// Views

void TRegForm::ToolbarVis() {
  for (TControl c : kToolbarControls) view_.SetControlVisible(c, !view_.ControlVisible(c));
}

void TRegForm::TableBtnClick() { ToolbarVis(); }

void TRegForm::RegBtnClick() {
  int n = Table.DataRows();
  std::vector<std::string> list;
  const bool ran = FitRegistration(n, list, *services_.messages);
  if (ran) ToolbarVis();
  view_.SetReportLines(list);
  ShowLandmarkCheck(ran ? n : 0);
  view_.SetFormulaText(FormulaText(RegCoef));
}

void TRegForm::ShowLandmarkCheck(int n) {
  Check = CheckLandmarks(PointTable, n, RegCoef);
  std::vector<TCheckTableRow> rows;
  for (size_t i = 0; i < Check.rows.size(); ++i) {
    TLandmarkCells cells = LandmarkCells(Check, i);
    rows.push_back({Check.rows[i].row, cells.residual, cells.leaveOneOut, cells.worst});
  }
  view_.SetCheckTable(rows, n > 0 ? LandmarkSummaryText(Check) : std::string(), Check.warning);
}

void TRegForm::QueryOrSampleBtnClick() {
  if (IsCalibrateView())
    RegBtnClick();
  else
    TableBtnClick();
  if (IsCalibrateView()) view_.FocusGrid();
}

void TRegForm::ModeClick() {
  // A radio item whose check mark never changes.
  view_.SetItemChecked(TCommand::CalibrateItem, true);
  QueryOrSampleBtnClick();
}

void TRegForm::SpeedButton1Click() { view_.ShowTransforms(); }

void TRegForm::CheckTableSelect(int row) {
  if (row < 1 || row >= Table.RowCount()) return;
  view_.SelectGridRow(row);
  RegGridChangeRow(row);  // also when the grid's current row was that row already
}

// ---------------------------------------------------------------------------
// Tracker

void TRegForm::BeginConnect() {
  view_.BeginProgress("Connecting to the tracker on " + Tracker.PortName + " at " +
                          std::to_string(Tracker.BPS) + " bps ...",
                      static_cast<int>(kWaitBeforeExamine + kWaitForModelId + kWaitBeforeAutoConfig +
                                       kWaitAfterAutoConfig));
}

void TRegForm::InitFOB() { link_.InitFOB(); }

void TRegForm::InitFOBdialog() { link_.InitFOBdialog(); }

void TRegForm::ApplyRadioChecks() {
  for (TCommand i : kTypeItems) view_.SetItemChecked(i, i == typeChecked_);
  for (TCommand i : kSpeedItems) view_.SetItemChecked(i, i == speedChecked_);
}

void TRegForm::StartupFOB() {
  std::string message;
  if (CheckSpeed(Tracker, message)) {
    for (TCommand i : kSpeedItems)
      if (TagOf(i) == Tracker.BPS) speedChecked_ = i;
    ApplyRadioChecks();
  } else {
    services_.messages->ShowMessage(message);
    speedChecked_ = TCommand::N1152001;
    ApplyRadioChecks();
  }
  std::vector<std::string> ports =
      services_.ports ? services_.ports->ListSerialPorts() : std::vector<std::string>{};
  if (ports.empty()) {
    services_.messages->ShowMessage(kNoSerialPortsMessage);
  } else {
    for (const TPortMenuItem& item : ChoosePort(Tracker, ports)) {
      portItems_.push_back(item.caption);
      portChecked_.push_back(item.checked);
      view_.AddPortItem(item.caption);
      view_.SetPortItemChecked(static_cast<int>(portItems_.size()) - 1, item.checked);
    }
    InitFOB();
  }
  view_.SetTimerEnabled(true);
}

void TRegForm::PortItemClick(int index) {
  if (index < 0 || index >= static_cast<int>(portItems_.size())) return;
  // The chosen port becomes the one in use (stored at exit) and the link is
  // reconnected to it, with the switch-on prompt for a Flock, as F6 does.
  for (size_t i = 0; i < portItems_.size(); ++i) {
    portChecked_[i] = static_cast<int>(i) == index;
    view_.SetPortItemChecked(static_cast<int>(i), portChecked_[i]);
  }
  Tracker.PortName = portItems_[static_cast<size_t>(index)];
  InitFOBdialog();
}

void TRegForm::updateModeMenu() {
  typeChecked_ = Tracker.IsFastrak     ? TCommand::Fast1
                 : Tracker.IsStreaming ? TCommand::FlockofBirdsMiniBirdStream1
                                       : TCommand::FlockofBirdsMiniBird1;
  ApplyRadioChecks();
}

void TRegForm::Fast1Click(TCommand item) {
  // A window may already have moved the check mark; the handler decides where it
  // belongs.
  ApplyRadioChecks();
  if (!advanced_) {
    services_.messages->ShowMessage(kTypeRefusedMessage);
    return;
  }
  int32_t tag = TagOf(item);
  Tracker.IsFastrak = tag == 2;
  Tracker.IsStreaming = tag == 1;
  updateModeMenu();
  InitFOBdialog();
}

void TRegForm::N1152001Click(TCommand item) {
  ApplyRadioChecks();
  int32_t tag = TagOf(item);
  if (tag != Tracker.BPS) {
    if (advanced_) {
      Tracker.BPS = tag;
      speedChecked_ = item;
      ApplyRadioChecks();
    } else {
      services_.messages->ShowMessage(kSpeedRefusedMessage);
    }
  }
  InitFOBdialog();
}

void TRegForm::ResetConnectionMenuClick() { InitFOBdialog(); }
