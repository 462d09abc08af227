// The NIfTI-1 header parser on headers made field by field: what it refuses and
// with which message, the voxel-to-RAS map it derives (fixed expected values, so
// that the cross builds check the same numbers), and the fit's scale check.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <functional>
#include <ostream>
#include <limits>

#include "ParamName.h"
#include "TestHeader.h"
#include "image/Nifti.h"
#include "image/ScaleCheck.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

const float kSform[3][4] = {{0.5f, -0.25f, 0.125f, -90.0f},
                            {0.25f, 0.75f, -0.5f, 126.0f},
                            {0.0f, 0.5f, 1.25f, -72.0f}};


TNiftiImage Previous() {
  TNiftiImage img;
  img.name = "previous.nii";
  img.size[0] = 7;
  img.affine[0][3] = 42;
  return img;
}

// --- Refused headers ------------------------------------------------------------

struct TRefused {
  const char* what;
  std::function<std::string()> bytes;
  const char* message;
};

const TRefused kRefused[] = {
    {"empty", [] { return std::string(); }, "head.nii is empty: it holds no NIfTI-1 header"},
    {"three bytes", [] { return std::string("\x5c\x01\x00", 3); },
     "head.nii is truncated: it holds only 3 of the 348 bytes of a NIfTI-1 header"},
    {"wrong sizeof_hdr", [] { return TTestHeader().I32(0, 349).str(); },
     "head.nii is not a NIfTI-1 image: its header size field reads 349, not 348"},
    {"NIfTI-2", [] { return TTestHeader(true).I32(0, 540).str(); },
     "head.nii is a NIfTI-2 image: only NIfTI-1 images (.nii, .nii.gz, .hdr with .img) can "
     "be opened"},
    {"unprintable magic", [] { return TTestHeader().Magic("\x01+1\x7f").str(); },
     "head.nii is not a NIfTI-1 image: its magic is \"\\x01+1\\x7F\", not \"n+1\" or \"ni1\""},
    {"Analyze 7.5", [] { return TTestHeader().Magic("").str(); },
     "head.nii is an Analyze 7.5 header without the NIfTI-1 magic: it does not say how the "
     "image lies in space"},
    {"dim[0] 0", [] { return TTestHeader().I16(40, 0).str(); },
     "head.nii: dim[0] is 0; a NIfTI-1 image has 1 to 7 dimensions"},
    {"negative size", [] { return TTestHeader(true).I16(46, -5).str(); },
     "head.nii: the image's size along z (dim[3]) is -5 voxels; it must be 1 to 32767"},
    {"negative voxel size", [] { return TTestHeader().Pixdim(2, -1.5f).str(); },
     "head.nii: the voxel size along y (pixdim[2]) is -1.5 mm; voxel sizes must be 0.001 to "
     "1000 mm"},
    {"huge voxel size", [] { return TTestHeader().Pixdim(1, 4.8e29f).str(); },
     "head.nii: the voxel size along x (pixdim[1]) is 4.8e+29 mm; voxel sizes must be 0.001 "
     "to 1000 mm"},
    {"voxel size below a micrometre", [] { return TTestHeader().Byte(123, 3).Pixdim(3, 0.5f)
                                              .Pixdim(1, 1000).Pixdim(2, 1000).str(); },
     "head.nii: the voxel size along z (pixdim[3]) is 0.0005 mm; voxel sizes must be 0.001 "
     "to 1000 mm"},
    {"NaN voxel size", [] { return TTestHeader().Pixdim(3, kNaN).str(); },
     "head.nii: the voxel size along z (pixdim[3]) is NaN"},
    {"infinite voxel size", [] { return TTestHeader(true).Pixdim(1, kInf).str(); },
     "head.nii: the voxel size along x (pixdim[1]) is an infinite number"},
    {"unknown unit", [] { return TTestHeader().Byte(123, 8 | 5).str(); },
     "head.nii: its spatial unit code 5 (xyzt_units) is unknown; known are 1 (metre), 2 (mm) "
     "and 3 (micrometre)"},
    {"negative sform code", [] { return TTestHeader().SformCode(-1).str(); },
     "head.nii: its sform code is -1; codes are 0 or more"},
    {"infinity in the qform",
     [] { return TTestHeader(true).QformCode(1).Qform(0, kInf, 0, 0, 0, 0).str(); },
     "head.nii: its qform (quatern_c) is an infinite number"},
    {"quaternion longer than 1",
     [] { return TTestHeader().QformCode(1).Qform(0.8f, 0.8f, 0, 0, 0, 0).str(); },
     "head.nii: its qform quaternion is not a rotation: b*b + c*c + d*d is 1.28, above 1"},
    {"singular sform",
     [] {
       float rows[3][4];
       std::memcpy(rows, kSform, sizeof rows);
       for (int r = 0; r < 3; ++r) rows[r][2] = 2 * rows[r][0] - rows[r][1];  // in their plane
       return TTestHeader().SformCode(1).Sform(rows).str();
     },
     "head.nii: its sform matrix is singular: its voxel axes lie in or close to one plane"},
    {"sform step too long",
     [] {
       float rows[3][4];
       std::memcpy(rows, kSform, sizeof rows);
       rows[0][1] = 2000;
       return TTestHeader().SformCode(1).Sform(rows).str();
     },
     "head.nii: its sform makes voxel steps of 2000 mm along y; steps must be 0.001 to 1000 mm"},
    {"first voxel far away",
     [] {
       float rows[3][4];
       std::memcpy(rows, kSform, sizeof rows);
       rows[1][3] = -2e6f;
       return TTestHeader().SformCode(1).Sform(rows).str();
     },
     "head.nii: its sform puts the first voxel at -2e+06 mm along y, beyond the 1e+06 mm "
     "accepted"},
};

void PrintTo(const TRefused& c, std::ostream* os) { *os << c.what; }

class NiftiRefused : public testing::TestWithParam<TRefused> {};

TEST_P(NiftiRefused, SaysWhatIsWrongAndKeepsThePreviousImage) {
  TNiftiImage out = Previous();
  std::string bytes = GetParam().bytes();
  EXPECT_EQ(ParseNiftiHeader(bytes, out, "head.nii"), GetParam().message);
  EXPECT_EQ(out.name, "previous.nii");
  EXPECT_EQ(out.size[0], 7);
  EXPECT_EQ(out.affine[0][3], 42);
}

INSTANTIATE_TEST_SUITE_P(Headers, NiftiRefused, testing::ValuesIn(kRefused),
                         ParamName<TRefused>);

// --- Accepted headers -----------------------------------------------------------

struct TAccepted {
  const char* what;
  std::function<std::string()> bytes;
  TNiftiAffineSource source;
  double affine[3][4];
  int32_t size[3];
  double voxelSize[3];
};

const TAccepted kAccepted[] = {
    {"neither: voxel sizes alone", [] { return TTestHeader().str(); },
     TNiftiAffineSource::VoxelSizes,
     {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1.2f, 0}}, {64, 64, 40}, {1, 1, 1.2f}},
    {"sform", [] { return TTestHeader().SformCode(1).Sform(kSform).str(); },
     TNiftiAffineSource::Sform,
     {{0.5, -0.25, 0.125, -90}, {0.25, 0.75, -0.5, 126}, {0, 0.5, 1.25, -72}},
     {64, 64, 40}, {1, 1, 1.2f}},
    {"big-endian sform beats qform",
     [] {
       return TTestHeader(true).SformCode(3).Sform(kSform).QformCode(1)
           .Qform(1, 0, 0, 5, 5, 5).str();
     },
     TNiftiAffineSource::Sform,
     {{0.5, -0.25, 0.125, -90}, {0.25, 0.75, -0.5, 126}, {0, 0.5, 1.25, -72}},
     {64, 64, 40}, {1, 1, 1.2f}},
    {"qform 90 degrees about z, qfac -1",
     [] {
       return TTestHeader().Pixdim(0, -1).QformCode(1)
           .Qform(0, 0, static_cast<float>(std::sqrt(0.5)), 10, -20, 30).str();
     },
     TNiftiAffineSource::Qform,
     {{0, -1, 0, 10}, {1, 0, 0, -20}, {0, 0, -1.2f, 30}}, {64, 64, 40}, {1, 1, 1.2f}},
    {"qform 180 degrees about x (a = 0)",
     [] { return TTestHeader(true).QformCode(2).Qform(1, 0, 0, -1.5f, 2.5f, 0).str(); },
     TNiftiAffineSource::Qform,
     {{1, 0, 0, -1.5}, {0, -1, 0, 2.5}, {0, 0, -1.2f, 0}}, {64, 64, 40}, {1, 1, 1.2f}},
    {"quaternion a rounding error above 1",
     [] { return TTestHeader().QformCode(1).Qform(0, 1.0000001f, 0, 0, 0, 0).str(); },
     TNiftiAffineSource::Qform,
     {{-1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, -1.2f, 0}}, {64, 64, 40}, {1, 1, 1.2f}},
    {"qfac other than -1 counts as 1",
     [] { return TTestHeader().Pixdim(0, -0.5f).QformCode(1).str(); },
     TNiftiAffineSource::Qform,
     {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1.2f, 0}}, {64, 64, 40}, {1, 1, 1.2f}},
    {"metres",
     [] {
       float rows[3][4];
       for (int r = 0; r < 3; ++r)
         for (int c = 0; c < 4; ++c) rows[r][c] = kSform[r][c] / 1000;
       return TTestHeader().Byte(123, 1 | 8).Pixdim(1, 0.002f).Pixdim(2, 0.001f)
           .Pixdim(3, 0.0012f).SformCode(1).Sform(rows).str();
     },
     TNiftiAffineSource::Sform,
     {{0.5, -0.25, 0.125, -90}, {0.25, 0.75, -0.5, 126}, {0, 0.5, 1.25, -72}},
     {64, 64, 40}, {0.002f * 1000.0, 0.001f * 1000.0, 0.0012f * 1000.0}},
    {"two dimensions: z has one voxel",
     [] { return TTestHeader().Dims({2, 300, 200, 0}).str(); },
     TNiftiAffineSource::VoxelSizes,
     {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1.2f, 0}}, {300, 200, 1}, {1, 1, 1.2f}},
    {"largest size and bytes after the header",
     [] { return TTestHeader().Dims({4, 32767, 1, 1, 0}).str() + std::string(52, 'x'); },
     TNiftiAffineSource::VoxelSizes,
     {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1.2f, 0}}, {32767, 1, 1}, {1, 1, 1.2f}},
};

void PrintTo(const TAccepted& c, std::ostream* os) { *os << c.what; }

class NiftiAccepted : public testing::TestWithParam<TAccepted> {};

TEST_P(NiftiAccepted, GivesTheSizesAndTheAffine) {
  const TAccepted& c = GetParam();
  TNiftiImage img;
  ASSERT_EQ(ParseNiftiHeader(c.bytes(), img, "head.nii"), "");
  EXPECT_EQ(img.name, "head.nii");
  EXPECT_EQ(img.affineSource, c.source);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(img.size[i], c.size[i]) << "axis " << i;
    EXPECT_NEAR(img.voxelSize[i], c.voxelSize[i], 1e-9 * c.voxelSize[i]) << "axis " << i;
    for (int k = 0; k < 4; ++k)
      EXPECT_NEAR(img.affine[i][k], c.affine[i][k], 1e-6 * (1 + std::fabs(c.affine[i][k])))
          << "affine[" << i << "][" << k << "]";
  }
}

INSTANTIATE_TEST_SUITE_P(Headers, NiftiAccepted, testing::ValuesIn(kAccepted),
                         ParamName<TAccepted>);

TEST(NiftiHeader, TellsByteOrderMagicAndCodes) {
  TNiftiImage img;
  ASSERT_EQ(ParseNiftiHeader(TTestHeader(true).Magic("ni1").QformCode(4).SformCode(0).str(),
                             img),
            "");
  EXPECT_TRUE(img.bigEndian);
  EXPECT_TRUE(img.pairOfFiles);
  EXPECT_EQ(img.qformCode, 4);
  EXPECT_EQ(img.sformCode, 0);
  ASSERT_EQ(ParseNiftiHeader(TTestHeader().SformCode(2).Sform(kSform).str(), img), "");
  EXPECT_FALSE(img.bigEndian);
  EXPECT_FALSE(img.pairOfFiles);
  EXPECT_EQ(img.sformCode, 2);
}

// --- Voxel to RAS -----------------------------------------------------------------

TEST(VoxelToRas, CountsFromTheBaseAndUnmapsBack) {
  TNiftiImage img;
  ASSERT_EQ(ParseNiftiHeader(TTestHeader().SformCode(1).Sform(kSform).str(), img), "");
  for (int base : {1, 0}) {
    TVoxelToRas map(img, base);
    EXPECT_EQ(map.VoxelBase(), base);
    // Voxel (17, -3, 29) counted from 0, by hand.
    TRasPoint p = map.Map(17 + base, -3 + base, 29 + base);
    EXPECT_DOUBLE_EQ(p.x, 0.5 * 17 + 0.25 * 3 + 0.125 * 29 - 90);
    EXPECT_DOUBLE_EQ(p.y, 0.25 * 17 - 0.75 * 3 - 0.5 * 29 + 126);
    EXPECT_DOUBLE_EQ(p.z, -0.5 * 3 + 1.25 * 29 - 72);
    p = map.Map(TVoxel{base, base, base});  // the first voxel is the offset
    EXPECT_EQ(p.x, -90);
    EXPECT_EQ(p.y, 126);
    EXPECT_EQ(p.z, -72);
    double v[3];
    map.Unmap(map.Map(12.5, -7, 33), v);
    EXPECT_NEAR(v[0], 12.5, 1e-9);
    EXPECT_NEAR(v[1], -7, 1e-9);
    EXPECT_NEAR(v[2], 33, 1e-9);
  }
}

TEST(VoxelToRas, DistanceInMillimetres) {
  TNiftiImage img;
  ASSERT_EQ(ParseNiftiHeader(TTestHeader().Pixdim(3, 1.25f).str(), img), "");
  TVoxelToRas map(img, 1);
  EXPECT_DOUBLE_EQ(DistanceMm(map.Map(TVoxel{1, 1, 1}), map.Map(TVoxel{1, 1, 11})), 12.5);
  EXPECT_DOUBLE_EQ(DistanceMm(map.Map(TVoxel{1, 1, 1}), map.Map(TVoxel{4, 5, 1})), 5);
}

// --- Status line ------------------------------------------------------------------

TEST(NiftiDescription, SizesAndVoxelSizes) {
  struct {
    std::string bytes, name, text;
  } cases[] = {
      {TTestHeader().Dims({3, 256, 256, 170}).str(), "head.nii.gz",
       "head.nii.gz: 256 x 256 x 170, 1.00 x 1.00 x 1.20 mm"},
      {TTestHeader().Pixdim(1, 0.9375f).Pixdim(2, 0.0625f).str(), "",
       "64 x 64 x 40, 0.94 x 0.063 x 1.20 mm"},
      {TTestHeader().Byte(123, 1).Pixdim(1, 0.00125f).Pixdim(2, 0.001f).Pixdim(3, 0.0012f)
           .str(),
       "m.nii", "m.nii: 64 x 64 x 40, 1.25 x 1.00 x 1.20 mm"},
  };
  for (const auto& c : cases) {
    TNiftiImage img;
    ASSERT_EQ(ParseNiftiHeader(c.bytes, img, c.name), "");
    EXPECT_EQ(DescribeNiftiImage(img), c.text);
  }
}

// --- Scale check ------------------------------------------------------------------

// Coefficients of a fit in which axis i moves 1 / (voxel size * ratio[i]) voxels per
// mm of tracker motion, along a rotated direction, for tracker units of u mm.
void FitCoefficients(const double voxel[3], const double ratio[3], double u, double coef[3][4]) {
  const double rot[3][3] = {{0.6, -0.8, 0}, {0.48, 0.36, -0.8}, {0.64, 0.48, 0.6}};
  for (int i = 0; i < 3; ++i) {
    coef[i][0] = 37.5 * (i + 1);
    for (int k = 0; k < 3; ++k) coef[i][k + 1] = rot[i][k] * u / (voxel[i] * ratio[i]);
  }
}

struct TScaleCase {
  const char* what;
  double ratio[3];
  const char* warning;
};

const TScaleCase kScaleCases[] = {
    {"exact", {1, 1, 1}, ""},
    {"x 9 % large", {1.09, 1, 1}, ""},
    {"y 9 % small", {1, 1 / 1.09, 1}, ""},
    {"z 9 % large", {1, 1, 1.09}, ""},
    {"all 9 % off", {1.09, 1 / 1.09, 1.09}, ""},
    {"x 11 % large", {1.11, 1, 1},
     "The fit implies voxels of 1.11 mm along MRI x, but the image's are 1.00 mm: check the "
     "tracker's range or unit setting (Tracker menu)."},
    {"y 11 % small", {1, 1 / 1.11, 1},
     "The fit implies voxels of 0.90 mm along MRI y, but the image's are 1.00 mm: check the "
     "tracker's range or unit setting (Tracker menu)."},
    {"z 11 % large", {1, 1, 1.11},
     "The fit implies voxels of 1.33 mm along MRI z, but the image's are 1.20 mm: check the "
     "tracker's range or unit setting (Tracker menu)."},
    {"x and z off", {0.5, 1, 3},
     "The fit implies voxels of 0.50 mm along MRI x and 3.60 mm along MRI z, but the image's "
     "are 1.00 and 1.20 mm: check the tracker's range or unit setting (Tracker menu)."},
};

void PrintTo(const TScaleCase& c, std::ostream* os) { *os << c.what; }

class FitScale : public testing::TestWithParam<TScaleCase> {};

TEST_P(FitScale, WarnsBeyondTenPercent) {
  const double voxel[3] = {1.0, 1.0, 1.2};
  const double u = 0.0279;  // mm per tracker unit
  double coef[3][4];
  FitCoefficients(voxel, GetParam().ratio, u, coef);
  EXPECT_EQ(CheckFitScale(coef, u, voxel), GetParam().warning);
}

INSTANTIATE_TEST_SUITE_P(Axes, FitScale, testing::ValuesIn(kScaleCases),
                         ParamName<TScaleCase>);

TEST(FitScaleCheck, FlockRangeSetTo72InchesForA36InchTransmitter) {
  // The landmarks were measured by a standard-range transmitter (one position word
  // = 36 / 32768 inch) while the program assumes 72 inches: every distance seems
  // twice as long, and so do the voxels the fit implies.
  const double voxel[3] = {1.0, 1.0, 1.2};
  const double ratio[3] = {1, 1, 1};
  const double inch = 25.4;
  double coef[3][4];
  FitCoefficients(voxel, ratio, 36 * inch / 32768, coef);
  EXPECT_EQ(CheckFitScale(coef, 36 * inch / 32768, voxel), "");
  EXPECT_EQ(CheckFitScale(coef, 72 * inch / 32768, voxel),
            "The fit implies voxels of 2.00 mm along MRI x, 2.00 mm along MRI y and 2.40 mm "
            "along MRI z, but the image's are 1.00, 1.00 and 1.20 mm: check the tracker's "
            "range or unit setting (Tracker menu).");
  EXPECT_NEAR(ImpliedVoxelSizeMm(coef[2], 72 * inch / 32768), 2.4, 1e-12);
}

TEST(FitScaleCheck, AFitThatIgnoresTheTrackerAndNothingToCompare) {
  const double voxel[3] = {1, 1, 1};
  double coef[3][4] = {{5, 0, 0, 0}, {1, 0, 0.0279, 0}, {2, 0, 0, 0.0279}};
  EXPECT_EQ(CheckFitScale(coef, 0.0279, voxel),
            "The fit does not follow the tracker along MRI x: its coefficients b1, b2 and b3 "
            "are zero or not finite.");
  coef[0][1] = 0.0279;
  EXPECT_EQ(CheckFitScale(coef, 0.0279, voxel), "");
  EXPECT_EQ(CheckFitScale(coef, 0, voxel), "");
  const double noSize[3] = {1, std::nan(""), 1};
  EXPECT_EQ(CheckFitScale(coef, 100, noSize), "");
}

}  // namespace
