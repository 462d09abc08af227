#include "image/Nifti.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "DecimalText.h"

namespace {

// Field offsets of the NIfTI-1 header.
constexpr size_t kSizeofHdr = 0;
constexpr size_t kDim = 40;         // short[8]
constexpr size_t kPixdim = 76;      // float[8]
constexpr size_t kXyztUnits = 123;  // char
constexpr size_t kQformCode = 252;  // short
constexpr size_t kSformCode = 254;  // short
constexpr size_t kQuaternB = 256;   // float quatern_b, c, d, qoffset_x, y, z
constexpr size_t kSrowX = 280;      // float[4] srow_x, then srow_y, srow_z
constexpr size_t kMagic = 344;      // char[4]

const char* const kAxis[3] = {"x", "y", "z"};

class THeaderBytes {
 public:
  THeaderBytes(std::string_view bytes, bool swap) : p_(bytes.data()), swap_(swap) {}

  uint32_t U32(size_t off) const {
    uint32_t v;
    std::memcpy(&v, p_ + off, 4);
    if (swap_) v = (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
    return v;
  }
  int32_t I32(size_t off) const { return static_cast<int32_t>(U32(off)); }
  int16_t I16(size_t off) const {
    uint16_t v;
    std::memcpy(&v, p_ + off, 2);
    if (swap_) v = static_cast<uint16_t>((v >> 8) | (v << 8));
    return static_cast<int16_t>(v);
  }
  double F32(size_t off) const {
    uint32_t u = U32(off);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
  }
  unsigned char Byte(size_t off) const { return static_cast<unsigned char>(p_[off]); }

 private:
  const char* p_;
  bool swap_;
};

// Short numbers for messages ("0.001", "1e+06", "-1.5").
std::string Num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

// "n+1\0" -> n+1\0 with unprintable bytes as \0 or \xNN.
std::string ShowMagic(const THeaderBytes& h) {
  std::string s;
  for (size_t i = 0; i < 4; ++i) {
    unsigned char c = h.Byte(kMagic + i);
    if (c == 0) {
      s += "\\0";
    } else if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      s += buf;
    } else {
      s += static_cast<char>(c);
    }
  }
  return s;
}

double Det3(const double A[3][4]) {
  return A[0][0] * (A[1][1] * A[2][2] - A[1][2] * A[2][1]) -
         A[0][1] * (A[1][0] * A[2][2] - A[1][2] * A[2][0]) +
         A[0][2] * (A[1][0] * A[2][1] - A[1][1] * A[2][0]);
}

// Empty when finite, else what is wrong with it.
std::string NotFinite(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return "an infinite number";
  return {};
}

}  // namespace

std::string FormatMm(double mm) {
  int decimals = 2;
  double a = std::fabs(mm);
  while (decimals < 6 && a > 0 && a < std::pow(10.0, 1 - decimals)) ++decimals;
  return FixedHalfUp(mm, decimals);
}

std::string ParseNiftiHeader(std::string_view bytes, TNiftiImage& out, std::string_view name) {
  const std::string who = name.empty() ? std::string("The header") : std::string(name);
  const size_t n = bytes.size();
  if (n == 0) return who + " is empty: it holds no NIfTI-1 header";

  bool swap = false;
  if (n >= 4) {
    THeaderBytes little(bytes, false), big(bytes, true);
    if (little.I32(kSizeofHdr) == kNiftiHeaderSize) {
      swap = false;
    } else if (big.I32(kSizeofHdr) == kNiftiHeaderSize) {
      swap = true;
    } else if (little.I32(kSizeofHdr) == 540 || big.I32(kSizeofHdr) == 540) {
      return who + " is a NIfTI-2 image: only NIfTI-1 images (.nii, .nii.gz, .hdr with .img) "
                   "can be opened";
    } else {
      return who + " is not a NIfTI-1 image: its header size field reads " +
             std::to_string(little.I32(kSizeofHdr)) + ", not 348";
    }
  }
  if (n < static_cast<size_t>(kNiftiHeaderSize))
    return who + " is truncated: it holds only " + std::to_string(n) +
           " of the 348 bytes of a NIfTI-1 header";

  const THeaderBytes h(bytes, swap);
  TNiftiImage img;
  img.name = std::string(name);
  img.bigEndian = swap == (std::endian::native == std::endian::little);

  // Magic.
  const char* magic = bytes.data() + kMagic;
  if (std::memcmp(magic, "n+1\0", 4) == 0) {
    img.pairOfFiles = false;
  } else if (std::memcmp(magic, "ni1\0", 4) == 0) {
    img.pairOfFiles = true;
  } else if (std::memcmp(magic, "\0\0\0\0", 4) == 0) {
    return who + " is an Analyze 7.5 header without the NIfTI-1 magic: "
                 "it does not say how the image lies in space";
  } else {
    return who + " is not a NIfTI-1 image: its magic is \"" + ShowMagic(h) +
           "\", not \"n+1\" or \"ni1\"";
  }

  // Dimensions.
  const int ndim = h.I16(kDim);
  if (ndim < 1 || ndim > 7)
    return who + ": dim[0] is " + std::to_string(ndim) +
           "; a NIfTI-1 image has 1 to 7 dimensions";
  for (int i = 0; i < 3; ++i) {
    int d = i < ndim ? h.I16(kDim + 2 * (i + 1)) : 1;
    if (d < 1)
      return who + ": the image's size along " + kAxis[i] + " (dim[" + std::to_string(i + 1) +
             "]) is " + std::to_string(d) + " voxels; it must be 1 to " +
             std::to_string(kNiftiMaxDim);
    img.size[i] = d;
  }

  // Units of space: the xyzt_units' low three bits.
  double unit = 1.0;
  switch (h.Byte(kXyztUnits) & 0x07) {
    case 0: unit = 1.0; break;     // unknown: read as mm
    case 1: unit = 1000.0; break;  // metre
    case 2: unit = 1.0; break;     // mm
    case 3: unit = 0.001; break;   // micrometre
    default:
      return who + ": its spatial unit code " + std::to_string(h.Byte(kXyztUnits) & 0x07) +
             " (xyzt_units) is unknown; known are 1 (metre), 2 (mm) and 3 (micrometre)";
  }

  // Voxel sizes.
  double pixdim[3];
  for (int i = 0; i < 3; ++i) {
    double v = h.F32(kPixdim + 4 * (i + 1));
    std::string what = "the voxel size along " + std::string(kAxis[i]) + " (pixdim[" +
                       std::to_string(i + 1) + "])";
    std::string bad = NotFinite(v);
    if (!bad.empty()) return who + ": " + what + " is " + bad;
    pixdim[i] = v;
    img.voxelSize[i] = v * unit;
    if (!(img.voxelSize[i] >= kNiftiMinVoxelMm && img.voxelSize[i] <= kNiftiMaxVoxelMm))
      return who + ": " + what + " is " + Num(img.voxelSize[i]) + " mm; voxel sizes must be " +
             Num(kNiftiMinVoxelMm) + " to " + Num(kNiftiMaxVoxelMm) + " mm";
  }

  img.qformCode = h.I16(kQformCode);
  img.sformCode = h.I16(kSformCode);
  if (img.qformCode < 0)
    return who + ": its qform code is " + std::to_string(img.qformCode) + "; codes are 0 or more";
  if (img.sformCode < 0)
    return who + ": its sform code is " + std::to_string(img.sformCode) + "; codes are 0 or more";

  double m[3][4] = {};
  const char* matrixName = "";
  if (img.sformCode > 0) {
    img.affineSource = TNiftiAffineSource::Sform;
    matrixName = "sform";
    const char* row[3] = {"srow_x", "srow_y", "srow_z"};
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 4; ++c) {
        m[r][c] = h.F32(kSrowX + 16 * r + 4 * c);
        std::string bad = NotFinite(m[r][c]);
        if (!bad.empty()) return who + ": its sform (" + row[r] + ") holds " + bad;
      }
  } else if (img.qformCode > 0) {
    img.affineSource = TNiftiAffineSource::Qform;
    matrixName = "qform";
    const char* field[6] = {"quatern_b", "quatern_c", "quatern_d",
                            "qoffset_x", "qoffset_y", "qoffset_z"};
    double q[6];
    for (int i = 0; i < 6; ++i) {
      q[i] = h.F32(kQuaternB + 4 * i);
      std::string bad = NotFinite(q[i]);
      if (!bad.empty()) return who + ": its qform (" + field[i] + ") is " + bad;
    }
    // The rotation of the unit quaternion (a, b, c, d) with a >= 0; a squared sum
    // a rounding error above 1 means a 180 degree turn (a = 0).
    const long double b = q[0], c = q[1], d = q[2];
    const long double a2 = 1.0L - (b * b + c * c + d * d);
    if (a2 < -3.0L * FLT_EPSILON)
      return who + ": its qform quaternion is not a rotation: b*b + c*c + d*d is " +
             Num(static_cast<double>(1.0L - a2)) + ", above 1";
    const long double a = a2 > 0 ? std::sqrt(a2) : 0.0L;
    const long double s = 2.0L / (a * a + b * b + c * c + d * d);
    const long double X = b * s, Y = c * s, Z = d * s;
    const long double R[3][3] = {
        {1 - (c * Y + d * Z), b * Y - a * Z, b * Z + a * Y},
        {b * Y + a * Z, 1 - (b * X + d * Z), c * Z - a * X},
        {b * Z - a * Y, c * Z + a * X, 1 - (b * X + c * Y)},
    };
    const double qfac = h.F32(kPixdim) == -1.0 ? -1.0 : 1.0;
    const double scale[3] = {pixdim[0], pixdim[1], pixdim[2] * qfac};
    for (int r = 0; r < 3; ++r) {
      for (int col = 0; col < 3; ++col) m[r][col] = static_cast<double>(R[r][col] * scale[col]);
      m[r][3] = q[3 + r];
    }
  } else {
    img.affineSource = TNiftiAffineSource::VoxelSizes;
    matrixName = "voxel size";
    for (int i = 0; i < 3; ++i) m[i][i] = pixdim[i];
  }

  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) img.affine[r][c] = m[r][c] * unit;

  // The voxel steps (the columns) in the range of voxel sizes, the first voxel
  // within reach of the origin.
  const double(*A)[4] = img.affine;
  double lengths = 1;
  for (int c = 0; c < 3; ++c) {
    double step = std::sqrt(A[0][c] * A[0][c] + A[1][c] * A[1][c] + A[2][c] * A[2][c]);
    if (!(step >= kNiftiMinVoxelMm && step <= kNiftiMaxVoxelMm))
      return who + ": its " + matrixName + " makes voxel steps of " + Num(step) + " mm along " +
             kAxis[c] + "; steps must be " + Num(kNiftiMinVoxelMm) + " to " +
             Num(kNiftiMaxVoxelMm) + " mm";
    lengths *= step;
  }
  for (int r = 0; r < 3; ++r)
    if (!(std::fabs(A[r][3]) <= kNiftiMaxOffsetMm))
      return who + ": its " + matrixName + " puts the first voxel at " + Num(A[r][3]) +
             " mm along " + kAxis[r] + ", beyond the " + Num(kNiftiMaxOffsetMm) +
             " mm accepted";
  // Singular: the determinant over the product of the column lengths is 1 for
  // perpendicular axes and 0 when they lie in one plane, whatever the voxel sizes.
  if (!(std::fabs(Det3(A)) >= kNiftiMinVolumeRatio * lengths))
    return who + ": its " + matrixName +
           " matrix is singular: its voxel axes lie in or close to one plane";

  out = std::move(img);
  return {};
}

std::string DescribeNiftiImage(const TNiftiImage& image) {
  std::string s = image.name.empty() ? std::string() : image.name + ": ";
  s += std::to_string(image.size[0]) + " x " + std::to_string(image.size[1]) + " x " +
       std::to_string(image.size[2]) + ", ";
  s += FormatMm(image.voxelSize[0]) + " x " + FormatMm(image.voxelSize[1]) + " x " +
       FormatMm(image.voxelSize[2]) + " mm";
  return s;
}

double DistanceMm(const TRasPoint& a, const TRasPoint& b) {
  double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

TVoxelToRas::TVoxelToRas(const TNiftiImage& image, int voxelBase) : base_(voxelBase) {
  std::memcpy(m_, image.affine, sizeof m_);
  const double(*A)[4] = m_;
  const double det = Det3(A);
  // The adjugate over the determinant (the parser refuses singular matrices; a
  // default image, all zero, gives a zero inverse).
  double k = det != 0 ? 1.0 / det : 0.0;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      int c1 = (c + 1) % 3, c2 = (c + 2) % 3, r1 = (r + 1) % 3, r2 = (r + 2) % 3;
      inv_[r][c] = (A[c1][r1] * A[c2][r2] - A[c1][r2] * A[c2][r1]) * k;
    }
}

TRasPoint TVoxelToRas::Map(double x, double y, double z) const {
  const double v[3] = {x - base_, y - base_, z - base_};
  double p[3];
  for (int r = 0; r < 3; ++r) p[r] = m_[r][0] * v[0] + m_[r][1] * v[1] + m_[r][2] * v[2] + m_[r][3];
  return TRasPoint{p[0], p[1], p[2]};
}

void TVoxelToRas::Unmap(const TRasPoint& p, double voxel[3]) const {
  const double d[3] = {p.x - m_[0][3], p.y - m_[1][3], p.z - m_[2][3]};
  for (int r = 0; r < 3; ++r)
    voxel[r] = inv_[r][0] * d[0] + inv_[r][1] * d[1] + inv_[r][2] * d[2] + base_;
}
