#pragma once
// The MRI image's NIfTI-1 header: the image's size, its voxel sizes and the map from
// voxels to RAS millimetres (x to the subject's right, y anterior, z superior). Only
// the 348-byte header is read, never the voxel data.
#include <cstdint>
#include <string>
#include <string_view>

#include "Types.h"

// Bytes of a NIfTI-1 header (its sizeof_hdr field).
constexpr int kNiftiHeaderSize = 348;
// The largest size along an axis (dim[i] is a signed 16-bit number).
constexpr int kNiftiMaxDim = 32767;
// Sane limits, beyond which the map from voxels to mm would mean nothing (or lose
// the voxel in rounding): voxel sizes and the matrix's voxel steps from 1 micrometre
// to 1 metre, the first voxel within 1 km of the origin, and voxel axes that span
// a volume: the matrix's determinant at least 1/1000 of the product of its column
// lengths (1 for perpendicular axes).
constexpr double kNiftiMinVoxelMm = 0.001;
constexpr double kNiftiMaxVoxelMm = 1000;
constexpr double kNiftiMaxOffsetMm = 1e6;
constexpr double kNiftiMinVolumeRatio = 1e-3;

// Where the voxel-to-RAS map of an image comes from.
enum class TNiftiAffineSource {
  Sform,       // srow_x, srow_y, srow_z (sform_code > 0)
  Qform,       // the quaternion, qfac and qoffset (sform_code 0, qform_code > 0)
  VoxelSizes,  // neither: diag(voxel sizes), no offset
};

struct TNiftiImage {
  std::string name;            // the file's name for messages and the status line
  int32_t size[3] = {0, 0, 0};  // dim[1..3]; an axis beyond dim[0] has size 1
  double voxelSize[3] = {0, 0, 0};  // pixdim[1..3] in mm (after xyzt_units)
  int qformCode = 0;
  int sformCode = 0;
  TNiftiAffineSource affineSource = TNiftiAffineSource::VoxelSizes;
  // RAS mm = affine * (i, j, k, 1) for the voxel (i, j, k) counted from 0 along
  // each axis, as NIfTI defines it; in mm whatever unit the header uses.
  double affine[3][4] = {};
  bool bigEndian = false;
  bool pairOfFiles = false;  // magic "ni1": the voxels are in an .img beside the .hdr
};

// Reads a NIfTI-1 header from its bytes (the first kNiftiHeaderSize are used; more
// are ignored). Empty on success, else the message to show, which names `name`
// ("The header" when empty) and says what is wrong; `out` is then left as it was.
//
// The byte order is the one in which sizeof_hdr reads 348. The magic must be
// "n+1\0" (one .nii file) or "ni1\0" (.hdr and .img). Refused: fewer than 348
// bytes; any other sizeof_hdr (540, a NIfTI-2 header, is named as such) or magic;
// dim[0] outside 1..7; a size dim[1..3] below 1 (sizes above kNiftiMaxDim cannot be
// stored); a spatial unit other than unknown (read as mm), metre, mm or
// micrometre; voxel sizes pixdim[1..3] that are NaN, infinite, or outside
// kNiftiMinVoxelMm..kNiftiMaxVoxelMm in mm (all three, also for an image of fewer
// than three dimensions); a negative qform or sform code; NaN or infinite numbers
// in the matrix used; a qform quaternion with b*b + c*c + d*d above 1; a matrix
// whose voxel steps (column lengths) or offset are beyond the limits above, or
// that is singular (its columns span no volume, or hardly any).
// Metres and micrometres are converted to mm in the voxel sizes and the affine.
//
// The affine: the sform when sform_code > 0, else the qform when qform_code > 0
// (quaternion a = sqrt(1 - b*b - c*c - d*d), qfac = -1 when pixdim[0] is -1 and
// 1 otherwise), else diag(pixdim[1..3]) with no offset.
std::string ParseNiftiHeader(std::string_view bytes, TNiftiImage& out,
                             std::string_view name = {});

// For the status line: "head.nii.gz: 256 x 256 x 170, 1.00 x 1.00 x 1.20 mm".
std::string DescribeNiftiImage(const TNiftiImage& image);

// A length in mm as shown to the operator: two decimals ("1.20"), and below 0.1 mm
// as many as keep two significant digits ("0.063"); a full stop in every locale.
std::string FormatMm(double mm);

// A point in RAS millimetres.
struct TRasPoint {
  double x = 0;  // right
  double y = 0;  // anterior
  double z = 0;  // superior
};

// Distance in mm between two points.
double DistanceMm(const TRasPoint& a, const TRasPoint& b);

// The map from the viewer's voxel numbers to RAS mm:
//   RAS = affine * (x - base, y - base, z - base, 1)
// where `voxelBase` is the viewer's number of the first voxel along each axis:
// 1 when the viewer counts from 1 (voxel 1, 1, 1 is the first voxel), 0 when it
// counts from 0.
class TVoxelToRas {
 public:
  TVoxelToRas(const TNiftiImage& image, int voxelBase);

  TRasPoint Map(double x, double y, double z) const;
  TRasPoint Map(const TVoxel& v) const { return Map(v.x, v.y, v.z); }
  // The voxel (in the viewer's numbers, fractional) at a RAS point.
  void Unmap(const TRasPoint& p, double voxel[3]) const;

  int VoxelBase() const { return base_; }

 private:
  double m_[3][4];
  double inv_[3][3];  // the inverse of the linear part
  int base_;
};
