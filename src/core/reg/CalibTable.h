#pragma once
// The calibration table as the grid shows it: the row count (the header row
// included, as in the grid) and two cell texts per data row, always written
// together with PointTable. The window mirrors every change into its grid through
// ICalibTableView.
#include <string>
#include <vector>

#include "CalibFile.h"
#include "Types.h"

class ICalibTableView {
 public:
  virtual ~ICalibTableView() = default;
  virtual void RowCountChanged(int rowCount) = 0;  // header row included
  virtual void CellChanged(int col, int row, const std::string& text) = 0;
};

class TCalibTable {
 public:
  // Grid rows at most while adding: a header and 125 data rows.
  static constexpr int kMaxAddRows = 126;

  // The start state: the header and one empty data row (PointTable is not touched).
  explicit TCalibTable(ICalibTableView* view = nullptr);

  void SetView(ICalibTableView* view) { view_ = view; }

  int RowCount() const { return static_cast<int>(cells_.size()); }
  int DataRows() const { return RowCount() - 1; }
  // Cell text of column 0 (MRI) or 1 (tracker) of a row; row 0 is the header.
  const std::string& Cell(int col, int row) const;
  void SetHeader(const std::string& col0, const std::string& col1);

  // Set the cell text and the stored numbers of one half of a row (1..127).
  void SetMRIcell(int row, int32_t x, int32_t y, int32_t z);
  void SetFOBcell(int row, int32_t x, int32_t y, int32_t z);

  enum class TAddResult { FilledEmptyRow, AddedRow, Full };
  // Takes the pair whole: the tracker half first, then the MRI half. The first add
  // fills the empty start row; beyond 125 data rows nothing changes (Full).
  TAddResult Add(const TVoxel& mri, const TTrackerReading& fob);
  // Deletes data row `top`, moving the rows below it up. False (nothing done) when
  // only one data row is left or `top` is not a data row.
  bool Delete(int top);
  // Replace one half of a data row; nothing when `row` is not a data row.
  void ResampleMRI(int row, const TVoxel& mri);
  void ResampleFOB(int row, const TTrackerReading& fob);

  // Replaces the rows by a loaded calibration (already checked to fit). A calibration
  // without point lines leaves the empty start row.
  void Load(const TCalibration& calibration);

 private:
  void SetRowCount(int rows);
  void SetCell(int col, int row, std::string text);

  ICalibTableView* view_;
  std::vector<std::pair<std::string, std::string>> cells_;  // [row] = {MRI, tracker}
};
