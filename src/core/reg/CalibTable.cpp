#include "CalibTable.h"

#include "TrackView.h"
#include "math/RegMult.h"

TCalibTable::TCalibTable(ICalibTableView* view) : view_(view), cells_(2) {}

const std::string& TCalibTable::Cell(int col, int row) const {
  static const std::string empty;
  if (row < 0 || row >= RowCount()) return empty;
  return col == 0 ? cells_[row].first : cells_[row].second;
}

void TCalibTable::SetHeader(const std::string& col0, const std::string& col1) {
  SetCell(0, 0, col0);
  SetCell(1, 0, col1);
}

void TCalibTable::SetCell(int col, int row, std::string text) {
  if (row < 0 || row >= RowCount()) return;
  (col == 0 ? cells_[row].first : cells_[row].second) = std::move(text);
  if (view_) view_->CellChanged(col, row, Cell(col, row));
}

void TCalibTable::SetRowCount(int rows) {
  cells_.resize(static_cast<size_t>(rows));
  if (view_) view_->RowCountChanged(rows);
}

void TCalibTable::SetMRIcell(int row, int32_t x, int32_t y, int32_t z) {
  if (row < 1 || row > kPointTableEntries) return;
  PointTable[row].MRIx = x;
  PointTable[row].MRIy = y;
  PointTable[row].MRIz = z;
  SetCell(0, row, CellText(x, y, z));
}

void TCalibTable::SetFOBcell(int row, int32_t x, int32_t y, int32_t z) {
  if (row < 1 || row > kPointTableEntries) return;
  PointTable[row].FOBx = x;
  PointTable[row].FOBy = y;
  PointTable[row].FOBz = z;
  SetCell(1, row, CellText(x, y, z));
}

TCalibTable::TAddResult TCalibTable::Add(const TVoxel& mri, const TTrackerReading& fob) {
  int last = RowCount() - 1;
  TAddResult result = TAddResult::FilledEmptyRow;
  if (!(Cell(0, last).empty() && Cell(1, last).empty())) {
    if (RowCount() + 1 >= kMaxAddRows + 1) return TAddResult::Full;
    SetRowCount(RowCount() + 1);
    last = RowCount() - 1;
    result = TAddResult::AddedRow;
  }
  SetFOBcell(last, fob.FOBx, fob.FOBy, fob.FOBz);
  SetMRIcell(last, mri.x, mri.y, mri.z);
  return result;
}

bool TCalibTable::Delete(int top) {
  if (RowCount() < 3 || top < 1 || top >= RowCount()) return false;
  for (int r = top; r < RowCount() - 1; ++r) {
    const TPointPair next = PointTable[r + 1];
    SetFOBcell(r, next.FOBx, next.FOBy, next.FOBz);
    SetMRIcell(r, next.MRIx, next.MRIy, next.MRIz);
  }
  SetRowCount(RowCount() - 1);
  return true;
}

void TCalibTable::ResampleMRI(int row, const TVoxel& mri) {
  if (row < 1 || row >= RowCount()) return;
  SetMRIcell(row, mri.x, mri.y, mri.z);
}

void TCalibTable::ResampleFOB(int row, const TTrackerReading& fob) {
  if (row < 1 || row >= RowCount()) return;
  SetFOBcell(row, fob.FOBx, fob.FOBy, fob.FOBz);
}

void TCalibTable::Load(const TCalibration& calibration) {
  int count = static_cast<int>(calibration.rows.size());
  if (count > kPointTableEntries - 1) count = kPointTableEntries - 1;
  if (count == 0) {
    // No point line: keep the start state's single empty row.
    SetRowCount(2);
    PointTable[1] = TPointPair{};
    SetCell(0, 1, "");
    SetCell(1, 1, "");
    return;
  }
  SetRowCount(count + 1);
  for (int r = 1; r <= count; ++r) {
    const TPointPair& p = calibration.rows[static_cast<size_t>(r - 1)];
    SetMRIcell(r, p.MRIx, p.MRIy, p.MRIz);
    SetFOBcell(r, p.FOBx, p.FOBy, p.FOBz);
  }
}
