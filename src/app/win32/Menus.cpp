#include "Menus.h"

#include <vector>

#include "ControlIds.h"
#include "Win32Util.h"
#include "reg/RegFormLook.h"

namespace win32 {

namespace {

// The virtual key of a shortcut's key.
WORD VirtualKey(const TShortcutKey& k) {
  return k.functionKey ? static_cast<WORD>(VK_F1 + k.functionKey - 1) : static_cast<WORD>(k.letter);
}

}  // namespace

TMainMenu BuildMainMenu() {
  TMainMenu m;
  m.bar = CreateMenu();
  std::vector<HMENU> open;  // the open menu and submenus, innermost last
  for (const TMenuEntry& e : MainMenu()) {
    switch (e.kind) {
      case TMenuEntry::Menu: {
        HMENU popup = CreatePopupMenu();
        AppendMenuW(m.bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), Widen(e.caption).c_str());
        open = {popup};
        break;
      }
      case TMenuEntry::Submenu:
      case TMenuEntry::PortMenu: {
        HMENU popup = CreatePopupMenu();
        AppendMenuW(open.back(), MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), Widen(e.caption).c_str());
        if (e.kind == TMenuEntry::PortMenu)
          m.portMenu = popup;
        else
          open.push_back(popup);
        break;
      }
      case TMenuEntry::EndSubmenu: open.pop_back(); break;
      case TMenuEntry::Separator: AppendMenuA(open.back(), MF_SEPARATOR, 0, nullptr); break;
      case TMenuEntry::Item: {
        std::string caption = e.caption;
        if (e.shortcut != TShortcut::None) caption = caption + "\t" + ShortcutText(e.shortcut);
        std::wstring text = Widen(caption);
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        info.fType = MFT_STRING | (e.radio ? MFT_RADIOCHECK : 0);
        info.wID = static_cast<UINT>(win32ids::CommandId(e.command));
        info.dwTypeData = text.data();
        InsertMenuItemW(open.back(), GetMenuItemCount(open.back()), TRUE, &info);
        break;
      }
    }
  }
  return m;
}

HACCEL BuildAccelerators() {
  std::vector<ACCEL> table;
  for (const TMenuEntry& e : MainMenu()) {
    if (e.kind != TMenuEntry::Item) continue;
    if (const TShortcutKey* k = ShortcutKey(e.shortcut))
      table.push_back({static_cast<BYTE>(FVIRTKEY | (k->ctrl ? FCONTROL : 0)), VirtualKey(*k),
                       static_cast<WORD>(win32ids::CommandId(e.command))});
  }
  return CreateAcceleratorTableA(table.data(), static_cast<int>(table.size()));
}

bool CommandOfId(int id, TCommand& command) {
  const int index = id - win32ids::kCommandIdBase;
  if (index < 0 || index > static_cast<int>(TCommand::FastrakCentimetres)) return false;
  command = static_cast<TCommand>(index);
  return true;
}

}  // namespace win32
