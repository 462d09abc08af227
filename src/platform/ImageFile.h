#pragma once
// The MRI image's header from its file: .nii, .nii.gz, or the .hdr of an .hdr/.img
// pair. Only the header's bytes are read (and inflated), never the voxels.
#include <string>

#include "image/Nifti.h"

// Reads the first kNiftiHeaderSize bytes of the image's header into `bytes` (fewer
// when the file is shorter). Empty on success, else the message (naming the file);
// `bytes` is changed only on success.
//   - A path ending in .img (or .img.gz) reads the .hdr (.hdr.gz) beside it.
//   - A file that starts with the gzip magic (1f 8b), whatever its name, is
//     inflated through zlib only as far as the header reaches: a file that would
//     inflate to gigabytes costs no more than a small one. Members written one
//     after another read as one stream. A corrupt or truncated stream, or one that
//     yields no header within its first kMaxCompressedHeaderInput bytes, gives a
//     message; a whole stream shorter than the header gives its bytes (the
//     header's parser says it is too short).
std::string ReadNiftiHeaderBytes(const std::string& path, std::string& bytes);

// The most compressed bytes read to inflate a header (a real one needs a few
// hundred).
constexpr long kMaxCompressedHeaderInput = 1 << 20;

// ReadNiftiHeaderBytes, then ParseNiftiHeader with the file's name (without its
// folders). Empty on success, else the message; `out` is changed only on success.
std::string LoadNiftiHeader(const std::string& path, TNiftiImage& out);
