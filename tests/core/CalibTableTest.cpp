// The calibration table: rows, cell texts and PointTable always change together.
#include <gtest/gtest.h>

#include "math/RegMult.h"
#include "reg/CalibTable.h"

namespace {

// Records what the grid would be told.
class RecordingView : public ICalibTableView {
 public:
  void RowCountChanged(int rows) override { rowCount = rows; }
  void CellChanged(int col, int row, const std::string& text) override {
    ++cellWrites;
    last = {col, row, text};
  }
  int rowCount = -1;
  int cellWrites = 0;
  struct {
    int col = -1, row = -1;
    std::string text;
  } last;
};

class CalibTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto& p : PointTable) p = TPointPair{};
    table.SetView(&view);
  }
  // Every data row's cells show exactly what PointTable holds.
  void ExpectCellsMatchStore() {
    for (int r = 1; r < table.RowCount(); ++r) {
      const TPointPair& p = PointTable[r];
      EXPECT_EQ(table.Cell(0, r), std::to_string(p.MRIx) + ":" + std::to_string(p.MRIy) + ":" +
                                      std::to_string(p.MRIz))
          << "row " << r;
      EXPECT_EQ(table.Cell(1, r), std::to_string(p.FOBx) + ":" + std::to_string(p.FOBy) + ":" +
                                      std::to_string(p.FOBz))
          << "row " << r;
    }
  }
  void AddRows(int n) {
    for (int i = 1; i <= n; ++i) table.Add({i, -i, 100 + i}, {1000 * i, -1000 * i, i});
  }
  RecordingView view;
  TCalibTable table;
};

TEST_F(CalibTableTest, FirstAddFillsTheEmptyRowAndTheSecondCreatesRowTwo) {
  EXPECT_EQ(table.RowCount(), 2);
  EXPECT_EQ(table.Add({1, 2, 3}, {10, 20, 30}), TCalibTable::TAddResult::FilledEmptyRow);
  EXPECT_EQ(table.RowCount(), 2);
  EXPECT_EQ(table.Cell(0, 1), "1:2:3");
  EXPECT_EQ(table.Cell(1, 1), "10:20:30");
  EXPECT_EQ(view.last.col, 0) << "the MRI half is written last";
  EXPECT_EQ(table.Add({-3, 0, -120}, {4, 5, 6}), TCalibTable::TAddResult::AddedRow);
  EXPECT_EQ(table.RowCount(), 3);
  EXPECT_EQ(view.rowCount, 3);
  EXPECT_EQ(table.Cell(0, 2), "-3:0:-120");
  EXPECT_EQ(PointTable[2], (TPointPair{-3, 0, -120, 4, 5, 6}));
}

TEST_F(CalibTableTest, AddStopsAtOneHundredTwentyFiveRows) {
  AddRows(125);
  EXPECT_EQ(table.RowCount(), 126);
  int writes = view.cellWrites;
  EXPECT_EQ(table.Add({9, 9, 9}, {9, 9, 9}), TCalibTable::TAddResult::Full);
  EXPECT_EQ(table.RowCount(), 126);
  EXPECT_EQ(view.cellWrites, writes);
  EXPECT_EQ(PointTable[126], TPointPair{}) << "nothing written past the last row";
  ExpectCellsMatchStore();
}

TEST_F(CalibTableTest, DeleteShiftsBothHalvesUp) {
  AddRows(4);
  ASSERT_TRUE(table.Delete(2));
  EXPECT_EQ(table.RowCount(), 4);
  EXPECT_EQ(table.Cell(0, 1), "1:-1:101");
  EXPECT_EQ(table.Cell(0, 2), "3:-3:103");
  EXPECT_EQ(table.Cell(1, 2), "3000:-3000:3");
  EXPECT_EQ(table.Cell(0, 3), "4:-4:104");
  ExpectCellsMatchStore();
}

TEST_F(CalibTableTest, DeleteTheLastRowAndNeverTheOnlyOne) {
  AddRows(2);
  ASSERT_TRUE(table.Delete(2));
  EXPECT_EQ(table.RowCount(), 2);
  EXPECT_EQ(table.Cell(0, 1), "1:-1:101");
  EXPECT_FALSE(table.Delete(1));
  EXPECT_EQ(table.RowCount(), 2);
  EXPECT_FALSE(table.Delete(0)) << "the header is no data row";
}

TEST_F(CalibTableTest, ResampleReplacesOnlyItsOwnHalf) {
  AddRows(3);
  table.ResampleMRI(2, {7, 8, 9});
  EXPECT_EQ(table.Cell(0, 2), "7:8:9");
  EXPECT_EQ(table.Cell(1, 2), "2000:-2000:2");
  EXPECT_EQ(PointTable[2], (TPointPair{7, 8, 9, 2000, -2000, 2}));
  table.ResampleFOB(3, {-1, -2, -3});
  EXPECT_EQ(table.Cell(0, 3), "3:-3:103");
  EXPECT_EQ(PointTable[3], (TPointPair{3, -3, 103, -1, -2, -3}));
  int writes = view.cellWrites;
  table.ResampleFOB(0, {1, 1, 1});
  table.ResampleMRI(4, {1, 1, 1});
  EXPECT_EQ(view.cellWrites, writes) << "no data row selected: nothing happens";
}

TEST_F(CalibTableTest, LoadReplacesRowsAndKeepsAnEmptyRowWithoutPointLines) {
  AddRows(5);
  TCalibration c;
  c.rows = {{12, -4, 87, 1503, -2210, 455}, {20, -4, 80, 1498, -1377, 452}};
  table.Load(c);
  EXPECT_EQ(table.RowCount(), 3);
  EXPECT_EQ(table.Cell(0, 2), "20:-4:80");
  ExpectCellsMatchStore();
  table.Load(TCalibration{});
  EXPECT_EQ(table.RowCount(), 2);
  EXPECT_EQ(table.Cell(0, 1), "");
  EXPECT_EQ(table.Cell(1, 1), "");
  EXPECT_EQ(PointTable[1], TPointPair{});
  EXPECT_EQ(table.Add({1, 1, 1}, {2, 2, 2}), TCalibTable::TAddResult::FilledEmptyRow);
}

TEST_F(CalibTableTest, LoadOfAFullFileUsesAllButTheLastEntry) {
  TCalibration c;
  for (int i = 0; i < 126; ++i) c.rows.push_back({i, i, i, i, i, i});
  table.Load(c);
  EXPECT_EQ(table.RowCount(), 127);
  EXPECT_EQ(PointTable[126], (TPointPair{125, 125, 125, 125, 125, 125}));
  ExpectCellsMatchStore();
  // A full table refuses Add.
  EXPECT_EQ(table.Add({1, 1, 1}, {1, 1, 1}), TCalibTable::TAddResult::Full);
}

}  // namespace
