// The encoder against Debian's libopenigtlink (the protocol's reference library):
// our messages unpack there with the CRC check and give back what was encoded,
// the library's own messages are the same bytes, and the reader takes the
// library's messages of every kind.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "TestSupport.h"
#include "igtl/IgtlMessage.h"
#include "igtl/IgtlReader.h"
#include "igtlImageMessage.h"
#include "igtlMessageHeader.h"
#include "igtlPointMessage.h"
#include "igtlPositionMessage.h"
#include "igtlStatusMessage.h"
#include "igtlStringMessage.h"
#include "igtlTransformMessage.h"
#include "igtl_util.h"

namespace {

std::string Bytes(igtl::MessageBase* m) {
  return std::string(static_cast<const char*>(m->GetPackPointer()), static_cast<size_t>(m->GetPackSize()));
}

// The library's header of a message of ours; the caller fills the body.
igtl::MessageHeader::Pointer UnpackHeader(const std::string& bytes) {
  igtl::MessageHeader::Pointer h = igtl::MessageHeader::New();
  h->InitPack();
  std::memcpy(h->GetPackPointer(), bytes.data(), static_cast<size_t>(h->GetPackSize()));
  h->Unpack();
  return h;
}

template <typename TMessage>
typename TMessage::Pointer UnpackWithCrc(const std::string& bytes, int* status) {
  igtl::MessageHeader::Pointer h = UnpackHeader(bytes);
  typename TMessage::Pointer m = TMessage::New();
  m->SetMessageHeader(h);
  m->AllocatePack();
  EXPECT_EQ(static_cast<size_t>(m->GetPackBodySize()), bytes.size() - kIgtlHeaderSize);
  std::memcpy(m->GetPackBodyPointer(), bytes.data() + kIgtlHeaderSize, bytes.size() - kIgtlHeaderSize);
  *status = m->Unpack(1);
  return m;
}

TEST(IgtlLibrary, Crc64EqualsTheLibrarys) {
  std::mt19937 rng(11);
  for (size_t len : {0u, 1u, 5u, 8u, 48u, 58u, 1000u, 65537u}) {
    std::string s(len, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    auto* p = reinterpret_cast<unsigned char*>(s.data());
    EXPECT_EQ(IgtlCrc64(p, len), crc64(p, len, crc64(nullptr, 0, 0))) << len;
  }
}

struct TransformCase {
  std::string device;
  double t[3];
  int64_t epochMs;
};

class IgtlLibraryTransformTest : public ::testing::TestWithParam<TransformCase> {};

TEST_P(IgtlLibraryTransformTest, UnpacksWithCrcCheckAndEqualsTheLibrarysBytes) {
  const TransformCase& c = GetParam();
  const std::string ours = EncodeIgtlTransform(c.device, IgtlTranslation(c.t), c.epochMs);
  int status = 0;
  igtl::TransformMessage::Pointer m = UnpackWithCrc<igtl::TransformMessage>(ours, &status);
  ASSERT_TRUE(status & igtl::MessageHeader::UNPACK_BODY) << "CRC or body refused";
  EXPECT_STREQ(m->GetDeviceType(), "TRANSFORM");
  EXPECT_EQ(std::string(m->GetDeviceName()), c.device.substr(0, 20));
  igtl::Matrix4x4 matrix;
  m->GetMatrix(matrix);
  for (int r = 0; r < 3; ++r) {
    for (int k = 0; k < 3; ++k) EXPECT_EQ(matrix[r][k], r == k ? 1.0f : 0.0f) << r << k;
    EXPECT_EQ(matrix[r][3], static_cast<float>(c.t[r])) << r;
  }
  unsigned sec = 0, frac = 0;
  m->GetTimeStamp(&sec, &frac);
  const int64_t ms = c.epochMs;
  EXPECT_EQ(sec, static_cast<unsigned>(ms / 1000));
  // The library's nanoseconds of our fraction: within a microsecond of the milliseconds.
  EXPECT_NEAR(static_cast<double>(igtl_frac_to_nanosec(frac)), (ms % 1000) * 1e6, 1000.0);

  // The same message packed by the library is the same bytes.
  igtl::TransformMessage::Pointer lib = igtl::TransformMessage::New();
  lib->SetDeviceName(c.device.c_str());
  lib->SetMatrix(matrix);
  lib->SetTimeStamp(sec, frac);
  lib->Pack();
  EXPECT_EQ(Bytes(lib), ours) << testsupport::HexDump(Bytes(lib)) << "\nours\n" << testsupport::HexDump(ours);
}

INSTANTIATE_TEST_SUITE_P(Transforms, IgtlLibraryTransformTest,
                         ::testing::Values(TransformCase{"StylusToTracker", {12.5, -7.25, 100}, 1700000000123},
                                           TransformCase{"", {0, 0, 0}, 1000},
                                           TransformCase{"ABCDEFGHIJKLMNOPQRST", {-914.4, 914.4, 0.001}, 1999},
                                           TransformCase{"ABCDEFGHIJKLMNOPQRSTUVWXYZ", {1e-7, -3e5, 42}, 86400001}));

struct StatusCase {
  int code;
  int64_t subcode;
  std::string errorName;
  std::string text;
};

class IgtlLibraryStatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(IgtlLibraryStatusTest, UnpacksWithCrcCheckAndEqualsTheLibrarysBytes) {
  const StatusCase& c = GetParam();
  const std::string ours = EncodeIgtlStatus("Tracker", static_cast<uint16_t>(c.code), c.subcode, c.errorName,
                                            c.text, 1500);
  int status = 0;
  igtl::StatusMessage::Pointer m = UnpackWithCrc<igtl::StatusMessage>(ours, &status);
  ASSERT_TRUE(status & igtl::MessageHeader::UNPACK_BODY) << "CRC or body refused";
  EXPECT_STREQ(m->GetDeviceType(), "STATUS");
  EXPECT_STREQ(m->GetDeviceName(), "Tracker");
  EXPECT_EQ(m->GetCode(), c.code);
  EXPECT_EQ(m->GetSubCode(), c.subcode);
  // At most 19 bytes: the library reads the name as a C string.
  EXPECT_EQ(std::string(m->GetErrorName()), c.errorName.substr(0, 19));
  EXPECT_EQ(std::string(m->GetStatusString()), c.text);

  igtl::StatusMessage::Pointer lib = igtl::StatusMessage::New();
  lib->SetDeviceName("Tracker");
  lib->SetCode(c.code);
  lib->SetSubCode(c.subcode);
  lib->SetErrorName(c.errorName.substr(0, 19).c_str());
  lib->SetStatusString(c.text.c_str());
  lib->SetTimeStamp(1, 0x80000000u);
  lib->Pack();
  EXPECT_EQ(Bytes(lib), ours) << testsupport::HexDump(Bytes(lib)) << "\nours\n" << testsupport::HexDump(ours);
}

INSTANTIATE_TEST_SUITE_P(Statuses, IgtlLibraryStatusTest,
                         ::testing::Values(StatusCase{igtl::StatusMessage::STATUS_OK, 0, "", ""},
                                           StatusCase{igtl::StatusMessage::STATUS_BUSY, 0, "Busy",
                                                      "This OpenIGTLink server serves 8 clients at most"},
                                           StatusCase{igtl::StatusMessage::STATUS_UNKNOWN_ERROR, -12345, "Err",
                                                      "with text"},
                                           StatusCase{igtl::StatusMessage::STATUS_OK, 7, "12345678901234567890", "x"}));

// Messages of every kind the library makes: the reader takes them all, one by
// one, whatever the chunks.
TEST(IgtlLibrary, ReaderTakesTheLibrarysMessages) {
  struct Packed {
    std::string bytes, type, device;
  };
  std::vector<Packed> all;
  auto add = [&](igtl::MessageBase* m, const char* device) {
    m->SetDeviceName(device);
    m->Pack();
    all.push_back({Bytes(m), m->GetDeviceType(), device});
  };
  igtl::TransformMessage::Pointer t = igtl::TransformMessage::New();
  add(t, "Tool");
  igtl::PositionMessage::Pointer p = igtl::PositionMessage::New();
  add(p, "Pointer");
  igtl::StatusMessage::Pointer s = igtl::StatusMessage::New();
  s->SetStatusString("hello");
  add(s, "");
  igtl::StringMessage::Pointer str = igtl::StringMessage::New();
  str->SetString("some text");
  add(str, "Text");
  igtl::PointMessage::Pointer pt = igtl::PointMessage::New();
  igtl::PointElement::Pointer e = igtl::PointElement::New();
  e->SetName("Nasion");
  pt->AddPointElement(e);
  add(pt, "Landmarks");
  igtl::ImageMessage::Pointer img = igtl::ImageMessage::New();
  img->SetDimensions(16, 16, 4);
  img->SetScalarType(igtl::ImageMessage::TYPE_UINT16);
  img->AllocateScalars();
  std::memset(img->GetScalarPointer(), 0x7F, static_cast<size_t>(img->GetImageSize()));
  add(img, "Scan");
  igtl::GetStatusMessage::Pointer get = igtl::GetStatusMessage::New();
  add(get, "");
  ASSERT_EQ(all.size(), 7u);

  for (unsigned seed = 1; seed <= 50; ++seed) {
    std::mt19937 rng(seed);
    TIgtlReader r;
    for (size_t i = 0; i < all.size(); ++i) {
      const std::string& bytes = all[i].bytes;
      for (size_t at = 0; at < bytes.size();) {
        const size_t n = std::min(bytes.size() - at, static_cast<size_t>(1 + rng() % (seed * 7)));
        ASSERT_TRUE(r.Feed(reinterpret_cast<const uint8_t*>(bytes.data()) + at, n)) << r.Error();
        at += n;
      }
      EXPECT_EQ(r.Messages(), i + 1);
      EXPECT_TRUE(r.AtBoundary());
      EXPECT_EQ(r.LastHeader().type, all[i].type);
      EXPECT_EQ(r.LastHeader().deviceName, all[i].device);
    }
  }
}

}  // namespace
