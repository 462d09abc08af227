// The image header from real files: plain, gzipped (whatever the name), the .hdr
// of an .hdr/.img pair; bad files each with its message and the previous image
// kept; a gzip bomb that inflates to gigabytes loads at once with the right header.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <ostream>

#include "ImageFile.h"
#include "ParamName.h"
#include "TestHeader.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace {

const float kSform[3][4] = {{0.5f, -0.25f, 0.125f, -90.0f},
                            {0.25f, 0.75f, -0.5f, 126.0f},
                            {0.0f, 0.5f, 1.25f, -72.0f}};

// A .nii header with vox_offset 352 (the voxels follow after four spare bytes).
std::string Header(bool big = false) {
  return TTestHeader(big).Dims({3, 256, 256, 170}).SformCode(1).Sform(kSform)
      .F32(108, 352).str();
}

std::string Deflate(z_stream& zs, std::string_view in, int flush) {
  std::string out(deflateBound(&zs, static_cast<uLong>(in.size())) + 64, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  zs.avail_in = static_cast<uInt>(in.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_NE(deflate(&zs, flush), Z_STREAM_ERROR);
  EXPECT_EQ(zs.avail_in, 0u);
  out.resize(out.size() - zs.avail_out);
  return out;
}

std::string Le32(uLong v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xff);
  return s;
}

// A gzip file of `head` followed by `zeroMiB` MiB of zero bytes, with its trailer's
// CRC and size right. The zeros are one compressed MiB written again and again:
// each piece ends in a full flush, so it refers to nothing before it.
std::string GzipWithZeros(const std::string& head, long zeroMiB) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY), Z_OK);
  const std::string mib(1 << 20, '\0');
  std::string first = Deflate(zs, head, Z_FULL_FLUSH);
  std::string piece = Deflate(zs, mib, Z_FULL_FLUSH);
  std::string last = Deflate(zs, "", Z_FINISH);
  deflateEnd(&zs);

  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(head.data()), static_cast<uInt>(head.size()));
  const uLong crcMib = crc32(0, reinterpret_cast<const Bytef*>(mib.data()), 1 << 20);
  std::string gz("\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\xff", 10);
  gz += first;
  gz.reserve(gz.size() + piece.size() * static_cast<size_t>(zeroMiB) + last.size() + 8);
  for (long i = 0; i < zeroMiB; ++i) {
    gz += piece;
    crc = crc32_combine(crc, crcMib, 1 << 20);
  }
  gz += last;
  gz += Le32(crc);
  gz += Le32(static_cast<uLong>((head.size() + (static_cast<unsigned long long>(zeroMiB) << 20)) &
                                0xffffffffu));
  return gz;
}

std::string Gzip(const std::string& data) { return GzipWithZeros(data, 0); }

// All bytes of a gzip file through zlib's own reader, which checks CRC and size.
bool GunzipAll(const fs::path& p, unsigned long long& total) {
  gzFile f = gzopen(p.string().c_str(), "rb");
  if (!f) return false;
  std::string buf(1 << 20, '\0');
  total = 0;
  int got;
  while ((got = gzread(f, buf.data(), static_cast<unsigned>(buf.size()))) > 0) total += got;
  int err = Z_OK;
  gzerror(f, &err);
  gzclose(f);
  return got == 0 && err == Z_OK;
}

TNiftiImage Previous() {
  TNiftiImage img;
  img.name = "previous.nii";
  img.size[0] = 7;
  return img;
}

const char kSizes[] = "256 x 256 x 170, 1.00 x 1.00 x 1.20 mm";

// --- Files that load --------------------------------------------------------------

struct TGoodFile {
  const char* what;
  const char* file;  // written with `bytes`
  std::function<std::string()> bytes;
  const char* open;  // the path given to LoadNiftiHeader
  const char* shown;  // the name in the description
};

std::string PairHeader() {
  return TTestHeader().Dims({3, 256, 256, 170}).Magic("ni1").SformCode(1).Sform(kSform).str();
}

const TGoodFile kGoodFiles[] = {
    {"plain nii", "head.nii", [] { return Header() + std::string(1000, '\7'); }, "head.nii",
     "head.nii"},
    {"nii.gz", "head.nii.gz", [] { return Gzip(Header() + std::string(5000, '\1')); },
     "head.nii.gz", "head.nii.gz"},
    {"gzip named nii", "packed.nii", [] { return Gzip(Header()); }, "packed.nii", "packed.nii"},
    {"img opens its hdr", "pair.hdr", PairHeader, "pair.img", "pair.hdr"},
    {"IMG opens its HDR", "PAIR.HDR", PairHeader, "PAIR.IMG", "PAIR.HDR"},
    {"img.gz opens its hdr.gz", "pair.hdr.gz", [] { return Gzip(PairHeader()); }, "pair.img.gz",
     "pair.hdr.gz"},
    // gzip files written one after another are one file to gunzip.
    {"gzip members", "cat.nii.gz", [] { return Gzip("") + Gzip(Header().substr(0, 100)) + Gzip(Header().substr(100)); },
     "cat.nii.gz", "cat.nii.gz"},
};

void PrintTo(const TGoodFile& c, std::ostream* os) { *os << c.what; }


class ImageFileGood : public testing::TestWithParam<TGoodFile> {};

TEST_P(ImageFileGood, LoadsTheHeader) {
  const TGoodFile& c = GetParam();
  TempDir dir;
  WriteFileBytes(dir / c.file, c.bytes());
  TNiftiImage img;
  ASSERT_EQ(LoadNiftiHeader((dir / c.open).string(), img), "");
  EXPECT_EQ(DescribeNiftiImage(img), std::string(c.shown) + ": " + kSizes);
  EXPECT_EQ(img.affineSource, TNiftiAffineSource::Sform);
  EXPECT_EQ(img.affine[1][3], 126);

  std::string bytes;
  ASSERT_EQ(ReadNiftiHeaderBytes((dir / c.open).string(), bytes), "");
  EXPECT_EQ(bytes.size(), 348u);
}

INSTANTIATE_TEST_SUITE_P(Files, ImageFileGood, testing::ValuesIn(kGoodFiles),
                         ParamName<TGoodFile>);

// --- Files that are refused ---------------------------------------------------------

struct TBadFile {
  const char* what;
  const char* file;  // written with `bytes`, or made a folder when `bytes` is empty
  std::function<std::string()> bytes;
  const char* open;
  const char* message;
};

// The gzip file of a whole header, with its compressed data cut in half.
std::string CutGzip() {
  std::string gz = Gzip(Header());
  return gz.substr(0, 10 + (gz.size() - 18) / 2);
}

const TBadFile kBadFiles[] = {
    {"missing", "other.nii", [] { return std::string("x"); }, "missing.nii",
     "missing.nii was not found"},
    {"folder", "folder.nii", nullptr, "folder.nii", "folder.nii is a folder, not an image file"},
    {"empty", "empty.nii", [] { return std::string(); }, "empty.nii",
     "empty.nii is empty: it holds no NIfTI-1 header"},
    {"truncated", "short.nii", [] { return Header().substr(0, 200); }, "short.nii",
     "short.nii is truncated: it holds only 200 of the 348 bytes of a NIfTI-1 header"},
    {"wrong magic", "magic.nii", [] { return TTestHeader().Magic("n+2").str(); }, "magic.nii",
     "magic.nii is not a NIfTI-1 image: its magic is \"n+2\\0\", not \"n+1\" or \"ni1\""},
    {"absurd dimensions", "dims.nii.gz", [] { return Gzip(TTestHeader().Dims({3, 64, -1, 9}).str()); },
     "dims.nii.gz",
     "dims.nii.gz: the image's size along y (dim[2]) is -1 voxels; it must be 1 to 32767"},
    {"NaN in the matrix", "nan.nii",
     [] { return TTestHeader(true).SformCode(1).Sform(kSform).F32(292, NAN).str(); }, "nan.nii",
     "nan.nii: its sform (srow_x) holds NaN"},
    {"zero voxel size", "zero.nii", [] { return TTestHeader().Pixdim(3, 0).str(); }, "zero.nii",
     "zero.nii: the voxel size along z (pixdim[3]) is 0 mm; voxel sizes must be 0.001 to 1000 "
     "mm"},
    {"header of a pair missing", "lonely.img", [] { return std::string(64, '\0'); },
     "lonely.img", "lonely.hdr was not found"},
    {"gzip of a short header", "tiny.nii.gz", [] { return Gzip(Header().substr(0, 100)); },
     "tiny.nii.gz",
     "tiny.nii.gz is truncated: it holds only 100 of the 348 bytes of a NIfTI-1 header"},
    {"truncated gzip", "cut.nii.gz", CutGzip, "cut.nii.gz",
     "cut.nii.gz is a truncated gzip file: its data end before the image header is complete"},
    {"corrupt gzip data", "corrupt.nii.gz",
     [] {
       std::string gz = Gzip(Header());
       gz[10] = static_cast<char>(gz[10] | 0x06);  // the first block's type: 3, reserved
       return gz;
     },
     "corrupt.nii.gz", "corrupt.nii.gz is a corrupt gzip file (invalid block type)"},
    {"corrupt gzip header", "method.nii.gz",
     [] {
       std::string gz = Gzip(Header());
       gz[2] = 7;  // compression method: only 8 (deflate) exists
       return gz;
     },
     "method.nii.gz", "method.nii.gz is a corrupt gzip file (unknown compression method)"},
    {"gzip of empty blocks only", "stall.nii.gz",
     [] {
       // Stored blocks of no bytes (header 00, LEN 0000, NLEN FFFF), 1.2 MB of them.
       std::string gz("\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\xff", 10);
       for (int i = 0; i < 250000; ++i) gz.append("\x00\x00\x00\xff\xff", 5);
       return gz;
     },
     "stall.nii.gz", "stall.nii.gz: the first 1 MB of its gzip data hold no complete image header"},
};

void PrintTo(const TBadFile& c, std::ostream* os) { *os << c.what; }

class ImageFileBad : public testing::TestWithParam<TBadFile> {};

TEST_P(ImageFileBad, SaysWhatIsWrongAndKeepsThePreviousImage) {
  const TBadFile& c = GetParam();
  TempDir dir;
  if (c.bytes)
    WriteFileBytes(dir / c.file, c.bytes());
  else
    fs::create_directory(dir / c.file);
  TNiftiImage out = Previous();
  EXPECT_EQ(LoadNiftiHeader((dir / c.open).string(), out), c.message);
  EXPECT_EQ(out.name, "previous.nii");
  EXPECT_EQ(out.size[0], 7);
  std::string bytes = "kept";
  if (!ReadNiftiHeaderBytes((dir / c.open).string(), bytes).empty()) {
    EXPECT_EQ(bytes, "kept");
  }
}

INSTANTIATE_TEST_SUITE_P(Files, ImageFileBad, testing::ValuesIn(kBadFiles),
                         ParamName<TBadFile>);

// --- A gzip bomb -------------------------------------------------------------------

TEST(ImageFileGzip, TheZerosBuilderMakesAValidGzipFile) {
  TempDir dir;
  WriteFileBytes(dir / "three.nii.gz", GzipWithZeros(Header(), 3));
  unsigned long long total = 0;
  ASSERT_TRUE(GunzipAll(dir / "three.nii.gz", total));
  EXPECT_EQ(total, 348ull + 3 * (1ull << 20));
}

TEST(ImageFileGzip, ABombOfFourGigabytesLoadsOnlyItsHeader) {
  TempDir dir;
  const fs::path bomb = dir / "bomb.nii.gz";
  std::string header = Header() + std::string(4, '\0');
  WriteFileBytes(bomb, GzipWithZeros(header, 4096));  // 4 GiB of voxels
  EXPECT_LT(fs::file_size(bomb), 8u << 20);

  TNiftiImage img;
  ASSERT_EQ(LoadNiftiHeader(bomb.string(), img), "");
  EXPECT_EQ(DescribeNiftiImage(img), std::string("bomb.nii.gz: ") + kSizes);
  TVoxelToRas map(img, 1);
  TRasPoint p = map.Map(TVoxel{1, 1, 1});
  EXPECT_EQ(p.x, -90);
  EXPECT_EQ(p.y, 126);
  EXPECT_EQ(p.z, -72);
}

}  // namespace
