#include "Grid.h"

#include "EventEdge.h"
#include "Win32Util.h"
#include "reg/RegFormLook.h"

namespace win32 {

namespace {
constexpr int kColumns = 2;
}

void TGrid::Create(HWND parent, int id, HFONT font, TEvents events) {
  events_ = std::move(events);
  font_ = font;
  hwnd_ = CreateChild(WC_LISTVIEWA, "",
                      WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                      parent, id, WS_EX_CLIENTEDGE);
  ListView_SetExtendedListViewStyle(hwnd_, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
  SetFont(hwnd_, font);
  // The rows are as high as the design's: an image list of that height sets it.
  rowHeight_ = ImageList_Create(1, Px(look::kGridRowHeight) - 1, ILC_COLOR, 1, 0);
  ListView_SetImageList(hwnd_, rowHeight_, LVSIL_SMALL);
  for (int c = 0; c < kColumns; ++c) {
    LVCOLUMNA col{};
    col.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_FMT;
    col.fmt = LVCFMT_LEFT;
    col.cx = Px(look::kGridColumnWidth);
    col.pszText = const_cast<char*>("");
    SendMessageA(hwnd_, LVM_INSERTCOLUMNA, c, reinterpret_cast<LPARAM>(&col));
  }
  SetWindowSubclass(hwnd_, Proc, 0, reinterpret_cast<DWORD_PTR>(this));
  SetRowCount(2);  // the header and one empty data row, as the table starts
}

void TGrid::SetRowCount(int rows) {
  rebuilding_ = true;
  const int data = rows > 1 ? rows - 1 : 0;
  for (int n = ListView_GetItemCount(hwnd_); n < data; ++n) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = n;
    item.pszText = const_cast<char*>("");
    SendMessageA(hwnd_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  }
  for (int n = ListView_GetItemCount(hwnd_); n > data; --n) ListView_DeleteItem(hwnd_, n - 1);
  rebuilding_ = false;
}

void TGrid::SetCell(int col, int row, const std::string& text) {
  if (row == 0) {
    LVCOLUMNA c{};
    c.mask = LVCF_TEXT;
    c.pszText = const_cast<char*>(text.c_str());
    SendMessageA(hwnd_, LVM_SETCOLUMNA, col, reinterpret_cast<LPARAM>(&c));
    return;
  }
  LVITEMA item{};
  item.iSubItem = col;
  item.pszText = const_cast<char*>(text.c_str());
  SendMessageA(hwnd_, LVM_SETITEMTEXTA, row - 1, reinterpret_cast<LPARAM>(&item));
}

std::string TGrid::Cell(int col, int row) const {
  char buf[256] = "";
  if (row == 0) {
    LVCOLUMNA c{};
    c.mask = LVCF_TEXT;
    c.pszText = buf;
    c.cchTextMax = sizeof buf;
    SendMessageA(hwnd_, LVM_GETCOLUMNA, col, reinterpret_cast<LPARAM>(&c));
    return buf;
  }
  LVITEMA item{};
  item.iSubItem = col;
  item.pszText = buf;
  item.cchTextMax = sizeof buf;
  SendMessageA(hwnd_, LVM_GETITEMTEXTA, row - 1, reinterpret_cast<LPARAM>(&item));
  return buf;
}

int TGrid::FocusedRow() const { return ListView_GetNextItem(hwnd_, -1, LVNI_FOCUSED); }

TGridSelection TGrid::Selection() const {
  int row = ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED);
  if (row < 0) row = FocusedRow();
  if (row < 0) return {0, 0};
  return {row + 1, currentCol_};
}

void TGrid::SelectRow(int row) {
  const int before = FocusedRow();
  const int oldCol = currentCol_;
  currentCol_ = 0;
  ListView_SetItemState(hwnd_, row - 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(hwnd_, row - 1, FALSE);
  // A move within the row is a move of the current cell too.
  if (before == row - 1 && oldCol != 0 && events_.selectCell) events_.selectCell(0, row);
  InvalidateRect(hwnd_, nullptr, FALSE);
}

RECT TGrid::CellRect(int col, int row) const {
  RECT r{};
  ListView_GetItemRect(hwnd_, row - 1, &r, LVIR_BOUNDS);
  int left = r.left;
  for (int c = 0; c < col; ++c) left += ListView_GetColumnWidth(hwnd_, c);
  return {left, r.top, left + ListView_GetColumnWidth(hwnd_, col), r.bottom};
}

void TGrid::SetCurrentColumn(int col) {
  if (col < 0 || col >= kColumns || col == currentCol_) return;
  currentCol_ = col;
  InvalidateRect(hwnd_, nullptr, FALSE);
  const int row = FocusedRow();
  if (row >= 0 && events_.selectCell) events_.selectCell(col, row + 1);
}

LRESULT CALLBACK TGrid::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR self) {
  return AtEventEdge([&]() -> LRESULT {
    if (msg == WM_NCDESTROY) {
      RemoveWindowSubclass(hwnd, Proc, 0);
      return DefSubclassProc(hwnd, msg, wp, lp);
    }
    return reinterpret_cast<TGrid*>(self)->OnMessage(msg, wp, lp);
  });
}

LRESULT TGrid::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_GETDLGCODE: {
      // Escape belongs to the grid's key handler, not to the window's dialog keys.
      const MSG* m = reinterpret_cast<const MSG*>(lp);
      LRESULT code = DefSubclassProc(hwnd_, msg, wp, lp);
      if (m && m->message == WM_KEYDOWN && m->wParam == VK_ESCAPE) code |= DLGC_WANTALLKEYS;
      return code;
    }
    case WM_KEYDOWN: {
      const int key = events_.keyDown ? events_.keyDown(static_cast<int>(wp)) : static_cast<int>(wp);
      if (key == 0) return 0;
      if (key == VK_LEFT || key == VK_RIGHT) {
        SetCurrentColumn(currentCol_ + (key == VK_RIGHT ? 1 : -1));
        return 0;
      }
      return DefSubclassProc(hwnd_, msg, static_cast<WPARAM>(key), lp);
    }
    case WM_CHAR: return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN: return OnMouseDown(msg, wp, lp);
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      LRESULT r = DefSubclassProc(hwnd_, msg, wp, lp);
      InvalidateRect(hwnd_, nullptr, FALSE);  // the current cell's colour depends on the focus
      return r;
    }
  }
  return DefSubclassProc(hwnd_, msg, wp, lp);
}

LRESULT TGrid::OnMouseDown(UINT msg, WPARAM wp, LPARAM lp) {
  LVHITTESTINFO hit{};
  hit.pt = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
  ListView_SubItemHitTest(hwnd_, &hit);
  if (hit.iItem < 0) {
    // Below the rows: the grid takes the focus and keeps its current cell.
    SetFocus(hwnd_);
    return 0;
  }
  const int before = FocusedRow();
  const int oldCol = currentCol_;
  currentCol_ = hit.iSubItem;
  // One row is selected at a time: no Ctrl or Shift clicks that clear it.
  LRESULT r = DefSubclassProc(hwnd_, msg, wp & ~static_cast<WPARAM>(MK_CONTROL | MK_SHIFT), lp);
  if (FocusedRow() == before && before >= 0 && currentCol_ != oldCol && events_.selectCell)
    events_.selectCell(currentCol_, before + 1);
  InvalidateRect(hwnd_, nullptr, FALSE);
  return r;
}

LRESULT TGrid::OnNotify(const NMHDR& hdr, bool& handled) {
  handled = true;
  switch (hdr.code) {
    case NM_CUSTOMDRAW: return OnCustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(&hdr)));
    case LVN_ITEMCHANGED: {
      const auto& n = reinterpret_cast<const NMLISTVIEW&>(hdr);
      if (!rebuilding_ && n.iItem >= 0 && (n.uChanged & LVIF_STATE) && (n.uNewState & LVIS_FOCUSED) &&
          !(n.uOldState & LVIS_FOCUSED) && events_.selectCell)
        events_.selectCell(currentCol_, n.iItem + 1);
      return 0;
    }
    case NM_DBLCLK:
      if (events_.dblClick) events_.dblClick();
      return 0;
  }
  handled = false;
  return 0;
}

LRESULT TGrid::OnCustomDraw(NMLVCUSTOMDRAW& cd) {
  switch (cd.nmcd.dwDrawStage) {
    case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: break;
    default: return CDRF_DODEFAULT;
  }
  const int row = static_cast<int>(cd.nmcd.dwItemSpec);
  const bool current = GetFocus() == hwnd_ && row == FocusedRow() && cd.iSubItem == currentCol_ &&
                       (ListView_GetItemState(hwnd_, row, LVIS_SELECTED) & LVIS_SELECTED);
  if (!current) return CDRF_DODEFAULT;
  // The current cell of the focused grid: the look's colour, the text inset, in the
  // grid's text colour, clipped to the cell (the grid lines stay).
  RECT r = CellRect(cd.iSubItem, row + 1);
  r.right -= 1;
  r.bottom -= 1;
  HBRUSH fill = CreateSolidBrush(Rgb(look::kCurrentCell));
  FillRect(cd.nmcd.hdc, &r, fill);
  DeleteObject(fill);
  const std::string text = Cell(cd.iSubItem, row + 1);
  HGDIOBJ oldFont = SelectObject(cd.nmcd.hdc, font_);
  SetBkMode(cd.nmcd.hdc, TRANSPARENT);
  COLORREF ink = ListView_GetTextColor(hwnd_);
  SetTextColor(cd.nmcd.hdc, ink == CLR_DEFAULT ? GetSysColor(COLOR_WINDOWTEXT) : ink);
  const int inset = Px(look::kCurrentCellTextInset);
  ExtTextOutA(cd.nmcd.hdc, r.left + inset, r.top + inset, ETO_CLIPPED, &r, text.c_str(), static_cast<UINT>(text.size()),
              nullptr);
  SelectObject(cd.nmcd.hdc, oldFont);
  return CDRF_SKIPDEFAULT;
}

}  // namespace win32
