#pragma once
// The window classes and control identifiers of the Win32 window. Commands (menu
// items, shortcuts and buttons) use CommandId(TCommand); the Port items follow
// kPortItemIdBase; every other control has its own identifier below, so that a
// control can be found by its identifier (GetDlgItem, or EnumChildWindows across
// panels) by the window and by tools that look at it from outside.
#include "reg/RegFormDesign.h"

namespace win32ids {

inline constexpr char kMainClass[] = "ZeltraRegForm";
inline constexpr char kTransformsClass[] = "ZeltraFOBForm";
inline constexpr char kProgressClass[] = "ZeltraProgress";
inline constexpr char kPanelClass[] = "ZeltraPanel";
inline constexpr char kLabelClass[] = "ZeltraLabel";
inline constexpr char kStatusClass[] = "ZeltraStatus";

inline constexpr int kCommandIdBase = 100;    // + the TCommand's value
inline constexpr int kPortItemIdBase = 1000;  // + the Port item's index
inline constexpr int kPortItemIdEnd = 1999;

// Controls that are not commands.
enum TControlId : int {
  kIdEditBase = 300,     // + TEdit: XEdit, YEdit, ZEdit, desirex, desirey, desirez
  kUpDownIdOffset = 50,  // an edit's up-down control: the edit's identifier + 50
  kIdRegGrid = 310,
  kIdCoolBar1 = 311,
  kIdToolBar2 = 312,
  kIdTrackPanel = 313,
  kIdTrackerLabel = 320,  // dxFOBlabel
  kIdFormulaLabel = 321,
  kIdDistanceLabel = 322,
  kIdMriLabel = 323,
  kIdDesiredLabel = 324,
  kIdDistanceCaption = 325,
  kIdStatusLine = 326,
  kIdDistanceMmLabel = 327,
  kIdCoregMemo = 400,
  kIdCheckTable = 401,
  kIdCheckSummary = 402,
  kIdCheckWarning = 403,
  kIdCheckLegend = 404,
  kIdProgressText = 500,
  kIdProgressBar = 501,
  // The OpenIGTLink server dialog.
  kIdServerAddressLabel = 600,
  kIdServerAddress = 601,
  kIdServerPortLabel = 602,
  kIdServerPort = 603,
};

constexpr int CommandId(TCommand c) { return kCommandIdBase + static_cast<int>(c); }
constexpr int EditId(TEdit e) { return kIdEditBase + static_cast<int>(e); }

}  // namespace win32ids
