// The image header against nibabel, the field's reference reader: nibabel writes
// images of every kind (oblique and sheared sform, qform with qfac 1 and -1, both,
// neither, big-endian, gzipped, an .hdr/.img pair, metres and micrometres), prints
// the affine it reads back, and our voxel-to-RAS map must agree to 1e-5 mm.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "ImageFile.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct TNibabelImage {
  std::string file, unit;
  int sformCode = 0, qformCode = 0;
  int shape[3] = {};
  double zooms[3] = {};
  double affine[3][4] = {};
};

std::string Python() { return fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

TEST(Nibabel, OurVoxelToRasIsNibabelsAffine) {
  testsupport::TempDir dir;
  const std::string script = std::string(ZELTRA_SOURCE_DIR) + "/tests/image/nibabel_headers.py";
  testsupport::ProcessResult r =
      testsupport::RunProcess({Python(), script, dir.str()}, std::chrono::seconds(60));
  ASSERT_NE(r.exitCode, 3) << r.err;
  ASSERT_EQ(r.exitCode, 0) << "nibabel_headers.py failed:\n" << r.err;

  std::vector<TNibabelImage> images;
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream in(line);
    in.imbue(std::locale::classic());
    TNibabelImage n;
    in >> n.file >> n.unit >> n.sformCode >> n.qformCode;
    for (int& s : n.shape) in >> s;
    for (double& z : n.zooms) in >> z;
    for (auto& row : n.affine)
      for (double& a : row) in >> a;
    ASSERT_TRUE(in && (in >> std::ws).eof()) << "unexpected line: " << line;
    images.push_back(n);
  }
  ASSERT_EQ(images.size(), 10u) << r.out;

  for (const TNibabelImage& n : images) {
    SCOPED_TRACE(n.file);
    TNiftiImage img;
    ASSERT_EQ(LoadNiftiHeader((dir / n.file).string(), img), "");
    // nibabel keeps the header's unit; ours is mm.
    const double mm = n.unit == "meter" ? 1000 : n.unit == "micron" ? 0.001 : 1;
    EXPECT_EQ(img.sformCode, n.sformCode);
    EXPECT_EQ(img.qformCode, n.qformCode);
    EXPECT_EQ(img.affineSource, n.sformCode > 0   ? TNiftiAffineSource::Sform
                                : n.qformCode > 0 ? TNiftiAffineSource::Qform
                                                  : TNiftiAffineSource::VoxelSizes);
    double expected[3][4];
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(img.size[i], n.shape[i]);
      EXPECT_NEAR(img.voxelSize[i], n.zooms[i] * mm, 1e-9);
      for (int k = 0; k < 4; ++k) expected[i][k] = n.affine[i][k] * mm;
    }
    if (n.sformCode == 0 && n.qformCode == 0) {
      // Without either, NIfTI's own rule is the voxel sizes alone; nibabel instead
      // centres the image and flips x, as for an Analyze image.
      for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 4; ++k) expected[i][k] = i == k ? n.zooms[i] * mm : 0;
    }
    const int voxels[][3] = {{0, 0, 0}, {1, 1, 1}, {20, 24, 18}, {7, 13, 2}, {-5, 30, 11}};
    for (int base : {1, 0}) {
      TVoxelToRas map(img, base);
      for (const auto& v : voxels) {
        TRasPoint p = map.Map(v[0], v[1], v[2]);
        double ras[3];
        for (int i = 0; i < 3; ++i)
          ras[i] = expected[i][0] * (v[0] - base) + expected[i][1] * (v[1] - base) +
                   expected[i][2] * (v[2] - base) + expected[i][3];
        EXPECT_NEAR(p.x, ras[0], 1e-5) << "base " << base << " voxel " << v[0] << "," << v[1] << "," << v[2];
        EXPECT_NEAR(p.y, ras[1], 1e-5) << "base " << base << " voxel " << v[0] << "," << v[1] << "," << v[2];
        EXPECT_NEAR(p.z, ras[2], 1e-5) << "base " << base << " voxel " << v[0] << "," << v[1] << "," << v[2];
      }
    }
  }
}

}  // namespace
