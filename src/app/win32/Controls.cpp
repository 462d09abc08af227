#include "Controls.h"

#include <commctrl.h>

#include "ControlIds.h"
#include "EventEdge.h"
#include "Glyphs.h"
#include "Win32Util.h"

namespace win32 {

namespace {

constexpr UINT kLabelSetColor = WM_USER + 1;
constexpr DWORD kLabelSingleLine = 0x0001;  // the label class's own style bit

struct TPanelData {
  COLORREF color;
  HBRUSH brush;
};

TPanelData* PanelData(HWND hwnd) { return reinterpret_cast<TPanelData*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)); }

LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return AtEventEdge([&]() -> LRESULT {
    switch (msg) {
      case WM_NCCREATE: {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
        auto color = static_cast<COLORREF>(reinterpret_cast<UINT_PTR>(cs->lpCreateParams));
        SetWindowLongPtrA(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(new TPanelData{color, CreateSolidBrush(color)}));
        break;
      }
      case WM_NCDESTROY:
        if (TPanelData* d = PanelData(hwnd)) {
          DeleteObject(d->brush);
          delete d;
          SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        }
        break;
      case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(hwnd, &r);
        if (TPanelData* d = PanelData(hwnd)) FillRect(reinterpret_cast<HDC>(wp), &r, d->brush);
        return 1;
      }
      case WM_CTLCOLORSTATIC:
        if (TPanelData* d = PanelData(hwnd)) {
          SetBkColor(reinterpret_cast<HDC>(wp), d->color);
          return reinterpret_cast<LRESULT>(d->brush);
        }
        break;
      case WM_DRAWITEM: {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
        if (item->CtlType == ODT_BUTTON) {
          DrawGlyphButton(*item);
          return TRUE;
        }
        break;
      }
      case WM_COMMAND:
      case WM_NOTIFY:
        // The controls' events belong to the window that owns the panel.
        return SendMessageA(GetParent(hwnd), msg, wp, lp);
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
  });
}

struct TLabelData {
  COLORREF text = RGB(0, 0, 0);
  COLORREF back;
  HFONT font;
};

TLabelData* LabelData(HWND hwnd) { return reinterpret_cast<TLabelData*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)); }

void PaintLabel(HWND hwnd, HDC dc) {
  TLabelData* d = LabelData(hwnd);
  RECT r;
  GetClientRect(hwnd, &r);
  const int w = r.right, h = r.bottom;
  if (w <= 0 || h <= 0 || !d) return;
  // One piece: drawn off screen, then copied.
  HDC mem = CreateCompatibleDC(dc);
  HBITMAP bmp = CreateCompatibleBitmap(dc, w, h);
  HGDIOBJ oldBmp = SelectObject(mem, bmp);
  HBRUSH back = CreateSolidBrush(d->back);
  FillRect(mem, &r, back);
  DeleteObject(back);
  HGDIOBJ oldFont = d->font ? SelectObject(mem, d->font) : nullptr;
  SetBkMode(mem, TRANSPARENT);
  SetTextColor(mem, d->text);
  std::string text = WindowText(hwnd);
  RECT t{Px(1), 0, w, h};
  const bool single = (GetWindowLongPtrA(hwnd, GWL_STYLE) & kLabelSingleLine) != 0;
  DrawTextA(mem, text.c_str(), static_cast<int>(text.size()), &t,
            DT_NOPREFIX | DT_LEFT | (single ? DT_SINGLELINE | DT_VCENTER : DT_TOP));
  BitBlt(dc, 0, 0, w, h, mem, 0, 0, SRCCOPY);
  if (oldFont) SelectObject(mem, oldFont);
  SelectObject(mem, oldBmp);
  DeleteObject(bmp);
  DeleteDC(mem);
}

LRESULT CALLBACK LabelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return AtEventEdge([&]() -> LRESULT {
    TLabelData* d = LabelData(hwnd);
    switch (msg) {
      case WM_NCCREATE: {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
        auto* data = new TLabelData{};
        data->back = static_cast<COLORREF>(reinterpret_cast<UINT_PTR>(cs->lpCreateParams));
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data));
        break;
      }
      case WM_NCDESTROY:
        delete d;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        break;
      case WM_SETFONT:
        if (d) d->font = reinterpret_cast<HFONT>(wp);
        if (LOWORD(lp)) InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
      case WM_GETFONT: return d ? reinterpret_cast<LRESULT>(d->font) : 0;
      case WM_SETTEXT: {
        const char* text = reinterpret_cast<const char*>(lp);
        if (WindowText(hwnd) == (text ? text : "")) return TRUE;
        LRESULT r = DefWindowProcA(hwnd, msg, wp, lp);
        InvalidateRect(hwnd, nullptr, FALSE);
        return r;
      }
      case kLabelSetColor:
        if (d && d->text != static_cast<COLORREF>(wp)) {
          d->text = static_cast<COLORREF>(wp);
          InvalidateRect(hwnd, nullptr, FALSE);
        }
        return 0;
      case WM_ERASEBKGND: return 1;  // the paint covers everything
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        PaintLabel(hwnd, dc);
        EndPaint(hwnd, &ps);
        return 0;
      }
      case WM_PRINTCLIENT: PaintLabel(hwnd, reinterpret_cast<HDC>(wp)); return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
  });
}

// The flat glyph button's own behaviour: hot under the mouse, no focus.
LRESULT CALLBACK GlyphButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
  return AtEventEdge([&]() -> LRESULT {
    switch (msg) {
      case WM_SETFOCUS:
        // The keyboard focus goes back where it came from.
        if (wp && IsWindow(reinterpret_cast<HWND>(wp))) SetFocus(reinterpret_cast<HWND>(wp));
        return 0;
      case WM_MOUSEMOVE:
        if (!GetPropA(hwnd, "hot")) {
          SetPropA(hwnd, "hot", reinterpret_cast<HANDLE>(1));
          TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, hwnd, 0};
          TrackMouseEvent(&t);
          InvalidateRect(hwnd, nullptr, FALSE);
        }
        break;
      case WM_MOUSELEAVE:
        RemovePropA(hwnd, "hot");
        InvalidateRect(hwnd, nullptr, FALSE);
        break;
      case WM_NCDESTROY:
        RemovePropA(hwnd, "hot");
        RemoveWindowSubclass(hwnd, GlyphButtonProc, 0);
        break;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
  });
}

}  // namespace

void RegisterControlClasses() {
  RegisterWindowClass(win32ids::kPanelClass, PanelProc, nullptr);
  RegisterWindowClass(win32ids::kLabelClass, LabelProc, nullptr);
}

HWND CreatePanel(HWND parent, int id, COLORREF background) {
  RegisterControlClasses();
  return CreateWindowExA(WS_EX_CONTROLPARENT, win32ids::kPanelClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                         0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                         reinterpret_cast<void*>(static_cast<UINT_PTR>(background)));
}

COLORREF PanelColor(HWND panel) {
  TPanelData* d = PanelData(panel);
  return d ? d->color : GetSysColor(COLOR_BTNFACE);
}

HWND CreateLabel(HWND parent, int id, const char* text, HFONT font, COLORREF background, bool singleLine) {
  RegisterControlClasses();
  HWND h = CreateWindowExA(0, win32ids::kLabelClass, text, WS_CHILD | WS_VISIBLE | (singleLine ? kLabelSingleLine : 0),
                           0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleA(nullptr), reinterpret_cast<void*>(static_cast<UINT_PTR>(background)));
  SetFont(h, font);
  return h;
}

void SetLabelText(HWND label, const std::string& text) { SetWindowTextA(label, text.c_str()); }

void SetLabelColor(HWND label, COLORREF textColor) { SendMessageA(label, kLabelSetColor, textColor, 0); }

HWND CreateGlyphButton(HWND parent, int id, TGlyph glyph) {
  HWND b = CreateChild("BUTTON", "", WS_VISIBLE | BS_OWNERDRAW, parent, id);
  SetWindowLongPtrA(b, GWLP_USERDATA, static_cast<LONG_PTR>(glyph));
  SetWindowSubclass(b, GlyphButtonProc, 0, 0);
  return b;
}

void DrawGlyphButton(const DRAWITEMSTRUCT& item) {
  RECT r = item.rcItem;
  HWND parent = GetParent(item.hwndItem);
  HBRUSH back = CreateSolidBrush(PanelColor(parent));
  FillRect(item.hDC, &r, back);
  DeleteObject(back);
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  if (pressed)
    DrawEdge(item.hDC, &r, BDR_SUNKENOUTER, BF_RECT);
  else if (GetPropA(item.hwndItem, "hot"))
    DrawEdge(item.hDC, &r, BDR_RAISEDINNER, BF_RECT);
  RECT g = r;
  if (pressed) OffsetRect(&g, 1, 1);
  DrawGlyph(item.hDC, g, static_cast<TGlyph>(GetWindowLongPtrA(item.hwndItem, GWLP_USERDATA)));
}

}  // namespace win32
