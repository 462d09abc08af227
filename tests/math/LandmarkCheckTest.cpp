// The landmark check on registrations fitted by FitRegistration: a moved landmark,
// the spread warnings, five rows, and the texts the windows and zeltra-fit show.
// (The numbers against LAPACK: LandmarkReferenceTest.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "LandmarkCheck.h"
#include "LandmarkTestData.h"
#include "MathTestSupport.h"
#include "RegMult.h"

using namespace landmarktest;
using namespace mathtest;

namespace {

class LandmarkCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memcpy(savedTable_, PointTable, sizeof PointTable);
    std::memcpy(savedCoef_, RegCoef, sizeof RegCoef);
  }
  void TearDown() override {
    std::memcpy(PointTable, savedTable_, sizeof PointTable);
    std::memcpy(RegCoef, savedCoef_, sizeof RegCoef);
  }
  // The fit as the window runs it, then the check; positions that cannot
  // determine the map are refused, and the check takes the solver's fit.
  TLandmarkCheck Fit(int n, bool determined = true) {
    RecordingPresenter messages;
    std::vector<std::string> report;
    EXPECT_EQ(FitRegistration(n, report, messages), determined);
    if (!determined) SolverCoefficients(PointTable, n, RegCoef);
    return CheckLandmarks(PointTable, n, RegCoef);
  }

 private:
  TPointPair savedTable_[kPointTableEntries + 1];
  double savedCoef_[3][4];
};

}  // namespace

TEST_F(LandmarkCheckTest, MovedLandmarkIsTheWorst) {
  const int n = 25, moved = 7;
  FillCalibration(PointTable, n, Layout::Offset, 11, 0.5);
  PointTable[moved].MRIx += 12;  // 20 voxels away from where it belongs
  PointTable[moved].MRIy -= 16;
  const TLandmarkCheck c = Fit(n);
  ASSERT_EQ(c.rows.size(), static_cast<size_t>(n));
  EXPECT_EQ(c.worstRow, moved);
  const double loo = c.rows[moved - 1].leaveOneOut;
  double others = 0;
  for (const TLandmarkRow& r : c.rows) {
    ASSERT_TRUE(r.hasLeaveOneOut);
    // The fit of the others is never closer to a row than the fit of all.
    EXPECT_GE(r.leaveOneOut, r.length * (1 - 1e-12)) << r.row;
    if (r.row != moved) others = std::max(others, r.leaveOneOut);
  }
  // The others' fit does not contain the move, so it sees the 20 voxels in full.
  EXPECT_NEAR(loo, 20, 2.5);
  EXPECT_GT(loo, 4 * others);
  EXPECT_EQ(c.maxLeaveOneOut, loo);
  const std::string summary = LandmarkSummaryText(c);
  EXPECT_EQ(summary.substr(summary.size() - 7), "(row 7)") << summary;
  const std::vector<std::string> lines = LandmarkCheckLines(c);
  int marked = 0;
  for (size_t i = 0; i < c.rows.size(); ++i)
    if (LandmarkCells(c, i).worst) {
      ++marked;
      EXPECT_EQ(c.rows[i].row, moved);
      EXPECT_NE(lines[2 + i].find("worst"), std::string::npos) << lines[2 + i];
    }
  EXPECT_EQ(marked, 1);
}

TEST_F(LandmarkCheckTest, SpreadWarnings) {
  struct Case {
    Layout layout;
    int n;
    const char* warning;  // the shape named, or "" for none
  };
  const Case cases[] = {{Layout::Spread, 12, ""},       {Layout::Offset, 40, ""},
                        {Layout::ThickSlab, 25, ""},    {Layout::Slab, 25, "plane"},
                        {Layout::Plane, 9, "plane"},    {Layout::TiltedPlane, 12, "plane"},
                        {Layout::Rod, 25, "line"},      {Layout::Line, 12, "line"}};
  unsigned seed = 100;
  for (const Case& k : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(k.layout)) + " n " + std::to_string(k.n));
    FillCalibration(PointTable, k.n, k.layout, seed++);
    const TLandmarkCheck c = Fit(k.n, !Undetermined(k.layout));
    const double flat = c.smallestSpread / c.largestSpread, thin = c.middleSpread / c.largestSpread;
    const std::string shape = k.warning;
    if (shape.empty()) {
      EXPECT_EQ(c.warning, "");
      EXPECT_GE(flat, kPlaneSpreadRatio);
    } else {
      EXPECT_EQ(c.warning.rfind("Warning: the landmarks lie close to a " + shape + " ", 0), 0u)
          << c.warning;
      EXPECT_EQ(LandmarkCheckLines(c).back(), c.warning);
      EXPECT_LT(shape == "line" ? thin : flat, 0.1);
    }
    if (k.layout == Layout::Plane || k.layout == Layout::TiltedPlane) {
      EXPECT_LE(flat, 1e-12);
      // In-plane rows are still predicted by the others.
      EXPECT_TRUE(c.hasLeaveOneOut);
      EXPECT_LT(c.maxLeaveOneOut, 10);
    }
  }
}

TEST_F(LandmarkCheckTest, FiveRowsHaveResidualsButNoLeaveOneOut) {
  FillCalibration(PointTable, 5, Layout::Offset, 3);
  const TLandmarkCheck c = Fit(5);
  ASSERT_EQ(c.rows.size(), 5u);
  EXPECT_FALSE(c.hasLeaveOneOut);
  EXPECT_EQ(c.worstRow, 0);
  // Least-squares residuals are orthogonal to every column of the design.
  for (int axis = 0; axis < 3; ++axis)
    for (int column = 0; column < 4; ++column) {
      long double dot = 0, scale = 0;
      for (int i = 1; i <= 5; ++i) {
        const TPointPair& p = PointTable[i];
        const double x = column == 0 ? 1.0 : column == 1 ? p.FOBx : column == 2 ? p.FOBy : p.FOBz;
        dot += x * c.rows[i - 1].residual[axis];
        scale += std::fabs(x * c.rows[i - 1].residual[axis]);
      }
      EXPECT_LE(std::fabs(dot), 1e-9 * scale) << "axis " << axis << " column " << column;
    }
  long double sq = 0;
  for (size_t i = 0; i < 5; ++i) {
    const TLandmarkRow& r = c.rows[i];
    EXPECT_EQ(r.row, static_cast<int>(i) + 1);
    EXPECT_FALSE(r.hasLeaveOneOut);
    EXPECT_GT(r.length, 0);
    EXPECT_NEAR(r.length, std::hypot(r.residual[0], r.residual[1], r.residual[2]), 1e-12);
    sq += r.length * r.length;
    const TLandmarkCells cells = LandmarkCells(c, i);
    EXPECT_EQ(cells.leaveOneOut, "n/a");
    EXPECT_EQ(cells.residual, FormatVoxels(r.length));
    EXPECT_FALSE(cells.worst);
  }
  EXPECT_NEAR(c.rmsResidual, std::sqrt(sq / 5), 1e-12);
  EXPECT_EQ(LandmarkSummaryText(c),
            "RMS residual " + FormatVoxels(c.rmsResidual) + "; leave-one-out n/a (it needs at least 6 rows)");
  const std::string csv = LandmarkCheckCsv(c);
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 6);
  EXPECT_EQ(csv.rfind(",\n"), csv.size() - 2);  // the last field empty
}

TEST(LandmarkFormat, VoxelsAndTheEmptyCheck) {
  struct Case {
    double v;
    const char* text;
  };
  const Case cases[] = {{0, "0.000"},      {-0.0004, "0.000"},     {0.0005, "0.001"},
                        {-1.5, "-1.500"},  {20.12349, "20.123"},   {-0.0006, "-0.001"},
                        {123456.7891, "123456.789"}};
  for (const Case& k : cases) EXPECT_EQ(FormatVoxels(k.v), k.text) << k.v;

  const double coef[3][4] = {};
  const TLandmarkCheck empty = CheckLandmarks(PointTable, 0, coef);
  EXPECT_TRUE(empty.rows.empty());
  EXPECT_EQ(empty.worstRow, 0);
  EXPECT_EQ(empty.warning, "");
  EXPECT_EQ(LandmarkSummaryText(empty), "No landmarks");
  EXPECT_EQ(LandmarkCheckCsv(empty), "row,dx,dy,dz,residual,leave_one_out\n");
}

// A residual or error wider than its column is set off by one blank; the columns
// that fit keep their places.
TEST(LandmarkFormat, OverflowingColumnsStaySeparated) {
  struct Case {
    double residual[3];
    double leaveOneOut;
    const char* line;
  };
  const Case cases[] = {
      {{-0.5, 1.25, 2}, 3.5, "    1    -0.500     1.250     2.000     2.411          3.500"},
      {{123456.7891, -12345.6789, 0}, 123456.5, "    1 123456.789 -12345.679     0.000 124072.538     123456.500"},
      {{-40121636.765, 0, 0}, 12345678901.25, "    1 -40121636.765     0.000     0.000 40121636.765 12345678901.250"},
  };
  for (const Case& c : cases) {
    TLandmarkCheck check;
    TLandmarkRow row;
    row.row = 1;
    for (int a = 0; a < 3; ++a) row.residual[a] = c.residual[a];
    row.length = std::hypot(c.residual[0], c.residual[1], c.residual[2]);
    row.hasLeaveOneOut = true;
    row.leaveOneOut = c.leaveOneOut;
    check.rows.push_back(row);
    const std::vector<std::string> lines = LandmarkCheckLines(check);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], c.line);
  }
}
