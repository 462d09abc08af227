#pragma once
// The main window's design as data, shared by every window toolkit: the commands
// that menu items, shortcuts and buttons raise, the main menu with its captions and
// shortcuts, the tool buttons, the check-marked items, the keys the grid handles,
// and the fixed texts of the controls (how they look: RegFormLook.h). A view builds
// its controls from these tables and forwards what the operator does as a command
// to the controller (TRegForm).
#include <cstdint>
#include <span>

// Everything a menu item, a shortcut or a button can ask for. One command per menu
// item or button of the design; a menu item that "clicks" a button raises its own
// command and the controller forwards it.
enum class TCommand {
  Open1,
  Save1,
  Exit1,
  AddMRI1,         // Position > Add Row (F1)
  AddRowMRIFOB1,   // Position > Delete Row (F2)
  ResampleMRI1,    // F3
  ResampleFOB1,    // F4
  CalibrateItem,   // Mode > Switch (F5)
  FlockofBirdsMiniBird1,
  FlockofBirdsMiniBirdStream1,
  Fast1,
  N96001,
  N192001,
  N384001,
  N576001,
  N1152001,
  ResetConnectionMenu,  // F6
  About1,
  AdvancedMenuItem,
  OPenBtn,
  SaveBtn,
  AddBtn,
  DeleteBtn,
  QueryOrSampleBtn,
  SpeedButton1,
  OpenImage1,        // File > Open MRI image...
  IgtlServer1,       // Tracker > OpenIGTLink server...
  FlockRange36,      // Tracker > Flock range: the transmitter's full-scale range
  FlockRange72,
  FlockRange144,
  FastrakInches,     // Tracker > Fastrak unit
  FastrakCentimetres,
};

enum class TShortcut { None, F1, F2, F3, F4, F5, F6, CtrlO, CtrlS };

// One line of the main menu, in menu order. A Menu line starts a top-level menu, a
// Submenu line a submenu that an EndSubmenu line closes; PortMenu is the Port
// submenu, filled at start-up.
struct TMenuEntry {
  enum TKind { Menu, Submenu, EndSubmenu, Item, Separator, PortMenu } kind;
  const char* name;     // the design's name of the item (Open1, Type1, ...)
  const char* caption;  // with '&' before the mnemonic letter of a top-level menu
  TCommand command = TCommand::Open1;
  TShortcut shortcut = TShortcut::None;
  bool checkable = false;  // carries a check mark, which the controller decides
  bool radio = false;      // one of a group of which one is checked
  int32_t tag = 0;         // the Tag of Type and Speed items
};
std::span<const TMenuEntry> MainMenu();

// The menu line of a command (nullptr when it has none).
const TMenuEntry* MenuEntryOf(TCommand command);

// The four buttons of the tool column, top to bottom.
enum class TGlyph { Open, Save, Add, Delete, Mode, Report };
struct TToolButton {
  TCommand command;
  const char* name;
  const char* tooltip;
  TGlyph glyph;
};
std::span<const TToolButton> ToolColumn();

// The six spin edits; all share one change handler (XEditChange).
enum class TEdit { XEdit, YEdit, ZEdit, desirex, desirey, desirez };
constexpr int kEditCount = 6;
const char* EditName(TEdit edit);

// The controls whose visibility ToolbarVis inverts, in its order.
enum class TControl { CoolBar1, OPenBtn, SaveBtn, AddBtn, DeleteBtn, RegGrid };
constexpr TControl kToolbarControls[] = {TControl::CoolBar1, TControl::OPenBtn, TControl::SaveBtn,
                                         TControl::AddBtn,   TControl::DeleteBtn, TControl::RegGrid};

// Key codes the grid's key handler knows (the Windows virtual-key codes).
enum TKeyCode : int {
  kKeyEscape = 0x1B,
  kKeyPageUp = 0x21,
  kKeyPageDown = 0x22,
  kKeyUp = 0x26,
  kKeyDown = 0x28,
  kKeyPeriod = 0xBE,
};

// Fixed texts of the design (its sizes, fonts and colours: RegFormLook.h).
namespace design {
inline constexpr char kCaption[] = "Zeltra";
inline constexpr char kTransformsCaption[] = "Transforms";
inline constexpr char kMriLabel[] = "MRI";
inline constexpr char kDesiredLabel[] = "desired MRI";
inline constexpr char kDistanceCaption[] = "distance [vxl]:";
inline constexpr char kTrackerLabelStart[] = " x     0 y      0 z      0 d      0";
inline constexpr char kFormulaStart[] = "MRIx=k\rMRIy= k\rMRIz= k";
inline constexpr char kDistanceStart[] = "0";
inline constexpr char kModeTooltip[] = "Switch between Calibrate and Track (F5)";
inline constexpr char kReportTooltip[] = "Show the regression report";
inline constexpr char kGridHeaderMRI[] = "MRI";
inline constexpr char kGridHeaderTracker[] = "Flock of Birds";
// The landmark check table's columns; the worst row is marked.
inline constexpr char kCheckHeaderRow[] = "Row";
inline constexpr char kCheckHeaderResidual[] = "Residual [vxl]";
inline constexpr char kCheckHeaderLeaveOneOut[] = "Leave-one-out [vxl]";
inline constexpr char kCheckHeaderResidualMm[] = "Residual [mm]";
inline constexpr char kCheckHeaderLeaveOneOutMm[] = "Leave-one-out [mm]";
inline constexpr char kCheckLegend[] = "* largest leave-one-out error";
inline constexpr char kDistanceMmStart[] = "";
// The OpenIGTLink server dialog.
inline constexpr char kServerDialogCaption[] = "OpenIGTLink server";
inline constexpr char kServerAddressLabel[] = "Address (127.0.0.1: this computer only; 0.0.0.0: every network):";
inline constexpr char kServerPortLabel[] = "Port (0: no server):";
}  // namespace design
