// zeltra-wininspect: reads the running zeltra.exe's window from another process of
// the same Wine prefix (or Windows session), for the end-to-end test.
//   zeltra-wininspect text NAME            the text of a control ("caption": the main
//                                          window's caption); line ends as "\n"
//   zeltra-wininspect wait [-t MS] NAME TEXT [NAME TEXT ...]
//                                          waits (5000 ms) until each control's text is
//                                          its TEXT; a TEXT ending in '*' is a prefix
//   zeltra-wininspect visible NAME         1 or 0
//   zeltra-wininspect rect NAME            the control's screen rectangle "X Y W H"
//   zeltra-wininspect grid                 the grid's rows "MRI|tracker", header first
//   zeltra-wininspect settext NAME TEXT    sets an edit's text (as typing would)
//   zeltra-wininspect box [MS]             waits for the program's message box, prints its text
//   zeltra-wininspect box-ok [MS]          the same, then presses its OK button
//   zeltra-wininspect box-press BUTTON [MS]  the same, then presses the button with
//                                          that text (without its '&': Save, Discard)
// NAME is a control's name in the window's design (XEdit, dxFOBlabel, CoregMemo, ...);
// "caption" is the main window itself and "Transforms" the Transforms window.
// Exit status 0 on success, 1 when the window, the control or the wait failed, 2
// for a usage error.
#include <windows.h>
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "ControlIds.h"
#include "reg/RegFormDesign.h"

namespace {

std::string Text(HWND h) {
  std::vector<char> buf(static_cast<size_t>(SendMessageA(h, WM_GETTEXTLENGTH, 0, 0)) + 2, '\0');
  SendMessageA(h, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()));
  std::string s;
  for (const char* p = buf.data(); *p; ++p)
    if (*p != '\r') s += *p;
  return s;
}

HWND MainWindow() { return FindWindowA(win32ids::kMainClass, nullptr); }

// The identifier of a control by its name in the window's design: the spin edits
// and the buttons by the design's tables, the other controls by the list below;
// -1 for no such name.
int ControlId(const std::string& name) {
  for (int e = 0; e < kEditCount; ++e)
    if (name == EditName(static_cast<TEdit>(e))) return win32ids::EditId(static_cast<TEdit>(e));
  for (const TToolButton& b : ToolColumn())
    if (name == b.name) return win32ids::CommandId(b.command);
  static const std::pair<const char*, int> others[] = {
      {"RegGrid", win32ids::kIdRegGrid},
      {"CoolBar1", win32ids::kIdCoolBar1},
      {"ToolBar2", win32ids::kIdToolBar2},
      {"TrackPanel", win32ids::kIdTrackPanel},
      {"dxFOBlabel", win32ids::kIdTrackerLabel},
      {"FormulaLabel", win32ids::kIdFormulaLabel},
      {"DistanceLabel", win32ids::kIdDistanceLabel},
      {"CoregMemo", win32ids::kIdCoregMemo},
      {"CheckTable", win32ids::kIdCheckTable},
      {"CheckSummary", win32ids::kIdCheckSummary},
      {"CheckWarning", win32ids::kIdCheckWarning},
      {"CheckLegend", win32ids::kIdCheckLegend},
      {"StatusLine", win32ids::kIdStatusLine},
      {"DistanceMmLabel", win32ids::kIdDistanceMmLabel},
      {"QueryOrSampleBtn", win32ids::CommandId(TCommand::QueryOrSampleBtn)},
      {"SpeedButton1", win32ids::CommandId(TCommand::SpeedButton1)},
  };
  for (auto [n, id] : others)
    if (name == n) return id;
  return -1;
}

struct TIdSearch {
  int id;
  HWND found;
};

BOOL CALLBACK MatchId(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<TIdSearch*>(p);
  if (GetDlgCtrlID(h) != s->id) return TRUE;
  s->found = h;
  return FALSE;
}

// The first descendant of `root` with this control identifier (panels nest).
HWND FindDescendant(HWND root, int id) {
  TIdSearch search{id, nullptr};
  EnumChildWindows(root, MatchId, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The named control in the main window or the Transforms window.
HWND Control(const std::string& name) {
  if (name == "caption") return MainWindow();
  if (name == "Transforms") return FindWindowA(win32ids::kTransformsClass, nullptr);
  const int id = ControlId(name);
  if (id < 0) {
    std::fprintf(stderr, "zeltra-wininspect: no control named %s\n", name.c_str());
    std::exit(2);
  }
  for (const char* cls : {win32ids::kMainClass, win32ids::kTransformsClass})
    if (HWND w = FindWindowA(cls, nullptr))
      if (HWND c = FindDescendant(w, id)) return c;
  return nullptr;
}

HWND Required(const std::string& name) {
  HWND h = Control(name);
  if (!h) {
    std::fprintf(stderr, "zeltra-wininspect: %s not found (is zeltra.exe running?)\n", name.c_str());
    std::exit(1);
  }
  return h;
}

// Memory in the window's process that its list view can write an item's text into.
class TRemoteBuffer {
 public:
  explicit TRemoteBuffer(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_) memory_ = static_cast<char*>(VirtualAllocEx(process_, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
  }
  ~TRemoteBuffer() {
    if (memory_) VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  bool Ok() const { return memory_ != nullptr; }
  // Sends `message` with a copy of `request` (whose text buffer points behind it) and
  // returns the text the control wrote there.
  template <typename Request>
  std::string Ask(HWND h, UINT message, WPARAM wp, Request request) {
    char* text = memory_ + sizeof(Request);
    request.pszText = text;
    request.cchTextMax = 1024;
    char zero = 0;
    WriteProcessMemory(process_, text, &zero, 1, nullptr);
    WriteProcessMemory(process_, memory_, &request, sizeof request, nullptr);
    SendMessageA(h, message, wp, reinterpret_cast<LPARAM>(memory_));
    char buf[1025] = "";
    ReadProcessMemory(process_, text, buf, 1024, nullptr);
    return buf;
  }

 private:
  HANDLE process_ = nullptr;
  char* memory_ = nullptr;
};

int Grid() {
  HWND grid = Required("RegGrid");
  TRemoteBuffer remote(grid);
  if (!remote.Ok()) {
    std::fprintf(stderr, "zeltra-wininspect: cannot reach the window's memory\n");
    return 1;
  }
  std::string cells[2];
  for (int c = 0; c < 2; ++c) {
    LVCOLUMNA col{};
    col.mask = LVCF_TEXT;
    cells[c] = remote.Ask(grid, LVM_GETCOLUMNA, c, col);
  }
  std::printf("%s|%s\n", cells[0].c_str(), cells[1].c_str());
  const int rows = static_cast<int>(SendMessageA(grid, LVM_GETITEMCOUNT, 0, 0));
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < 2; ++c) {
      LVITEMA item{};
      item.iSubItem = c;
      cells[c] = remote.Ask(grid, LVM_GETITEMTEXTA, r, item);
    }
    std::printf("%s|%s\n", cells[0].c_str(), cells[1].c_str());
  }
  return 0;
}

// The visible message box (a dialog) of the process that runs the main window.
struct TBoxSearch {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK MatchBox(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<TBoxSearch*>(p);
  char cls[64] = "";
  GetClassNameA(h, cls, sizeof cls);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid != s->pid || std::strcmp(cls, "#32770") != 0 || !IsWindowVisible(h) ||
      !(GetDlgItem(h, IDOK) || GetDlgItem(h, IDCANCEL)))  // OK, or Yes / No / Cancel
    return TRUE;
  s->found = h;
  return FALSE;
}

HWND MessageBoxWindow() {
  HWND main = MainWindow();
  if (!main) return nullptr;
  TBoxSearch s{0, nullptr};
  GetWindowThreadProcessId(main, &s.pid);
  EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

std::string BoxText(HWND box) {
  std::string text;
  for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    char cls[64] = "";
    GetClassNameA(c, cls, sizeof cls);
    std::string t = Text(c);
    if (_stricmp(cls, "Static") == 0 && t.size() > text.size()) text = t;
  }
  return text;
}

// The identifier of the box's button with this text ('&' left out); 0 when none.
int BoxButton(HWND box, const std::string& caption) {
  for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    char cls[64] = "";
    GetClassNameA(c, cls, sizeof cls);
    std::string t;
    for (char ch : Text(c))
      if (ch != '&') t += ch;
    if (_stricmp(cls, "Button") == 0 && t == caption) return GetDlgCtrlID(c);
  }
  return 0;
}

template <typename Pred>
bool WaitFor(DWORD ms, Pred pred) {
  const DWORD end = GetTickCount() + ms;
  for (;;) {
    if (pred()) return true;
    if (static_cast<LONG>(GetTickCount() - end) >= 0) return false;
    Sleep(20);
  }
}

int Usage() {
  std::fprintf(stderr,
               "usage: zeltra-wininspect text NAME | wait [-t MS] NAME TEXT... | visible NAME | rect NAME | grid |\n"
               "                         settext NAME TEXT | box [MS] | box-ok [MS] |\n"
               "                         box-press BUTTON [MS]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Lines end in "\n" alone, as on Linux.
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 2) return Usage();
  const std::string cmd = argv[1];
  if (cmd == "text" && argc == 3) {
    std::printf("%s\n", Text(Required(argv[2])).c_str());
    return 0;
  }
  if (cmd == "wait" && argc >= 4) {
    int first = 2;
    DWORD ms = 5000;
    if (std::strcmp(argv[2], "-t") == 0) {
      ms = static_cast<DWORD>(std::atoi(argv[3]));
      first = 4;
    }
    if ((argc - first) % 2 != 0 || argc == first) return Usage();
    std::string name, want, last;
    const bool ok = WaitFor(ms, [&] {
      for (int i = first; i < argc; i += 2) {
        name = argv[i];
        want = argv[i + 1];
        HWND h = Control(name);
        last = h ? Text(h) : "(no such window)";
        const bool prefix = !want.empty() && want.back() == '*';
        if (!h || (prefix ? last.rfind(want.substr(0, want.size() - 1), 0) != 0 : last != want)) return false;
      }
      return true;
    });
    if (!ok)
      std::fprintf(stderr, "zeltra-wininspect: %s is \"%s\", not \"%s\"\n", name.c_str(), last.c_str(), want.c_str());
    return ok ? 0 : 1;
  }
  if (cmd == "visible" && argc == 3) {
    std::printf("%d\n", IsWindowVisible(Required(argv[2])) ? 1 : 0);
    return 0;
  }
  if (cmd == "rect" && argc == 3) {
    RECT r;
    GetWindowRect(Required(argv[2]), &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return 0;
  }
  if (cmd == "grid" && argc == 2) return Grid();
  if (cmd == "settext" && argc == 4) {
    SendMessageA(Required(argv[2]), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3]));
    return 0;
  }
  if ((cmd == "box" || cmd == "box-ok") && argc <= 3) {
    HWND box = nullptr;
    if (!WaitFor(argc == 3 ? std::atoi(argv[2]) : 5000, [&] { return (box = MessageBoxWindow()) != nullptr; })) {
      std::fprintf(stderr, "zeltra-wininspect: no message box\n");
      return 1;
    }
    std::printf("%s\n", BoxText(box).c_str());
    if (cmd == "box-ok") PostMessageA(box, WM_COMMAND, IDOK, 0);
    return 0;
  }
  if (cmd == "box-press" && (argc == 3 || argc == 4)) {
    HWND box = nullptr;
    if (!WaitFor(argc == 4 ? std::atoi(argv[3]) : 5000, [&] { return (box = MessageBoxWindow()) != nullptr; })) {
      std::fprintf(stderr, "zeltra-wininspect: no message box\n");
      return 1;
    }
    std::printf("%s\n", BoxText(box).c_str());
    const int id = BoxButton(box, argv[2]);
    if (!id) {
      std::fprintf(stderr, "zeltra-wininspect: the box has no button %s\n", argv[2]);
      return 1;
    }
    PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(id), 0);
    return 0;
  }
  return Usage();
}
