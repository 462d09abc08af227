#include "Glyphs.h"

#include <algorithm>

#include "Win32Util.h"

namespace win32 {

namespace {

// A square box of 16 units centred in a rectangle.
class TBox {
 public:
  TBox(const RECT& r, int margin) {
    size_ = std::max(8, static_cast<int>(std::min(r.right - r.left, r.bottom - r.top)) - 2 * margin);
    x0_ = (r.left + r.right - size_) / 2;
    y0_ = (r.top + r.bottom - size_) / 2;
  }
  int X(int u) const { return x0_ + u * size_ / 16; }
  int Y(int u) const { return y0_ + u * size_ / 16; }
  int Units(int u) const { return std::max(1, u * size_ / 16); }

 private:
  int size_, x0_, y0_;
};

// Selects a pen and a brush for the lifetime of the object.
class TTools {
 public:
  TTools(HDC dc, COLORREF pen, int width, COLORREF brush, bool hollow = false)
      : dc_(dc),
        pen_(CreatePen(PS_SOLID, width, pen)),
        brush_(hollow ? static_cast<HBRUSH>(GetStockObject(HOLLOW_BRUSH)) : CreateSolidBrush(brush)),
        ownBrush_(!hollow) {
    oldPen_ = SelectObject(dc_, pen_);
    oldBrush_ = SelectObject(dc_, brush_);
  }
  ~TTools() {
    SelectObject(dc_, oldPen_);
    SelectObject(dc_, oldBrush_);
    DeleteObject(pen_);
    if (ownBrush_) DeleteObject(brush_);
  }
  TTools(const TTools&) = delete;
  TTools& operator=(const TTools&) = delete;

 private:
  HDC dc_;
  HPEN pen_;
  HBRUSH brush_;
  bool ownBrush_;
  HGDIOBJ oldPen_, oldBrush_;
};

void Line(HDC dc, int x0, int y0, int x1, int y1) {
  MoveToEx(dc, x0, y0, nullptr);
  LineTo(dc, x1, y1);
}

void Folder(HDC dc, const TBox& b) {
  TTools t(dc, RGB(120, 90, 20), 1, RGB(250, 200, 70));
  POINT body[] = {{b.X(1), b.Y(4)},  {b.X(6), b.Y(4)},   {b.X(7), b.Y(5)},
                  {b.X(15), b.Y(5)}, {b.X(15), b.Y(14)}, {b.X(1), b.Y(14)}};
  Polygon(dc, body, 6);
  TTools front(dc, RGB(120, 90, 20), 1, RGB(255, 225, 120));
  POINT flap[] = {{b.X(3), b.Y(8)}, {b.X(16), b.Y(8)}, {b.X(15), b.Y(14)}, {b.X(1), b.Y(14)}};
  Polygon(dc, flap, 4);
}

void Floppy(HDC dc, const TBox& b) {
  {
    TTools t(dc, RGB(20, 40, 100), 1, RGB(50, 90, 170));
    Rectangle(dc, b.X(2), b.Y(2), b.X(15), b.Y(15));
  }
  {
    TTools t(dc, RGB(20, 40, 100), 1, RGB(255, 255, 255));
    Rectangle(dc, b.X(4), b.Y(2), b.X(13), b.Y(8));
  }
  TTools t(dc, RGB(90, 90, 90), 1, RGB(190, 190, 190));
  Rectangle(dc, b.X(5), b.Y(10), b.X(12), b.Y(15));
}

void Plus(HDC dc, const TBox& b) {
  TTools t(dc, Rgb(look::kAddGlyphInk), b.Units(3), 0, true);
  Line(dc, b.X(8), b.Y(2), b.X(8), b.Y(14));
  Line(dc, b.X(2), b.Y(8), b.X(14), b.Y(8));
}

void Cross(HDC dc, const TBox& b) {
  TTools t(dc, Rgb(look::kDeleteGlyphInk), b.Units(3), 0, true);
  Line(dc, b.X(3), b.Y(3), b.X(13), b.Y(13));
  Line(dc, b.X(13), b.Y(3), b.X(3), b.Y(13));
}

void Target(HDC dc, const TBox& b) {
  {
    TTools t(dc, Rgb(look::kModeGlyphRing), 1, 0, true);
    Ellipse(dc, b.X(2), b.Y(1), b.X(15), b.Y(16));
  }
  TTools t(dc, Rgb(look::kModeGlyphCross), b.Units(2), 0, true);
  Line(dc, b.X(8), b.Y(0), b.X(8), b.Y(16));
  Line(dc, b.X(0), b.Y(8), b.X(16), b.Y(8));
  Ellipse(dc, b.X(5), b.Y(5), b.X(12), b.Y(12));
}

void Page(HDC dc, const TBox& b) {
  {
    TTools t(dc, Rgb(look::kReportGlyphInk), 1, RGB(255, 255, 255));
    Rectangle(dc, b.X(3), b.Y(1), b.X(14), b.Y(15));
  }
  TTools t(dc, Rgb(look::kReportGlyphInk), 1, 0, true);
  for (int y = 4; y <= 12; y += 3) Line(dc, b.X(5), b.Y(y), b.X(12), b.Y(y));
}

}  // namespace

void DrawGlyph(HDC dc, const RECT& r, TGlyph glyph) {
  TBox b(r, 3);
  switch (glyph) {
    case TGlyph::Open: Folder(dc, b); break;
    case TGlyph::Save: Floppy(dc, b); break;
    case TGlyph::Add: Plus(dc, b); break;
    case TGlyph::Delete: Cross(dc, b); break;
    case TGlyph::Mode: Target(dc, b); break;
    case TGlyph::Report: Page(dc, b); break;
  }
}

}  // namespace win32
