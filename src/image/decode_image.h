// Decoding an image's content whole, to know that a client can show it and how large it is.
#pragma once

#include <cstdint>
#include <string>

#include "base/byte_source.h"

namespace vantu::branding_package {

// Most pixels an image may have for the tools to decode it (a 10,000 x 10,000 image).
constexpr std::uint64_t kMaxDecodedPixels = 100'000'000;

// What decoding found: the pixel size, or why the content does not decode.
struct DecodedImage {
  bool ok = false;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::string problem;  // the decoder's reason when !ok
};

// Decodes size bytes at offset of source as format (kFormatPng or kFormatJpeg), row by
// row, so memory stays at one row. Truncated or corrupt data, a warning of the decoder
// included, and images of more than kMaxDecodedPixels do not decode.
DecodedImage DecodeImage(ByteSource& source, std::uint64_t offset, std::uint64_t size,
                         std::uint32_t format);

}  // namespace vantu::branding_package
