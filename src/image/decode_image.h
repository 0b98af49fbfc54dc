// Decoding an image's content whole, to know that a client can show it and how large it is.
#pragma once

#include <cstdint>
#include <string>

#include "base/byte_source.h"

namespace vantu::branding_package {

// Most pixels an image may have for the tools to decode it (a 10,000 x 10,000 image).
constexpr std::uint64_t kMaxDecodedPixels = 100'000'000;
// Most bytes one decoded row may take (a PNG row before any transform); the decoders keep
// two or three of them.
constexpr std::uint64_t kMaxRowBytes = 16 << 20;
// Most bytes a JPEG decoder may keep for a whole image's coefficients (progressive and
// multi-scan JPEGs need them) whatever its size, and the most it may allocate besides.
constexpr std::uint64_t kMaxJpegMemory = 64 << 20;
// Coefficient bytes a JPEG may take beyond kMaxJpegMemory for each byte of its data: a
// photo's coefficients take 15 to 25 times its bytes, so a real photo of any size decodes,
// and memory stays a multiple of the input.
constexpr std::uint64_t kJpegMemoryPerByte = 64;
// What decoding a JPEG may cost, in blocks visited scan by scan: kJpegWorkPerByte for each
// byte of its data, and this small floor so that a tiny image's few scans pass. Entropy
// coding lets a few bytes describe millions of empty blocks, or hundreds of scans over them;
// granting each image work by its bytes alone keeps a package's decoding proportional to its
// size however many images it holds.
constexpr std::uint64_t kJpegWorkFloor = 4096;
// See kJpegWorkFloor: a real JPEG needs well under a hundred.
constexpr std::uint64_t kJpegWorkPerByte = 256;

// What decoding found: the pixel size, or why the content does not decode.
struct DecodedImage {
  bool ok = false;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::string problem;  // the decoder's reason when !ok
};

// Decodes size bytes at offset of source as format (kFormatPng or kFormatJpeg), row by
// row, so memory stays at one row. Truncated or corrupt data, a warning of the decoder
// included, images of more than kMaxDecodedPixels, and images past the memory and work
// bounds above do not decode, with a reason naming the bound. Throws std::bad_alloc when a
// decoder runs out of memory within those bounds.
DecodedImage DecodeImage(ByteSource& source, std::uint64_t offset, std::uint64_t size,
                         std::uint32_t format);

}  // namespace vantu::branding_package
