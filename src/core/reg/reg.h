#pragma once
// TRegForm: the main window's controller. It holds the window state (CurrentMRI,
// UpdatingEdits, TrackerReading, the tracker state, Timer1's tag, the calibration
// table), owns the viewer link and the serial port, and has every handler of the
// window. It knows no window toolkit: it reads and sets the controls through
// IRegFormView and reaches the outside world through the services below.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Interfaces.h"
#include "RegFormView.h"
#include "igtl/IgtlServer.h"
#include "image/Nifti.h"
#include "reg/CursorBlock.h"
#include "reg/FileStore.h"
#include "reg/LinkHealth.h"
#include "math/LandmarkCheck.h"
#include "reg/CalibTable.h"
#include "reg/Settings.h"
#include "tracker/Startup.h"
#include "tracker/TrackerLink.h"
#include "tracker/TrackerState.h"

// What the controller needs from the outside world; the program passes the real
// services, the tests fakes.
struct TRegFormServices {
  IMessagePresenter* messages = nullptr;
  IFileChooser* files = nullptr;
  IClock* clock = nullptr;  // the tracker start-up's waits
  IPortLister* ports = nullptr;
  IFileStore* fileStore = nullptr;  // calibration files
  std::function<std::unique_ptr<ISettingsStore>()> settings;
  std::function<std::unique_ptr<ISerialPort>()> serialPort;
  TCursorBlockOpener cursorBlock;  // the viewer's block; none: no viewer link
  INetStack* net = nullptr;        // the OpenIGTLink server's sockets; none: no server
  // Reads an MRI image's header: empty, or the message why it cannot be read.
  std::function<std::string(const std::string& path, TNiftiImage& image)> loadImage;
  std::string documentsDir;        // where the file dialogs start before a calibration was saved or opened
};

// The texts of the window's own messages.
inline constexpr char kFullMessage[] = "No more data points can be entered.";
inline constexpr char kSaveChangesQuestion[] = "Save changes to the calibration?";
// The OpenIGTLink transforms: the sensor in the tracker's frame (mm), the voxel
// published to the viewer, and that voxel's position in the MRI image (RAS, mm).
inline constexpr char kStylusToTracker[] = "StylusToTracker";
inline constexpr char kStylusToVoxel[] = "StylusToVoxel";
inline constexpr char kStylusToRas[] = "StylusToRas";
extern const char kAboutText[];

class TRegForm : private ICalibTableView, private ITrackerHost {
 public:
  TRegForm(const TRegFormServices& services, IRegFormView& view);
  ~TRegForm() override;
  TRegForm(const TRegForm&) = delete;
  TRegForm& operator=(const TRegForm&) = delete;

  // ---- Window state ----
  TVoxel CurrentMRI;
  bool UpdatingEdits = false;
  TTrackerReading TrackerReading;
  TTrackerState Tracker;
  int Timer1Tag = 0;  // 666: the one-shot start-up marker of the first tick
  TCalibTable Table;
  TLandmarkCheck Check;  // of the last fit that ran; no rows before one

  bool IsCalibrateView() const { return view_.ControlVisible(TControl::RegGrid); }
  TTrackerLink& Link() { return link_; }
  ISerialPort* TrackerPort() const { return trackerPort_.get(); }
  ICursorBlock* CursorBlock() const { return block_.get(); }
  // How many errors of the polling tick were not shown because a box was open.
  int SuppressedErrors() const { return suppressedErrors_; }
  // What a field of the status line shows now.
  const std::string& StatusText(TStatusField field) const { return shownStatus_[static_cast<size_t>(field)]; }
  bool StatusRed(TStatusField field) const { return shownStatusRed_[static_cast<size_t>(field)]; }

  // ---- Events of the window ----
  // A menu item, shortcut or button.
  void Command(TCommand command);
  void PortItemClick(int index);
  // The Port menu is about to open: it lists the ports that exist now.
  void PortMenuOpening();

  // ---- Life cycle ----
  void FormCreate();  // by the view, once its controls exist
  void FormShow();    // by the view, when the window is first shown
  void FormDestroy(); // by the view, when the window is destroyed (runs once)

  // ---- Polling tick ----
  void Timer1Timer();
  void ViewerFollowStage();
  void UpdateTrackerLabel();
  void TrackStage();
  // The link's state in the status line: a change of state at once, the rate and
  // the age at the status line's own rate (or at once when `force`).
  void UpdateLinkStatus(uint64_t now, bool force = false);
  TLinkState LinkState(uint64_t now) const;

  // ---- Viewer link ----
  void SetShareMem(int32_t x, int32_t y, int32_t z);
  void XEditChange();

  // ---- Calibration table ----
  void SetMRIcell(int row, int32_t x, int32_t y, int32_t z);
  void SetFOBcell(int row, int32_t x, int32_t y, int32_t z);
  void AddBtnClick();
  void DeleteBtnClick();
  void ResampleMRI1Click(int tag);  // tag 0: the MRI half, 1: the tracker half
  void AddMRI1Click();
  void AddRowMRIFOB1Click();
  void RegGridChangeRow(int row);
  void RegGridSelectCell(int acol, int arow);
  void RegGridDblClick();
  // The key the grid should see after this handler: Page Down and Page Up become
  // Down and Up; the full stop and Escape are handled here and give 0 (nothing).
  int RegGridKeyDown(int key);
  // First data row of the grid's selection; 0 if none.
  int SelectionTop() const { return view_.GridSelection().top; }
  int SelectionLeft() const { return view_.GridSelection().left; }

  // ---- Calibration files ----
  // The calibration in hand: changed by Add, Delete, Resample and the desired
  // voxel; saved by a successful save or open. Its file is empty before either.
  bool CalibrationChanged() const { return changed_; }
  const std::string& CalibrationPath() const { return calibPath_; }
  // The folder the file dialogs start in: that of the last calibration saved or
  // opened (a setting), else the user's documents.
  const std::string& CalibrationFolder() const { return calibFolder_; }
  // A request to close the window, by any path: true when it may close. With
  // unsaved changes the operator is asked to save, discard or cancel. During the
  // tracker's start-up exchange (its waits and boxes run the window's messages) the
  // request is held, false, and made again through the view when the exchange ends.
  bool FormCloseQuery();
  void SaveBtnClick();
  void OPenBtnClick();
  void Open1Click() { OPenBtnClick(); }
  void Save1Click() { SaveBtnClick(); }

  // ---- Views ----
  void ToolbarVis();
  void TableBtnClick();
  void RegBtnClick();
  void QueryOrSampleBtnClick();
  void ModeClick();
  void SpeedButton1Click();
  // A row chosen in the landmark check table: the same row of the grid is selected
  // and its landmark shown in the viewer.
  void CheckTableSelect(int row);

  // ---- Tracker ----
  void InitFOB();
  void InitFOBdialog();
  void StartupFOB();
  void updateModeMenu();
  void Fast1Click(TCommand item);
  void N1152001Click(TCommand item);
  void ResetConnectionMenuClick();
  // Tracker > Flock range and Fastrak unit: the millimetres of a tracker unit.
  void UnitsClick(TCommand item);

  // ---- OpenIGTLink ----
  // The server, while one was started (IGTLPort not 0 and a listening socket).
  TIgtlServer* IgtlServer() const { return igtl_ && igtl_->Listening() ? igtl_.get() : nullptr; }
  // (Re)starts it on IGTLAddress:IGTLPort; a failure is said once and the program
  // goes on without it.
  void StartIgtlServer();
  void IgtlServerItemClick();

  // ---- MRI image ----
  const std::optional<TNiftiImage>& Image() const { return image_; }
  // Reads the image's header and makes it the image in use (MRIImage); a file that
  // cannot be read is said and changes nothing. True when it was taken.
  bool LoadImage(const std::string& path);
  void OpenImageClick();

  // ---- Help and File ----
  void About1Click();
  void AdvancedMenuItemClick();
  void Exit1Click();

 private:
  // ICalibTableView: the grid mirrors the table.
  void RowCountChanged(int rowCount) override;
  void CellChanged(int col, int row, const std::string& text) override;
  // ITrackerHost
  void StopPolling() override { view_.SetTimerEnabled(false); }
  void StartPolling() override { view_.SetTimerEnabled(true); }
  void SetCaption(const std::string& caption) override { view_.SetCaption(caption); }
  void BeginConnect() override;
  void EndConnect() override { view_.EndProgress(); }

  // The landmark check of the rows 1..n just fitted, in the Transforms window;
  // n = 0: none (the fit refused to run).
  void ShowLandmarkCheck(int n);
  void SetEdits(const TVoxel& v);
  TVoxel DesiredVoxel() const;
  // Shows an error that ended the tick; while its box is open, further errors of
  // the ticks that keep arriving are counted, not stacked.
  void ShowTickError(const std::string& text);
  // Puts the Type and Speed check marks where the tracker state says.
  void ApplyRadioChecks();
  // Fills the Port menu with the ports that exist now, the port in use checked.
  void FillPortMenu(const std::vector<TPortMenuItem>& items);
  // The viewer's block: the outcome of one access, and a pending publish retried
  // on the next tick when the lock was not had.
  void BlockAccessed(TBlockAccess access, uint64_t now);
  uint64_t Now() const { return services_.clock ? services_.clock->NowMs() : 0; }

  TRegFormServices services_;
  IRegFormView& view_;
  std::unique_ptr<ICursorBlock> block_;
  std::unique_ptr<ISerialPort> trackerPort_;
  TTrackerLink link_;
  TCommand typeChecked_ = TCommand::FlockofBirdsMiniBird1;  // as designed
  TCommand speedChecked_ = TCommand::N576001;              // as designed
  bool advanced_ = false;
  std::vector<std::string> portItems_;
  std::vector<bool> portChecked_;
  bool destroyed_ = false;
  bool tickErrorOpen_ = false;
  int exchanging_ = 0;          // depth of the tracker exchanges under way
  bool closeAfterExchange_ = false;
  // Marks a tracker exchange; the outermost one's end makes a held close request.
  class TExchangeScope;
  int suppressedErrors_ = 0;
  // Link health and the status line.
  TLinkHealth health_;
  uint64_t discardedSeen_ = 0;  // the link's count of discarded bytes, as last seen
  uint64_t lastNoiseMs_ = 0;    // when it last grew
  bool linkStarted_ = false;  // the first start-up ran
  TLinkState shownState_ = TLinkState::Live;
  bool shownStateValid_ = false;
  uint64_t nextStatusMs_ = 0;
  std::string shownStatus_[kStatusFieldCount];
  bool shownStatusRed_[kStatusFieldCount] = {};
  bool labelStale_ = false;
  // The viewer's block.
  bool publishPending_ = false;
  uint64_t blockBusySince_ = 0;
  bool blockBusy_ = false;
  void SetStatus(TStatusField field, const std::string& text, bool red);
  // The calibration in hand.
  bool changed_ = false;
  std::string calibPath_;
  std::string calibFolder_;
  TVoxel desired_;  // the desired voxel as last saved, opened or seen
  void SetChanged(bool changed);
  void ShowCalibrationStatus();
  // Asks before the table is replaced or the window closes; true when it may go on.
  bool MayLeaveCalibration();
  // The save dialog and the write; true when the calibration was saved.
  bool SaveCalibration();
  std::string DialogFolder() const;
  // OpenIGTLink and the MRI image.
  std::unique_ptr<TIgtlServer> igtl_;
  std::optional<TNiftiImage> image_;
  std::optional<TVoxelToRas> toRas_;
  int shownClients_ = -1;
  uint64_t lastIdlePollMs_ = 0;
  void PollIgtl(uint64_t now);
  void SendTrackerTransform(uint64_t now);
  void SendVoxelTransforms(uint64_t now);
  void ShowServerStatus();
  // The landmark check's rows in mm and the scale check, with an image.
  std::string ScaleWarning() const;
  // The stored values that have their type but not a value they can have.
  void CheckOtherSettings();
};
