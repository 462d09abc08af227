#include "RegFormDesign.h"

namespace {

using E = TMenuEntry;
using C = TCommand;
using S = TShortcut;

constexpr TMenuEntry kMainMenu[] = {
    {E::Menu, "File1", "&File"},
    {E::Item, "Open1", "Open calibration", C::Open1, S::CtrlO},
    {E::Item, "Save1", "Save calibration", C::Save1, S::CtrlS},
    {E::Separator, "", ""},
    {E::Item, "OpenImage1", "Open MRI image…", C::OpenImage1},
    {E::Separator, "", ""},
    {E::Item, "Exit1", "Exit", C::Exit1},
    {E::Menu, "Position1", "&Position"},
    {E::Item, "AddMRI1", "Add Row [MRI+FOB]", C::AddMRI1, S::F1},
    {E::Item, "AddRowMRIFOB1", "Delete Row [MRI+FOB]", C::AddRowMRIFOB1, S::F2},
    {E::Item, "ResampleMRI1", "Resample MRI", C::ResampleMRI1, S::F3},
    {E::Item, "ResampleFOB1", "Resample FOB", C::ResampleFOB1, S::F4},
    {E::Menu, "Mode1", "&Mode"},
    {E::Item, "CalibrateItem", "Switch betwen Calibrate and Track", C::CalibrateItem, S::F5, true, true},
    {E::Menu, "Tracker1", "&Tracker"},
    {E::Submenu, "Type1", "Type"},
    {E::Item, "FlockofBirdsMiniBird1", "Flock of Birds/MiniBird Point", C::FlockofBirdsMiniBird1, S::None,
     true, true, 0},
    {E::Item, "FlockofBirdsMiniBirdStream1", "Flock of Birds/MiniBird Stream",
     C::FlockofBirdsMiniBirdStream1, S::None, true, true, 1},
    {E::Item, "Fast1", "Fastrak", C::Fast1, S::None, true, true, 2},
    {E::EndSubmenu, "", ""},
    {E::Submenu, "Connection1", "Speed"},
    {E::Item, "N96001", "9600 bps", C::N96001, S::None, true, true, 9600},
    {E::Item, "N192001", "19200 bps", C::N192001, S::None, true, true, 19200},
    {E::Item, "N384001", "38400 bps", C::N384001, S::None, true, true, 38400},
    {E::Item, "N576001", "57600 bps", C::N576001, S::None, true, true, 57600},
    {E::Item, "N1152001", "115200 bps", C::N1152001, S::None, true, true, 115200},
    {E::EndSubmenu, "", ""},
    {E::PortMenu, "PortMenu", "Port"},
    {E::Submenu, "FlockRange1", "Flock range"},
    {E::Item, "FlockRange36", "36 inches (standard transmitter)", C::FlockRange36, S::None, true, true, 36},
    {E::Item, "FlockRange72", "72 inches", C::FlockRange72, S::None, true, true, 72},
    {E::Item, "FlockRange144", "144 inches (extended range)", C::FlockRange144, S::None, true, true, 144},
    {E::EndSubmenu, "", ""},
    {E::Submenu, "FastrakUnit1", "Fastrak unit"},
    {E::Item, "FastrakInches", "Inches", C::FastrakInches, S::None, true, true, 0},
    {E::Item, "FastrakCentimetres", "Centimetres", C::FastrakCentimetres, S::None, true, true, 1},
    {E::EndSubmenu, "", ""},
    {E::Item, "ResetConnectionMenu", "Reset Connection", C::ResetConnectionMenu, S::F6},
    {E::Separator, "", ""},
    {E::Item, "IgtlServer1", "OpenIGTLink server…", C::IgtlServer1},
    {E::Menu, "Help1", "&Help"},
    {E::Item, "About1", "About", C::About1},
    {E::Item, "AdvancedMenuItem", "Advanced Mode", C::AdvancedMenuItem, S::None, true, false},
};

constexpr TToolButton kToolColumn[] = {
    {C::OPenBtn, "OPenBtn", "Open calibration (Ctrl+O)", TGlyph::Open},
    {C::SaveBtn, "SaveBtn", "Save calibration (Ctrl+S)", TGlyph::Save},
    {C::AddBtn, "AddBtn", "Add row [MRI+FOB] (F1)", TGlyph::Add},
    {C::DeleteBtn, "DeleteBtn", "Delete row [MRI+FOB] (F2)", TGlyph::Delete},
};

}  // namespace

std::span<const TMenuEntry> MainMenu() { return kMainMenu; }

const TMenuEntry* MenuEntryOf(TCommand command) {
  for (const TMenuEntry& e : kMainMenu)
    if (e.kind == TMenuEntry::Item && e.command == command) return &e;
  return nullptr;
}

std::span<const TToolButton> ToolColumn() { return kToolColumn; }

const char* EditName(TEdit edit) {
  static const char* const names[kEditCount] = {"XEdit", "YEdit", "ZEdit", "desirex", "desirey", "desirez"};
  return names[static_cast<int>(edit)];
}
