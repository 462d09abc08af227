#pragma once
// A view of plain state for the controller: it keeps what a window's controls
// would show and raises the controls' events the way a window does (a spin edit
// whose value changes calls XEditChange; a grid whose current cell moves calls
// RegGridSelectCell).
#include <array>
#include <map>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "reg/RegFormView.h"
#include "reg/reg.h"

class TFakeView : public IRegFormView {
 public:
  TRegForm* form = nullptr;  // whose handlers the controls' events reach

  std::array<int32_t, kEditCount> edits{};
  int gridRows = 2;
  std::vector<std::array<std::string, 2>> cells = std::vector<std::array<std::string, 2>>(2);
  TGridSelection selection;  // of the grid
  int currentRow = 1;        // the grid's current cell
  int gridFocus = 0;         // FocusGrid calls
  std::string trackerLabel;
  bool trackerRed = false;
  int trackerLabelSets = 0;
  int closeRequests = 0;
  std::string distanceMm;
  std::optional<std::pair<std::string, int32_t>> serverAnswer;  // the server dialog's answer
  bool trackerStale = false;
  std::array<std::string, kStatusFieldCount> status;
  std::array<bool, kStatusFieldCount> statusRed{};
  int statusSets = 0;
  std::string formula, distance;
  std::array<bool, 6> visible{true, true, true, true, true, true};
  std::map<TCommand, bool> checked;
  std::vector<std::string> portCaptions;
  std::vector<bool> portChecked;
  std::string caption = "Zeltra";
  bool closed = false;
  bool timer = false;
  std::vector<std::string> progress;  // "begin <text> <ms>", "end"
  std::vector<std::string> report;
  int transformsShown = 0;
  std::vector<TCheckTableRow> checkRows;
  std::string checkSummary, checkWarning;

  int32_t& Edit(TEdit e) { return edits[static_cast<size_t>(e)]; }
  bool Checked(TCommand i) const { return checked.count(i) && checked.at(i); }
  TVoxel Edits() const { return {edits[0], edits[1], edits[2]}; }
  // The operator types a value into an edit.
  void Type(TEdit e, int32_t v) {
    if (Edit(e) == v) return;
    Edit(e) = v;
    form->XEditChange();
  }
  // The operator selects a cell (mouse or keys).
  void SelectCell(int col, int row) {
    selection = {row, col};
    if (row != currentRow) {
      currentRow = row;
      form->RegGridSelectCell(col, row);
    }
  }
  // A key pressed in the grid: what the grid itself then does with it.
  void GridKey(int key) {
    int seen = form->RegGridKeyDown(key);
    int rows = gridRows - 1;
    if (seen == kKeyDown && currentRow < rows) SelectCell(selection.left, currentRow + 1);
    if (seen == kKeyUp && currentRow > 1) SelectCell(selection.left, currentRow - 1);
  }

  int32_t EditValue(TEdit e) const override { return edits[static_cast<size_t>(e)]; }
  void SetEditValue(TEdit e, int32_t v) override { Type(e, v); }
  void SetGridRowCount(int rows) override {
    gridRows = rows;
    cells.resize(static_cast<size_t>(rows));
    if (currentRow >= rows) currentRow = rows - 1;
    if (selection.top >= rows) selection = {rows - 1, selection.left};
  }
  void SetGridCell(int col, int row, const std::string& text) override {
    cells.at(static_cast<size_t>(row))[static_cast<size_t>(col)] = text;
  }
  TGridSelection GridSelection() const override { return selection; }
  void SelectGridRow(int row) override { SelectCell(0, row); }
  void FocusGrid() override { ++gridFocus; }
  void SetTrackerLabel(const std::string& text, bool red) override {
    trackerLabel = text;
    trackerRed = red;
    ++trackerLabelSets;
  }
  void SetTrackerLabelStale(bool s) override { trackerStale = s; }
  void SetStatusText(TStatusField f, const std::string& text, bool red) override {
    status[static_cast<size_t>(f)] = text;
    statusRed[static_cast<size_t>(f)] = red;
    ++statusSets;
  }
  const std::string& Status(TStatusField f) const { return status[static_cast<size_t>(f)]; }
  bool StatusRed(TStatusField f) const { return statusRed[static_cast<size_t>(f)]; }
  void SetDistanceMmText(const std::string& text) override { distanceMm = text; }
  bool EditServerAddress(std::string& address, int32_t& port) override {
    if (!serverAnswer) return false;
    address = serverAnswer->first;
    port = serverAnswer->second;
    return true;
  }
  void SetFormulaText(const std::string& text) override { formula = text; }
  void SetDistanceText(const std::string& text) override { distance = text; }
  bool ControlVisible(TControl c) const override { return visible[static_cast<size_t>(c)]; }
  void SetControlVisible(TControl c, bool v) override { visible[static_cast<size_t>(c)] = v; }
  void SetItemChecked(TCommand i, bool c) override { checked[i] = c; }
  void AddPortItem(const std::string& caption) override {
    portCaptions.push_back(caption);
    portChecked.push_back(false);
  }
  void ClearPortItems() override {
    portCaptions.clear();
    portChecked.clear();
  }
  void SetPortItemChecked(int i, bool c) override { portChecked.at(static_cast<size_t>(i)) = c; }
  void SetCaption(const std::string& c) override { caption = c; }
  // As a window does: the close request asks the controller first.
  void CloseWindow() override {
    ++closeRequests;
    if (!form || form->FormCloseQuery()) closed = true;
  }
  void SetTimerEnabled(bool e) override { timer = e; }
  bool TimerEnabled() const override { return timer; }
  void BeginProgress(const std::string& text, int ms) override {
    progress.push_back("begin " + text + " " + std::to_string(ms));
  }
  void EndProgress() override { progress.push_back("end"); }
  void SetReportLines(const std::vector<std::string>& lines) override { report = lines; }
  void SetCheckTable(const std::vector<TCheckTableRow>& rows, const std::string& summary,
                     const std::string& warning) override {
    checkRows = rows;
    checkSummary = summary;
    checkWarning = warning;
  }
  void ShowTransforms() override { ++transformsShown; }
};
