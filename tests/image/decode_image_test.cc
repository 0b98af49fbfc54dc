#include "image/decode_image.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <malloc.h>

#include <fstream>
#include <new>

#include <jpeglib.h>

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

// The small PNG's header rewritten to width x height at depth bits per sample of colorType.
std::string PngHeader(std::uint32_t width, std::uint32_t height, char depth, char colorType) {
  std::string png = PngClaiming(width, height);
  png[24] = depth;
  png[25] = colorType;
  png.replace(29, 4, BigEndian(Crc32(png.substr(12, 17))));
  return png;
}

// The small JPEG's frame header made progressive (SOF2), saying width x height.
std::string ProgressiveJpegClaiming(std::uint16_t width, std::uint16_t height) {
  std::string jpeg = JpegClaiming(width, height);
  jpeg[jpeg.find("\xff\xc0", 0, 2) + 1] = '\xc2';
  return jpeg;
}

// How Compress orders its scans: one for all components, the library's progression, one for
// each component in turn, or the script given.
enum class Scans { kOne, kProgressive, kEachComponent, kScript };

// Compresses an image of width x height with 1 (grey) or 3 components at 4:4:4, as photos
// saved for quality are, whose rows fill gives; arithmetic-coded when asked.
std::string Compress(int width, int height, int components, Scans scans, bool arithmetic,
                     const std::function<void(int y, std::vector<JSAMPLE>& row)>& fill,
                     std::vector<jpeg_scan_info> script = {}) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = components;
  info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 92, TRUE);
  info.arith_code = arithmetic ? TRUE : FALSE;
  for (int c = 0; c < info.num_components; ++c) {
    info.comp_info[c].h_samp_factor = 1;
    info.comp_info[c].v_samp_factor = 1;
  }
  if (scans == Scans::kEachComponent) {
    for (int c = 0; c < components; ++c) script.push_back({1, {c}, 0, 63, 0, 0});
  }
  if (scans == Scans::kProgressive) jpeg_simple_progression(&info);
  if (!script.empty()) {
    info.scan_info = script.data();
    info.num_scans = static_cast<int>(script.size());
  }
  jpeg_start_compress(&info, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(width * components));
  JSAMPROW rows[1] = {row.data()};
  while (info.next_scanline < info.image_height) {
    fill(static_cast<int>(info.next_scanline), row);
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string bytes(reinterpret_cast<const char*>(out), size);
  std::free(out);
  return bytes;
}

// Every sample of a row mid-grey.
void Grey(int /*y*/, std::vector<JSAMPLE>& row) { std::fill(row.begin(), row.end(), 128); }

// A valid grey progressive JPEG of width x height in scans scans: the DC, then each AC
// coefficient in turn, first at 10 bits of precision and refined one bit a scan.
std::string ProgressiveJpeg(int width, int height, int scans) {
  std::vector<jpeg_scan_info> script(static_cast<std::size_t>(scans));
  script[0] = {1, {0}, 0, 0, 0, 0};
  for (int i = 1; i < scans; ++i) {
    const int band = 1 + (i - 1) / 11;
    const int step = (i - 1) % 11;  // 0: first scan at Al 10, then refinements
    script[static_cast<std::size_t>(i)] = {1,        {0}, band, band, step == 0 ? 0 : 11 - step,
                                           10 - step};
  }
  return Compress(width, height, 1, Scans::kScript, false, Grey, script);
}

// A photo-like colour image: gradients under a little noise.
std::string PhotoJpeg(int width, int height, Scans scans) {
  unsigned noise = 1;
  return Compress(width, height, 3, scans, false, [&](int y, std::vector<JSAMPLE>& row) {
    for (std::size_t i = 0; i < row.size(); ++i) {
      noise = noise * 1103515245U + 12345U;
      row[i] = static_cast<JSAMPLE>((i / 3 + static_cast<std::size_t>(y) * (i % 3 + 1)) / 16 +
                                    (noise >> 28));
    }
  });
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
        // 65536 x 65537 is 65536 in 32 bits: the product is taken in 64.
        DecodeCase{"PngPixelsPast32Bits", PngClaiming(65536, 65537), bp::kFormatPng, false, 0, 0,
                   "65536x65537 pixels, more than the 100000000 decoded"},
        DecodeCase{"Jpeg", JpegBytes(171), bp::kFormatJpeg, true, 3, 2, ""},
        DecodeCase{"JpegSkippingALargeSegment", JpegWithSegment(65000), bp::kFormatJpeg, true, 3, 2,
                   ""},
        DecodeCase{"TruncatedJpeg", JpegBytes(171).substr(0, 160), bp::kFormatJpeg, false, 0, 0,
                   "the data ends early"},
        // Damaged scan data the decoder reads past with a warning: not a sound image.
        DecodeCase{"JpegWithDamagedScanData",
                   [] {
                     std::string jpeg = JpegBytes(171);
                     return jpeg.insert(jpeg.find("\xFF\xD9"), "\x12\x34");
                   }(),
                   bp::kFormatJpeg, false, 0, 0, "Corrupt JPEG data"},
        DecodeCase{"JpegTooManyPixels", JpegClaiming(20000, 20000), bp::kFormatJpeg, false, 0, 0,
                   "20000x20000 pixels"},
        // Bounds on what one small image may cost: memory, then time.
        DecodeCase{"PngRowsTooLong", PngHeader(100'000'000, 1, 16, 6), bp::kFormatPng, false, 0, 0,
                   "rows of 800000000 bytes, more than the 16777216 decoded"},
        DecodeCase{"PngLongestRows", PngHeader(2'097'152, 1, 16, 6), bp::kFormatPng, false, 0, 0,
                   "Not enough image data"},
        DecodeCase{"ProgressiveJpegTooLarge", ProgressiveJpegClaiming(65500, 1526), bp::kFormatJpeg,
                   false, 0, 0, "needs 200180224 bytes to decode, more than the 67108864 allowed"},
        DecodeCase{"JpegTooLargeForItsBytes", JpegClaiming(65500, 1526), bp::kFormatJpeg, false, 0,
                   0, "more than 0 scans of 1563908 blocks, more decoding than 171 bytes"},
        DecodeCase{"PngAsJpeg", PngBytes(70), bp::kFormatJpeg, false, 0, 0, "Not a JPEG file"}),
    [](const auto& info) { return std::string(info.param.name); });

// Scans are decoded while their work stays within the bound the data's size sets.
TEST(Decode, ProgressiveScansWithinTheWorkBound) {
  const std::string few = ProgressiveJpeg(2048, 2048, 10);
  bp::MemorySource fewSource(few);
  const bp::DecodedImage decoded = bp::DecodeImage(fewSource, 0, few.size(), bp::kFormatJpeg);
  EXPECT_TRUE(decoded.ok) << decoded.problem;
  EXPECT_EQ(decoded.width, 2048u);
  const std::string many = ProgressiveJpeg(2048, 2048, 500);
  bp::MemorySource manySource(many);
  EXPECT_EQ(bp::DecodeImage(manySource, 0, many.size(), bp::kFormatJpeg).problem,
            "more than 108 scans of 65536 blocks, more decoding than 27789 bytes of data justify");
}

// A JPEG whose coefficients pass the fixed bound decodes when its bytes justify them, as a
// real photo's do: progressive 4:4:4, and sequential with a scan for each component. Its
// few bytes never buy a tiny arithmetic-coded image the work of a large one.
TEST(Decode, BoundsFollowTheImagesBytes) {
  struct Case {
    std::string jpeg;
    std::string problem;
  };
  const Case cases[] = {
      {PhotoJpeg(3400, 3400, Scans::kProgressive), ""},
      {PhotoJpeg(3400, 3400, Scans::kEachComponent), ""},
      {Compress(4096, 4096, 1, Scans::kOne, true, Grey), "more than 0 scans of 262144 blocks"}};
  for (const Case& c : cases) {
    bp::MemorySource source(c.jpeg);
    const bp::DecodedImage decoded = bp::DecodeImage(source, 0, c.jpeg.size(), bp::kFormatJpeg);
    EXPECT_EQ(decoded.problem.substr(0, c.problem.size()), c.problem) << c.jpeg.size();
    EXPECT_EQ(decoded.ok, c.problem.empty());
  }
}

// Running out of memory inside a decoder is not bad data: it throws, so the tools report
// it as the fatal failure it is.
TEST(Decode, OutOfMemoryInsideTheDecoderThrows) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the address sanitizer cannot run under a memory limit";
#endif
  const std::string png = PngHeader(2'097'152, 1, 16, 6);    // rows of 16 MiB, allowed
  const std::string jpeg = ProgressiveJpeg(2048, 2048, 10);  // 8 MiB of coefficients
  for (const auto& [bytes, format] :
       {std::pair{png, bp::kFormatPng}, std::pair{jpeg, bp::kFormatJpeg}}) {
    const pid_t pid = fork();
    if (pid == 0) {
      malloc_trim(0);  // what the heap holds free would serve the decoder
      std::size_t pages = 0;
      std::ifstream("/proc/self/statm") >> pages;
      const rlim_t limit = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (4 << 20);
      const rlimit cap{limit, limit};
      setrlimit(RLIMIT_AS, &cap);
      bp::MemorySource source(bytes);
      try {
        bp::DecodeImage(source, 0, bytes.size(), format);
      } catch (const std::bad_alloc&) {
        _exit(0);
      }
      _exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << format;
  }
}

}  // namespace
