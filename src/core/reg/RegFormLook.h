#pragma once
// How the main window and the Transforms window look, as data shared by every
// window toolkit: sizes, fonts, colours, Timer1's interval, how large the
// Transforms window grows for its report, the worst landmark's mark, the texts and
// keys of the shortcuts, and which texts a spin edit takes. RegFormDesign.h says
// what the windows hold and say; this file says how they show it. A window applies
// these with its own toolkit and decides none of them itself.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include <string_view>

#include "RegFormDesign.h"
#include "RegFormView.h"

namespace look {

// A colour as red, green and blue.
struct TRGB {
  uint8_t r, g, b;
  friend constexpr bool operator==(const TRGB&, const TRGB&) = default;
};

// A font: its family, its character height in design pixels (96 dots per inch),
// its weight, and whether it must be fixed-pitch (a stand-in then keeps the pitch).
struct TFontSpec {
  const char* family;
  int pixels;
  bool bold = false;
  bool fixedPitch = false;
};

// ---- Sizes, in design pixels ----
inline constexpr int kWidth = 572, kHeight = 494, kMinWidth = 560;
inline constexpr int kTransformsWidth = 479, kTransformsHeight = 249;
inline constexpr int kToolColumnWidth = 24;
inline constexpr int kToolButtonSize = 22;    // the tool column's square buttons
inline constexpr int kToolColumnPadding = 1;  // around the tool column's buttons
inline constexpr int kBottomBarHeight = 40;
inline constexpr int kBarPadding = 4;  // around and between the bottom bar's controls
inline constexpr int kGridColumnWidth = 240, kGridRowHeight = 24;
inline constexpr int kMriEditWidth = 68, kDesiredEditWidth = 60, kEditHeight = 32;
inline constexpr int kModeButtonWidth = 26;  // QueryOrSampleBtn, as high as the edits
// The Transforms window's height goes to the report and the landmark check below
// it in this proportion while the check is shown.
inline constexpr int kReportShare = 3, kCheckShare = 2;

// ---- Fonts ----
inline constexpr TFontSpec kWindowFont{"MS Sans Serif", 11};  // the window's own, the desired voxel's edits
inline constexpr TFontSpec kBarFont{"Arial", 19};  // the bottom bar, its edits, the grid, Track view's captions
inline constexpr TFontSpec kTrackerFont{"MS Sans Serif", 19};  // dxFOBlabel
inline constexpr TFontSpec kFormulaFont{"Arial", 15};
inline constexpr TFontSpec kDistanceFont{"Arial", 27};
// The report and the landmark check line up their columns only in a fixed pitch.
inline constexpr TFontSpec kReportFont{"Courier New", 13, false, true};
inline constexpr TFontSpec kWorstRowFont{"Courier New", 13, true, true};
inline constexpr TFontSpec kWarningFont = kWindowFont;  // the landmarks' spread warning

// ---- Colours ----
inline constexpr TRGB kBarGrey{192, 192, 192};  // the bottom bar
inline constexpr TRGB kTrackerInk{0, 0, 0};
inline constexpr TRGB kTrackerFarInk{255, 0, 0};  // the sensor is too far from the transmitter
// The grid's current cell while the grid has the focus, its text this far in from
// the cell's top left corner.
inline constexpr TRGB kCurrentCell{0, 0, 255};
inline constexpr int kCurrentCellTextInset = 2;
inline constexpr TRGB kWarningInk{192, 0, 0};  // the spread warning and the worst landmark
// The live label's numbers when they are old (the tracker went quiet or noisy).
inline constexpr TRGB kStaleInk{150, 150, 150};
// The status line under the bottom bar: one field per TStatusField, left to right,
// in the window's font; black, or the warning red for a state to act on. The
// fields share the width; an empty field takes none.
inline constexpr TFontSpec kStatusFont = kWindowFont;
inline constexpr TRGB kStatusInk{0, 0, 0};
inline constexpr TRGB kStatusAlertInk = kWarningInk;
inline constexpr int kStatusHeight = 20;
inline constexpr int kStatusFieldGap = 12;  // between two shown fields
// The distance in mm beside the one in voxels (Track view).
inline constexpr TFontSpec kDistanceMmFont{"Arial", 19};
// The painted glyphs.
inline constexpr TRGB kAddGlyphInk{0, 128, 0};
inline constexpr TRGB kDeleteGlyphInk{192, 0, 0};
inline constexpr TRGB kModeGlyphRing{60, 60, 60};
inline constexpr TRGB kModeGlyphCross{200, 0, 0};
inline constexpr TRGB kReportGlyphInk{40, 40, 40};

// ---- Timing ----
inline constexpr int kTimer1IntervalMs = 25;

// ---- The landmark check ----
// Follows the row number of the landmark with the largest leave-one-out error.
inline constexpr char kWorstRowMark[] = " *";

// A size in pixels.
struct TPixelSize {
  int width = 0;
  int height = 0;
  friend constexpr bool operator==(const TPixelSize&, const TPixelSize&) = default;
};

// The report as measured in its font on the screen: its number of lines, the width
// of its widest line and the height of one line, in screen pixels.
struct TReportExtent {
  int lines = 0;
  int widestLine = 0;
  int lineHeight = 0;
};

}  // namespace look

// Design pixels (96 dots per inch) on a screen of `dpi` dots per inch, rounded to
// the nearest pixel.
int ScaledPixels(int designPixels, int dpi);

// The client size the Transforms window takes for a report: wide and tall enough
// for every line with room for the frame and the scroll bars, never smaller than
// its first size, taller by the landmark check's room while the check is shown, and
// within the screen's work area (when it is known). No lines: the window keeps its
// size (nullopt). `dpi` scales the design's pixels.
std::optional<look::TPixelSize> TransformsClientSize(const look::TReportExtent& report, bool checkShown,
                                                     std::optional<look::TPixelSize> workArea, int dpi = 96);

// The three cells of a landmark check row: its row number (with the worst row's
// mark), its residual and its leave-one-out error.
std::vector<std::string> CheckTableCells(const TCheckTableRow& row);
// The check table's column headers: row, residual and leave-one-out in voxels, and
// with an MRI image the same two in mm.
std::vector<std::string> CheckTableHeaders(bool withMm);

// A shortcut's text as a menu shows it after the caption ("F1", "Ctrl+O"; empty
// for none), and its key: a function key's number (1 for F1) or a letter, with or
// without Ctrl.
struct TShortcutKey {
  const char* text;
  bool ctrl;
  char letter;      // upper case, 0 for a function key
  int functionKey;  // 1 to 12, 0 for a letter
};
const TShortcutKey* ShortcutKey(TShortcut shortcut);  // nullptr for none
const char* ShortcutText(TShortcut shortcut);

// `text` without the blanks (spaces, tabs) around it: typed text of either window.
std::string_view Trimmed(std::string_view text);

// A spin edit's text as a whole: a signed 32-bit decimal integer (an optional sign
// and digits, blanks around them); nullopt for any other text.
std::optional<int32_t> ParseSpinEditText(std::string_view text);
// The value of a spin edit's text; text that is not an integer reads as 0.
int32_t SpinEditValue(std::string_view text);
// Whether `text` may stand in a spin edit while it is typed: an integer that
// ParseSpinEditText takes, or one on its way (empty, blanks, a lone sign).
bool IsSpinEditText(std::string_view text);
