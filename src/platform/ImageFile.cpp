#include "ImageFile.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

std::string FileName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// The header of an .hdr/.img pair: x.img -> x.hdr, X.IMG -> X.HDR, x.img.gz ->
// x.hdr.gz; any other path is the header itself.
std::string HeaderPath(const std::string& path) {
  std::string p = path;
  size_t end = p.size();
  if (end >= 3 && EqualNoCase(std::string_view(p).substr(end - 3), ".gz")) end -= 3;
  if (end >= 4 && EqualNoCase(std::string_view(p).substr(end - 4, 4), ".img")) {
    bool upper = std::isupper(static_cast<unsigned char>(p[end - 3])) != 0;
    p.replace(end - 3, 3, upper ? "HDR" : "hdr");
  }
  return p;
}

std::string ErrnoText(int err) {
  if (err == EACCES || err == EPERM) return "access denied";
  return std::generic_category().message(err);
}

class TFileCloser {
 public:
  explicit TFileCloser(std::FILE* f) : f_(f) {}
  ~TFileCloser() {
    if (f_) std::fclose(f_);
  }
  TFileCloser(const TFileCloser&) = delete;
  TFileCloser& operator=(const TFileCloser&) = delete;

 private:
  std::FILE* f_;
};

// Reads up to `size` bytes; fewer only at the file's end. -1 on a read error.
long ReadSome(std::FILE* f, unsigned char* buf, size_t size) {
  size_t got = std::fread(buf, 1, size, f);
  if (got < size && std::ferror(f)) return -1;
  return static_cast<long>(got);
}

class TInflater {
 public:
  TInflater() { ok_ = inflateInit2(&zs_, 16 + MAX_WBITS) == Z_OK; }  // gzip wrapper only
  ~TInflater() {
    if (ok_) inflateEnd(&zs_);
  }
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;
  bool ok() const { return ok_; }
  z_stream& zs() { return zs_; }

 private:
  z_stream zs_{};
  bool ok_ = false;
};

}  // namespace

std::string ReadNiftiHeaderBytes(const std::string& path, std::string& bytes) {
  const std::string file = HeaderPath(path);
  const std::string name = FileName(file);

  std::error_code ec;
  std::filesystem::file_status st = std::filesystem::status(file, ec);
  if (st.type() == std::filesystem::file_type::not_found) return name + " was not found";
  if (ec) return name + " cannot be read: " + ec.message();
  if (st.type() == std::filesystem::file_type::directory)
    return name + " is a folder, not an image file";
  if (st.type() != std::filesystem::file_type::regular) return name + " is not a regular file";

  errno = 0;
  std::FILE* f = std::fopen(file.c_str(), "rb");
  if (!f) return name + " cannot be opened: " + ErrnoText(errno);
  TFileCloser closer(f);

  constexpr size_t kHeader = kNiftiHeaderSize;
  unsigned char in[16384];
  long got = ReadSome(f, in, sizeof in);
  if (got < 0) return name + " cannot be read: " + ErrnoText(errno);

  if (got < 2 || in[0] != 0x1f || in[1] != 0x8b) {
    bytes.assign(reinterpret_cast<const char*>(in),
                 std::min(static_cast<size_t>(got), kHeader));
    return {};
  }

  // gzip: inflate into a buffer of the header's size and stop when it is full.
  TInflater inflater;
  if (!inflater.ok()) return name + " cannot be inflated: zlib could not start";
  z_stream& zs = inflater.zs();
  unsigned char out[kHeader];
  zs.next_in = in;
  zs.avail_in = static_cast<uInt>(got);
  zs.next_out = out;
  zs.avail_out = kHeader;
  long consumed = got;
  bool atEnd = static_cast<size_t>(got) < sizeof in;
  for (;;) {
    int ret = inflate(&zs, Z_NO_FLUSH);
    if (zs.avail_out == 0) break;  // the header is whole
    if (ret == Z_STREAM_END) {
      // The end of one gzip member. Members written one after another are one
      // file (as gunzip reads them): the header may go on in the next one.
      if (zs.avail_in == 0 && atEnd) break;  // all it holds
      if (inflateReset(&zs) != Z_OK) return name + " cannot be inflated: zlib could not start again";
      continue;
    }
    if (ret != Z_OK && !(ret == Z_BUF_ERROR && zs.avail_in == 0))
      return name + " is a corrupt gzip file (" +
             (zs.msg ? std::string(zs.msg) : "zlib error " + std::to_string(ret)) + ")";
    if (zs.avail_in == 0) {
      if (atEnd)
        return name + " is a truncated gzip file: its data end before the image header "
                      "is complete";
      if (consumed >= kMaxCompressedHeaderInput)
        return name + ": the first " + std::to_string(kMaxCompressedHeaderInput >> 20) +
               " MB of its gzip data hold no complete image header";
      got = ReadSome(f, in, sizeof in);
      if (got < 0) return name + " cannot be read: " + ErrnoText(errno);
      atEnd = static_cast<size_t>(got) < sizeof in;
      consumed += got;
      zs.next_in = in;
      zs.avail_in = static_cast<uInt>(got);
    }
  }
  bytes.assign(reinterpret_cast<const char*>(out), kHeader - zs.avail_out);
  return {};
}

std::string LoadNiftiHeader(const std::string& path, TNiftiImage& out) {
  std::string bytes;
  std::string error = ReadNiftiHeaderBytes(path, bytes);
  if (!error.empty()) return error;
  return ParseNiftiHeader(bytes, out, FileName(HeaderPath(path)));
}
