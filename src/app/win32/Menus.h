#pragma once
// The main menu and the accelerator table, both built from the design's menu
// table (MainMenu()) and the look's shortcut keys: every item raises WM_COMMAND
// with CommandId(its TCommand), from the menu or from its shortcut alike.
#include <windows.h>

#include <string>

#include "reg/RegFormDesign.h"

namespace win32 {

struct TMainMenu {
  HMENU bar = nullptr;
  HMENU portMenu = nullptr;  // the Port submenu, filled at start-up
};
TMainMenu BuildMainMenu();

// The accelerator table of every shortcut of the menu (F1 to F6, Ctrl+O, Ctrl+S).
HACCEL BuildAccelerators();

// The command of a menu or accelerator identifier; false when it is none.
bool CommandOfId(int id, TCommand& command);

}  // namespace win32
