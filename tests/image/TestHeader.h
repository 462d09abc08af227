#pragma once
// NIfTI-1 headers for the tests, field by field at their offsets, in either byte
// order: by default a 64 x 64 x 40 image of 1 x 1 x 1.2 mm voxels in mm, magic
// "n+1", no qform or sform.
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

class TTestHeader {
 public:
  explicit TTestHeader(bool bigEndian = false) : big_(bigEndian), bytes_(348, '\0') {
    I32(0, 348);
    Dims({3, 64, 64, 40, 1, 1, 1, 1});
    Pixdim(0, 1.0f).Pixdim(1, 1.0f).Pixdim(2, 1.0f).Pixdim(3, 1.2f);
    Byte(123, 2);  // xyzt_units: mm
    Magic("n+1");
  }

  TTestHeader& I16(size_t off, int16_t v) { return Put(off, static_cast<uint16_t>(v), 2); }
  TTestHeader& I32(size_t off, int32_t v) { return Put(off, static_cast<uint32_t>(v), 4); }
  TTestHeader& F32(size_t off, float v) { return Put(off, std::bit_cast<uint32_t>(v), 4); }
  TTestHeader& Byte(size_t off, uint8_t v) {
    bytes_[off] = static_cast<char>(v);
    return *this;
  }
  TTestHeader& Dims(std::initializer_list<int16_t> d) {
    size_t i = 0;
    for (int16_t v : d) I16(40 + 2 * i++, v);
    return *this;
  }
  TTestHeader& Pixdim(int i, float v) { return F32(76 + 4 * i, v); }
  TTestHeader& QformCode(int16_t c) { return I16(252, c); }
  TTestHeader& SformCode(int16_t c) { return I16(254, c); }
  // quatern_b, c, d, qoffset_x, y, z
  TTestHeader& Qform(float b, float c, float d, float x, float y, float z) {
    const float v[6] = {b, c, d, x, y, z};
    for (int i = 0; i < 6; ++i) F32(256 + 4 * i, v[i]);
    return *this;
  }
  // srow_x, srow_y, srow_z
  TTestHeader& Sform(const float rows[3][4]) {
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 4; ++c) F32(280 + 16 * r + 4 * c, rows[r][c]);
    return *this;
  }
  TTestHeader& Magic(const char* m) {
    std::memset(&bytes_[344], 0, 4);
    std::memcpy(&bytes_[344], m, std::strlen(m) < 4 ? std::strlen(m) : 4);
    return *this;
  }
  const std::string& str() const { return bytes_; }

 private:
  TTestHeader& Put(size_t off, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) {
      int shift = big_ ? 8 * (n - 1 - i) : 8 * i;
      bytes_[off + i] = static_cast<char>((v >> shift) & 0xff);
    }
    return *this;
  }

  bool big_;
  std::string bytes_;
};
