#pragma once
// The window's own small controls:
//   panel  - a child window that groups controls on a background colour and passes
//            its controls' notifications on to its parent (WS_EX_CONTROLPARENT, so
//            that Tab walks into it);
//   label  - a text in a colour and font, painted in one piece (no flicker at 40
//            changes a second), repainted only when its text or colour changes;
//            lines break at "\r\n";
//   flat glyph button - an owner-drawn push button that shows its glyph, raises its
//            edge under the mouse, sinks it when pressed and never keeps the
//            keyboard focus (the focus stays where it was, e.g. in the grid).
#include <windows.h>

#include <string>

#include "reg/RegFormDesign.h"

namespace win32 {

// Registers the panel and label classes (once).
void RegisterControlClasses();

HWND CreatePanel(HWND parent, int id, COLORREF background);
COLORREF PanelColor(HWND panel);

// A label; `singleLine` centres its one line vertically, otherwise the lines
// start at the top.
HWND CreateLabel(HWND parent, int id, const char* text, HFONT font, COLORREF background, bool singleLine = true);
// Sets the text and the text's colour; a label repaints only when they change.
void SetLabelText(HWND label, const std::string& text);
void SetLabelColor(HWND label, COLORREF textColor);

HWND CreateGlyphButton(HWND parent, int id, TGlyph glyph);
// Draws an owner-drawn glyph button (the panel does it for its buttons).
void DrawGlyphButton(const DRAWITEMSTRUCT& item);

}  // namespace win32
