// One record of what is known of an image, however it was read: a file lint was given, or an
// image record of a package.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/byte_source.h"
#include "image/decode_image.h"

namespace vantu::branding_package {

// The facts of one image.
struct ImageFacts {
  std::string name;                        // the image name: what the package calls it
  std::uint32_t format = 0;                // kFormatPng or kFormatJpeg
  std::uint64_t size = 0;                  // bytes of image data
  DecodedImage decoded;                    // when learnt: the pixel size, or why it does not decode
  std::string sha256;                      // when learnt: of its data
  std::uint64_t recordOffset = kNoOffset;  // its record's offset in a package; none for a file
  std::uint64_t dataOffset = 0;            // where its data starts in what it was read from
};

// What to learn of an image's data besides its name, format and size: a command reads what
// it shows, no more.
enum class Learn : unsigned {
  kNothing = 0,
  kPixels = 1,  // decode it: the pixel size, or why it does not decode
  kDigest = 2,  // its SHA-256
  kAll = 3
};

// Whether learn asks for fact.
inline bool Asks(Learn learn, Learn fact) {
  return (static_cast<unsigned>(learn) & static_cast<unsigned>(fact)) != 0;
}

// image with what learn asks learnt from its data, image.size bytes at image.dataOffset of
// source; none when a read of them fails (the source says why).
std::optional<ImageFacts> LearnImage(ByteSource& source, ImageFacts image, Learn learn);

// "WxH pixels" for an image that decodes, else "does not decode".
std::string PixelsText(const ImageFacts& image);

}  // namespace vantu::branding_package
