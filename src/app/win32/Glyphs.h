#pragma once
// The glyphs of the flat buttons, drawn with GDI.
#include <windows.h>

#include "reg/RegFormDesign.h"

namespace win32 {

// Draws the glyph centred in `r`.
void DrawGlyph(HDC dc, const RECT& r, TGlyph glyph);

}  // namespace win32
