#include "reg.h"

#include <clocale>
#include <utility>

#include "DecimalText.h"
#include "Version.h"
#include "math/LandmarkCheck.h"
#include "math/RegMult.h"
#include "reg/CalibFile.h"
#include "reg/RegFormLook.h"
#include "image/ScaleCheck.h"
#include "reg/TrackView.h"
#include "tracker/Startup.h"
#include "tracker/TrackerUnits.h"

const char kAboutText[] =
    "Zeltra2 version October 16, 2013\r"
    "Zeltra coregisters magnetic head tracker signals with an MRI scan. For research "
    "purposes only: use with caution.\r"
    "\r"
    "Zeltra " ZELTRA_VERSION ", written by the Zeltra developers.\r"
    "The user's guide: README.txt in Zeltra's folder (Windows), /usr/share/doc/zeltra/README.gz "
    "(Linux).\r"
    "Web: https://zeltra.org";

namespace {

// How long the viewer may keep its block locked before the status line says so.
constexpr uint64_t kViewerBusyAfterMs = 1000;
// How often a server without clients looks for new ones.
constexpr uint64_t kIdleServerPollMs = 100;

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
constexpr TCommand kRangeItems[] = {TCommand::FlockRange36, TCommand::FlockRange72, TCommand::FlockRange144};
constexpr TCommand kUnitItems[] = {TCommand::FastrakInches, TCommand::FastrakCentimetres};

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
  if (services_.net) igtl_ = std::make_unique<TIgtlServer>(*services_.net);
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
    case TCommand::OpenImage1: OpenImageClick(); break;
    case TCommand::IgtlServer1: IgtlServerItemClick(); break;
    case TCommand::FlockRange36:
    case TCommand::FlockRange72:
    case TCommand::FlockRange144:
    case TCommand::FastrakInches:
    case TCommand::FastrakCentimetres: UnitsClick(command); break;
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
  desired_ = DesiredVoxel();
  ShowCalibrationStatus();
  // Tracker preparation.
  trackerPort_ = services_.serialPort ? services_.serialPort() : nullptr;
  link_.SetPort(trackerPort_.get());
  // A value that cannot be read is said and keeps its default; the others are
  // read all the same, and the start goes on.
  std::vector<std::string> problems;
  try {
    std::unique_ptr<ISettingsStore> store = services_.settings ? services_.settings() : nullptr;
    if (store) problems = ReadSettings(*store, Tracker);
  } catch (const std::exception& e) {
    problems = {e.what()};
  }
  if (!problems.empty()) {
    std::string text = problems[0];
    for (size_t i = 1; i < problems.size(); ++i) text += "\n" + problems[i];
    services_.messages->ShowError(text);
  }
  CheckOtherSettings();
  updateModeMenu();
  StartIgtlServer();
  if (!Tracker.MRIImage.empty()) LoadImage(Tracker.MRIImage);
  Timer1Tag = 666;
  view_.SetTimerEnabled(true);
}

void TRegForm::CheckOtherSettings() {
  // Values of the right type but outside what they can be: said, and the default
  // taken (and stored at exit).
  std::vector<std::string> problems;
  const TTrackerState defaults;
  if (!IsFlockRange(Tracker.FlockRange)) {
    problems.push_back("Invalid FlockRange " + std::to_string(Tracker.FlockRange) + ": using 36 inches");
    Tracker.FlockRange = defaults.FlockRange;
  }
  if (!IsFastrakUnit(Tracker.FastrakUnit)) {
    problems.push_back("Invalid FastrakUnit " + std::to_string(Tracker.FastrakUnit) + ": using inches");
    Tracker.FastrakUnit = defaults.FastrakUnit;
  }
  if (Tracker.MRIVoxelBase != 0 && Tracker.MRIVoxelBase != 1) {
    problems.push_back("Invalid MRIVoxelBase " + std::to_string(Tracker.MRIVoxelBase) + ": using 1");
    Tracker.MRIVoxelBase = defaults.MRIVoxelBase;
  }
  if (Tracker.IGTLPort < 0 || Tracker.IGTLPort > 65535) {
    problems.push_back("Invalid IGTLPort " + std::to_string(Tracker.IGTLPort) + ": using 18944");
    Tracker.IGTLPort = defaults.IGTLPort;
  }
  if (!problems.empty()) {
    std::string text = problems[0];
    for (size_t i = 1; i < problems.size(); ++i) text += "\n" + problems[i];
    services_.messages->ShowError(text);
  }
  calibFolder_ = Tracker.CalibFolder;
}

void TRegForm::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  // No tick may run once the block is gone (a message box below runs a loop).
  view_.SetTimerEnabled(false);
  block_.reset();
  if (igtl_) igtl_->Stop();
  Tracker.CalibFolder = calibFolder_;
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
  const uint64_t now = Now();
  // A publish that found the viewer's block locked is retried first; until it
  // went through, the block is not read back over it.
  if (publishPending_) SetShareMem(CurrentMRI.x, CurrentMRI.y, CurrentMRI.z);
  if (IsCalibrateView() && !publishPending_) ViewerFollowStage();
  // Tracker stage.
  bool reading = false;
  const auto noteNoise = [&] {
    if (const uint64_t discarded = link_.DiscardedBytes(); discarded != discardedSeen_) {
      discardedSeen_ = discarded;
      lastNoiseMs_ = now;
    }
  };
  try {
    reading = link_.ReadFOB();
  } catch (const std::exception& e) {
    // A line that fails to convert is noise like any other: the link says so,
    // and the network clients are served, before the error box opens.
    noteNoise();
    UpdateLinkStatus(now);
    PollIgtl(now);
    ShowTickError(e.what());
    return;
  }
  if (reading) health_.Reading(now);
  noteNoise();
  UpdateLinkStatus(now);
  if (!reading) {
    PollIgtl(now);
    return;
  }
  // Reading stage.
  TUpdatingEdits guard(UpdatingEdits);
  UpdateTrackerLabel();
  SendTrackerTransform(now);
  if (!IsCalibrateView()) {
    TrackStage();
    SendVoxelTransforms(now);
  }
  PollIgtl(now);
}

void TRegForm::PollIgtl(uint64_t now) {
  if (!igtl_) return;
  // Without clients only new ones are looked for, ten times a second: each look
  // is a system call, and a client waits at most 0.1 s.
  if (igtl_->ClientCount() == 0 && now - lastIdlePollMs_ < kIdleServerPollMs) return;
  lastIdlePollMs_ = now;
  igtl_->Poll(now);
  if (igtl_->ClientCount() != shownClients_) ShowServerStatus();
}

void TRegForm::SendTrackerTransform(uint64_t now) {
  if (!IgtlServer() || igtl_->ClientCount() == 0) return;
  double mm[3];
  ReadingToMm(TrackerReading, Tracker, mm);
  igtl_->SendTransform(kStylusToTracker, mm, now);
}

void TRegForm::SendVoxelTransforms(uint64_t now) {
  if (!IgtlServer() || igtl_->ClientCount() == 0) return;
  // The voxel as published to the viewer, and where it is in the image.
  const double voxel[3] = {static_cast<double>(CurrentMRI.x), static_cast<double>(CurrentMRI.y),
                           static_cast<double>(CurrentMRI.z)};
  igtl_->SendTransform(kStylusToVoxel, voxel, now);
  if (toRas_) {
    const TRasPoint p = toRas_->Map(CurrentMRI);
    const double ras[3] = {p.x, p.y, p.z};
    igtl_->SendTransform(kStylusToRas, ras, now);
  }
}

void TRegForm::ViewerFollowStage() {
  // The viewer moved its cursor: the window follows.
  if (!block_) return;
  TVoxel v;
  TBlockAccess access = block_->ReadCursor(v);
  BlockAccessed(access, Now());
  if (access == TBlockAccess::Done && !(v == CurrentMRI)) {
    CurrentMRI = v;
    TUpdatingEdits guard(UpdatingEdits);
    SetEdits(v);
  }
}

void TRegForm::BlockAccessed(TBlockAccess access, uint64_t now) {
  if (access != TBlockAccess::Busy) {
    blockBusy_ = false;
  } else if (!blockBusy_) {
    blockBusy_ = true;
    blockBusySince_ = now;
  }
}

TLinkState TRegForm::LinkState(uint64_t now) const {
  // A tracker that missed the start-up exchange (switched on late) may stream all
  // the same: its fresh readings are live, and are published as such.
  if (!link_.Connected() && health_.Stale(now)) return TLinkState::NotConnected;
  // Noise is said while it arrives; a line that then falls silent is stale.
  if (link_.Noisy() && now - lastNoiseMs_ < TLinkHealth::kStaleAfterMs) return TLinkState::Noisy;
  if (health_.Stale(now)) return TLinkState::Stale;
  return TLinkState::Live;
}

void TRegForm::SetStatus(TStatusField field, const std::string& text, bool red) {
  const size_t i = static_cast<size_t>(field);
  if (shownStatus_[i] == text && shownStatusRed_[i] == red) return;
  shownStatus_[i] = text;
  shownStatusRed_[i] = red;
  view_.SetStatusText(field, text, red);
}

void TRegForm::UpdateLinkStatus(uint64_t now, bool force) {
  if (!linkStarted_) return;
  const TLinkState state = LinkState(now);
  if (!force && shownStateValid_ && state == shownState_ && now < nextStatusMs_) return;
  shownState_ = state;
  shownStateValid_ = true;
  nextStatusMs_ = now + TLinkHealth::kRefreshMs;
  const bool stale = state != TLinkState::Live;
  if (stale != labelStale_) {
    labelStale_ = stale;
    view_.SetTrackerLabelStale(stale);
  }
  TLinkStatusText link = LinkStatusText(state, Tracker, health_.Rate(now), health_.AgeMs(now), link_.FailureText());
  SetStatus(TStatusField::Link, link.text, link.red);
  ShowServerStatus();
  // The lock was found held after the tick read its clock (an access waits a few
  // ms for it): no negative age.
  const uint64_t busyFor = blockBusy_ && now > blockBusySince_ ? now - blockBusySince_ : 0;
  if (busyFor >= kViewerBusyAfterMs)
    SetStatus(TStatusField::Viewer,
              "The viewer holds its block locked (" + SecondsText(busyFor) + " s): the cursor is not exchanged",
              true);
  else
    SetStatus(TStatusField::Viewer, "", false);
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
  const TVoxel desired = DesiredVoxel();
  view_.SetDistanceText(DistanceText(VoxelDistance(CurrentMRI, desired)));
  if (toRas_) view_.SetDistanceMmText(FormatMm(DistanceMm(toRas_->Map(CurrentMRI), toRas_->Map(desired))) + " mm");
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
  if (!block_) return;
  // The block's lock is waited for only briefly: when the viewer keeps it, this
  // publish is retried on the next tick (with the newest voxel by then).
  const TBlockAccess access = block_->PublishCursor({x, y, z});
  publishPending_ = access == TBlockAccess::Busy;
  BlockAccessed(access, Now());
}

void TRegForm::XEditChange() {
  if (UpdatingEdits) return;
  if (const TVoxel d = DesiredVoxel(); !(d == desired_)) {
    desired_ = d;
    SetChanged(true);
  }
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
  else
    SetChanged(true);
}

void TRegForm::DeleteBtnClick() {
  int top = SelectionTop();
  if (top < 1) top = 1;  // no selection: the grid's current cell is row 1
  if (Table.Delete(top)) SetChanged(true);
}

void TRegForm::ResampleMRI1Click(int tag) {
  int row = SelectionTop();
  if (row < 1) return;
  if (tag == 1)
    Table.ResampleFOB(row, TrackerReading);
  else
    Table.ResampleMRI(row, CurrentMRI);
  SetChanged(true);
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

namespace {

// The folder of a path and its last part, for either kind of separator.
std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

std::string NameOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void TRegForm::SetChanged(bool changed) {
  changed_ = changed;
  ShowCalibrationStatus();
}

void TRegForm::ShowCalibrationStatus() {
  SetStatus(TStatusField::Calibration,
            "Calibration: " + (calibPath_.empty() ? std::string("unsaved") : NameOf(calibPath_)) +
                (changed_ ? " *" : ""),
            false);
}

bool TRegForm::MayLeaveCalibration() {
  if (!changed_) return true;
  switch (services_.messages->AskSave(kSaveChangesQuestion)) {
    case IMessagePresenter::TSaveAnswer::Save: return SaveCalibration();
    case IMessagePresenter::TSaveAnswer::Discard: return true;
    case IMessagePresenter::TSaveAnswer::Cancel: break;
  }
  return false;
}

bool TRegForm::FormCloseQuery() {
  if (exchanging_ > 0) {
    // A close from outside (the task list, the session) while the exchange waits
    // would destroy the port under it.
    closeAfterExchange_ = true;
    return false;
  }
  return MayLeaveCalibration();
}

bool TRegForm::SaveCalibration() {
  TFileDialogSpec spec{"Text file (*.txt)|*.txt", DialogFolder(), "txt", true, NameOf(calibPath_)};
  std::optional<std::string> path = services_.files->ChooseSave(spec);
  if (!path) return false;
  std::string bytes = FormatCalibration(&PointTable[1], Table.DataRows(), DesiredVoxel());
  if (std::string error = services_.fileStore->ReplaceWhole(*path, bytes); !error.empty()) {
    services_.messages->ShowError(error);
    return false;
  }
  calibPath_ = *path;
  calibFolder_ = FolderOf(*path);
  desired_ = DesiredVoxel();
  SetChanged(false);
  return true;
}

void TRegForm::SaveBtnClick() { SaveCalibration(); }

std::string TRegForm::DialogFolder() const {
  return calibFolder_.empty() ? services_.documentsDir : calibFolder_;
}

void TRegForm::OPenBtnClick() {
  // Unsaved changes are saved or discarded first, or nothing is opened.
  if (!MayLeaveCalibration()) return;
  TFileDialogSpec spec{"Text Files|*.txt", DialogFolder(), "", false, ""};
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
  if (!ParseCalibration(bytes, calibration, error, NameOf(*path))) {
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
  calibPath_ = *path;
  calibFolder_ = FolderOf(*path);
  desired_ = DesiredVoxel();
  SetChanged(false);
  // Row 1 selected, both columns, and its landmark shown in the viewer; a file
  // without point rows has no landmark to show.
  if (calibration.rows.empty()) return;
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
  // With an image, a fit whose scale does not match its voxels is warned about.
  const std::string scale = ran ? ScaleWarning() : std::string();
  if (!scale.empty()) list.insert(list.end(), {"", scale});
  view_.SetReportLines(list);
  ShowLandmarkCheck(ran ? n : 0);
  view_.SetFormulaText(FormulaText(RegCoef));
  // What the Transforms window warns about, the main window says too.
  std::string warning = ran ? Check.warning : std::string();
  if (!scale.empty()) warning += (warning.empty() ? "" : " ") + scale;
  SetStatus(TStatusField::Fit, warning, true);
}

std::string TRegForm::ScaleWarning() const {
  if (!image_) return {};
  return CheckFitScale(RegCoef, TrackerUnitMm(Tracker), image_->voxelSize);
}

void TRegForm::ShowLandmarkCheck(int n) {
  Check = CheckLandmarks(PointTable, n, RegCoef);
  std::vector<TCheckTableRow> rows;
  for (size_t i = 0; i < Check.rows.size(); ++i) {
    TLandmarkCells cells = LandmarkCells(Check, i);
    TCheckTableRow row{Check.rows[i].row, cells.residual, cells.leaveOneOut, cells.worst, "", ""};
    if (toRas_) {
      // A difference of voxels in mm: the image's map of the difference, less
      // that of no difference.
      auto mm = [this](const double (&d)[3]) {
        return DistanceMm(toRas_->Map(d[0], d[1], d[2]), toRas_->Map(0.0, 0.0, 0.0));
      };
      const TLandmarkRow& r = Check.rows[i];
      row.residualMm = FormatMm(mm(r.residual));
      row.leaveOneOutMm = r.hasLeaveOneOut ? FormatMm(mm(r.leaveOneOutError)) : "n/a";
    }
    rows.push_back(row);
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
// OpenIGTLink and the MRI image

void TRegForm::StartIgtlServer() {
  if (!igtl_) return;
  igtl_->Stop();
  if (Tracker.IGTLPort != 0) {
    igtl_->SetEpochOffsetMs(IgtlEpochOffsetMs(Now()));
    const std::string error = igtl_->Start(Tracker.IGTLAddress, static_cast<uint16_t>(Tracker.IGTLPort));
    if (!error.empty()) services_.messages->ShowMessage(error + ". Zeltra goes on without it.");
  }
  ShowServerStatus();
}

void TRegForm::ShowServerStatus() {
  if (!igtl_) return;
  shownClients_ = igtl_->ClientCount();
  std::string text = igtl_->StateText();
  if (!igtl_->Listening() && Tracker.IGTLPort != 0)
    text = "OpenIGTLink not listening on " + Tracker.IGTLAddress + ":" + std::to_string(Tracker.IGTLPort);
  SetStatus(TStatusField::Server, text, false);
}

void TRegForm::IgtlServerItemClick() {
  std::string address = Tracker.IGTLAddress;
  int32_t port = Tracker.IGTLPort;
  if (!view_.EditServerAddress(address, port)) return;
  address = std::string(Trimmed(address));  // blanks around it are typing, in either window
  if (port < 0 || port > 65535 || address.empty()) {
    services_.messages->ShowMessage("The OpenIGTLink port must be 0 (no server) to 65535, with an address");
    return;
  }
  Tracker.IGTLAddress = address;
  Tracker.IGTLPort = port;
  StartIgtlServer();
}

bool TRegForm::LoadImage(const std::string& path) {
  if (!services_.loadImage) return false;
  TNiftiImage image;
  if (std::string error = services_.loadImage(path, image); !error.empty()) {
    services_.messages->ShowMessage(error);
    return false;
  }
  image_ = image;
  toRas_.emplace(*image_, Tracker.MRIVoxelBase);
  Tracker.MRIImage = path;
  SetStatus(TStatusField::Image, DescribeNiftiImage(*image_), false);
  return true;
}

void TRegForm::OpenImageClick() {
  TFileDialogSpec spec{"NIfTI images (*.nii *.nii.gz *.hdr)|*.nii;*.nii.gz;*.hdr", DialogFolder(), "", false, ""};
  if (std::optional<std::string> path = services_.files->ChooseOpen(spec)) LoadImage(*path);
}

// ---------------------------------------------------------------------------
// Tracker

void TRegForm::BeginConnect() {
  view_.BeginProgress("Connecting to the tracker on " + Tracker.PortName + " at " +
                          std::to_string(Tracker.BPS) + " bps ...",
                      static_cast<int>(kWaitBeforeExamine + kWaitForModelId + kWaitBeforeAutoConfig +
                                       kWaitAfterAutoConfig));
}

class TRegForm::TExchangeScope {
 public:
  explicit TExchangeScope(TRegForm& form) : form_(form) { ++form_.exchanging_; }
  ~TExchangeScope() {
    if (--form_.exchanging_ == 0 && form_.closeAfterExchange_) {
      form_.closeAfterExchange_ = false;
      form_.view_.CloseWindow();
    }
  }
  TExchangeScope(const TExchangeScope&) = delete;
  TExchangeScope& operator=(const TExchangeScope&) = delete;

 private:
  TRegForm& form_;
};

void TRegForm::InitFOB() {
  TExchangeScope exchange(*this);
  link_.InitFOB();
}

void TRegForm::InitFOBdialog() {
  TExchangeScope exchange(*this);
  link_.InitFOBdialog();
  health_.Restart(Now());
  UpdateLinkStatus(Now(), true);
}

void TRegForm::ApplyRadioChecks() {
  for (TCommand i : kTypeItems) view_.SetItemChecked(i, i == typeChecked_);
  for (TCommand i : kSpeedItems) view_.SetItemChecked(i, i == speedChecked_);
  for (TCommand i : kRangeItems) view_.SetItemChecked(i, TagOf(i) == Tracker.FlockRange);
  for (TCommand i : kUnitItems) view_.SetItemChecked(i, TagOf(i) == Tracker.FastrakUnit);
}

void TRegForm::UnitsClick(TCommand item) {
  // The units only scale what is sent in millimetres and the scale check; the
  // connection is not touched.
  const int32_t tag = TagOf(item);
  if (item == TCommand::FastrakInches || item == TCommand::FastrakCentimetres)
    Tracker.FastrakUnit = tag;
  else
    Tracker.FlockRange = tag;
  ApplyRadioChecks();
}

void TRegForm::StartupFOB() {
  TExchangeScope exchange(*this);  // its boxes too run the window's messages
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
    std::string note;
    FillPortMenu(ChoosePort(Tracker, ports, note));
    if (!note.empty()) services_.messages->ShowMessage(note);
    InitFOB();
  }
  linkStarted_ = true;
  health_.Restart(Now());
  UpdateLinkStatus(Now(), true);
  view_.SetTimerEnabled(true);
}

void TRegForm::FillPortMenu(const std::vector<TPortMenuItem>& items) {
  std::vector<std::string> captions;
  for (const TPortMenuItem& item : items) captions.push_back(item.caption);
  if (captions != portItems_) {
    view_.ClearPortItems();
    portItems_ = captions;
    portChecked_.assign(items.size(), false);
    for (const std::string& caption : captions) view_.AddPortItem(caption);
    for (size_t i = 0; i < items.size(); ++i) view_.SetPortItemChecked(static_cast<int>(i), items[i].checked);
  } else {
    for (size_t i = 0; i < items.size(); ++i)
      if (portChecked_[i] != items[i].checked) view_.SetPortItemChecked(static_cast<int>(i), items[i].checked);
  }
  for (size_t i = 0; i < items.size(); ++i) portChecked_[i] = items[i].checked;
}

void TRegForm::PortMenuOpening() {
  if (!linkStarted_ || !services_.ports) return;
  // The ports that exist now, in the start-up's order; the port in use checked,
  // and a port that vanished no longer listed (PortName is kept: connecting to it
  // says that it is not there).
  const std::vector<std::string> ports = services_.ports->ListSerialPorts();
  std::vector<TPortMenuItem> items;
  for (auto p = ports.rbegin(); p != ports.rend(); ++p) items.push_back({*p, *p == Tracker.PortName});
  FillPortMenu(items);
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

void TRegForm::ResetConnectionMenuClick() {
  // The ports are looked for again, so that the menu shows what exists now.
  if (Tracker.PortName.empty() && linkStarted_ && services_.ports) {
    // None existed at start, so none was chosen: the first that exists now is.
    const std::vector<std::string> ports = services_.ports->ListSerialPorts();
    if (ports.empty()) {
      services_.messages->ShowMessage(kNoSerialPortsMessage);
      return;
    }
    FillPortMenu(ChoosePort(Tracker, ports));
  } else {
    PortMenuOpening();
  }
  InitFOBdialog();
}
