#include "image/decode_image.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "image/image_format.h"
#include "test_support.h"

namespace {

namespace bp = vantu::branding_package;
using testing_support::JpegBytes;
using testing_support::PngBytes;
using testing_support::U32;

std::uint32_t Crc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::string BigEndian(std::uint32_t v) {
  const std::string little = U32(v);
  return std::string(little.rbegin(), little.rend());
}

// The small PNG with its header saying width x height, its checksum made to match.
std::string PngClaiming(std::uint32_t width, std::uint32_t height) {
  std::string png = PngBytes(70);
  png.replace(16, 8, BigEndian(width) + BigEndian(height));
  png.replace(29, 4, BigEndian(Crc32(png.substr(12, 17))));
  return png;
}

// The small JPEG with its frame header saying width x height.
std::string JpegClaiming(std::uint16_t width, std::uint16_t height) {
  std::string jpeg = JpegBytes(171);
  const std::size_t frame = jpeg.find("\xff\xc0", 0, 2);
  jpeg[frame + 5] = static_cast<char>(height >> 8);
  jpeg[frame + 6] = static_cast<char>(height & 0xFF);
  jpeg[frame + 7] = static_cast<char>(width >> 8);
  jpeg[frame + 8] = static_cast<char>(width & 0xFF);
  return jpeg;
}

// The small JPEG with an application segment of size bytes, which the decoder skips.
std::string JpegWithSegment(std::size_t size) {
  std::string jpeg = JpegBytes(171);
  const std::string segment = std::string("\xff\xe1", 2) + static_cast<char>((size + 2) >> 8) +
                              static_cast<char>((size + 2) & 0xFF) + std::string(size, 'e');
  return jpeg.insert(2, segment);
}

struct DecodeCase {
  const char* name;
  std::string bytes;
  std::uint32_t format;
  bool ok;
  std::uint32_t width;
  std::uint32_t height;
  std::string problem;
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

class Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, SizeOrReason) {
  const DecodeCase& c = GetParam();
  // Behind some other bytes, as in a package.
  const std::string around = "prefix" + c.bytes + "suffix";
  bp::MemorySource source(around);
  const bp::DecodedImage decoded = bp::DecodeImage(source, 6, c.bytes.size(), c.format);
  EXPECT_EQ(decoded.ok, c.ok);
  EXPECT_EQ(decoded.width, c.width);
  EXPECT_EQ(decoded.height, c.height);
  EXPECT_EQ(decoded.problem.rfind(c.problem, 0), 0u) << decoded.problem;
}

INSTANTIATE_TEST_SUITE_P(
    Images, Decode,
    ::testing::Values(
        DecodeCase{"Png", PngBytes(70), bp::kFormatPng, true, 2, 1, ""},
        DecodeCase{"PngWithTrailingBytes", PngBytes(500), bp::kFormatPng, true, 2, 1, ""},
        DecodeCase{"TruncatedPng", PngBytes(70).substr(0, 50), bp::kFormatPng, false, 0, 0,
                   "the data ends early"},
        DecodeCase{"PngBadChecksum", PngClaiming(2, 1).replace(29, 1, "X"), bp::kFormatPng, false,
                   0, 0, "IHDR: CRC error"},
        DecodeCase{"PngTooManyPixels", PngClaiming(20000, 20000), bp::kFormatPng, false, 0, 0,
                   "20000x20000 pixels, more than the 100000000 decoded"},
        DecodeCase{"Jpeg", JpegBytes(171), bp::kFormatJpeg, true, 3, 2, ""},
        DecodeCase{"JpegSkippingALargeSegment", JpegWithSegment(65000), bp::kFormatJpeg, true, 3, 2,
                   ""},
        DecodeCase{"TruncatedJpeg", JpegBytes(171).substr(0, 160), bp::kFormatJpeg, false, 0, 0,
                   "the data ends early"},
        DecodeCase{"JpegTooManyPixels", JpegClaiming(20000, 20000), bp::kFormatJpeg, false, 0, 0,
                   "20000x20000 pixels"},
        DecodeCase{"PngAsJpeg", PngBytes(70), bp::kFormatJpeg, false, 0, 0, "Not a JPEG file"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
