// Fuzzes the NIfTI-1 header parser: whatever the bytes, no crash; a refused header
// gives a message and leaves the caller's image as it was; an accepted one has
// sizes and voxel sizes in range and a finite voxel-to-RAS map that inverts.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "image/Nifti.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TNiftiImage img;
  img.name = "previous";
  img.size[0] = 7;
  img.affine[2][3] = 42;
  std::string error = ParseNiftiHeader(bytes, img, "fuzz.nii");
  if (!error.empty()) {
    if (error.rfind("fuzz.nii", 0) != 0) std::abort();
    if (img.name != "previous" || img.size[0] != 7 || img.affine[2][3] != 42) std::abort();
    return 0;
  }
  if (size < static_cast<size_t>(kNiftiHeaderSize) || img.name != "fuzz.nii") std::abort();
  for (int i = 0; i < 3; ++i) {
    if (img.size[i] < 1 || img.size[i] > kNiftiMaxDim) std::abort();
    if (!(img.voxelSize[i] >= kNiftiMinVoxelMm && img.voxelSize[i] <= kNiftiMaxVoxelMm))
      std::abort();
    for (int k = 0; k < 4; ++k)
      if (!std::isfinite(img.affine[i][k])) std::abort();
  }
  if (DescribeNiftiImage(img).rfind("fuzz.nii: ", 0) != 0) std::abort();

  // The far corner maps to a finite point and back to within a twentieth of its
  // voxel: the limits on voxel steps, offset and singularity keep the map sound.
  TVoxelToRas map(img, 1);
  TRasPoint p = map.Map(img.size[0], img.size[1], img.size[2]);
  if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) std::abort();
  double v[3];
  map.Unmap(p, v);
  for (int i = 0; i < 3; ++i)
    if (!(std::fabs(v[i] - img.size[i]) <= 0.05)) std::abort();
  return 0;
}
