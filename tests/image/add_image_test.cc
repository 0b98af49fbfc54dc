#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "base/bp_exception.h"
#include "image/image_format.h"
#include "package/file_writer.h"
#include "test_support.h"

namespace {

using testing_support::JpegBytes;
using testing_support::PngBytes;
using testing_support::TempDir;
using testing_support::U32;
using testing_support::WriteFile;

struct ContentCase {
  const char* name;
  std::string content;
  int format;  // -1: refused as neither PNG nor JPEG
};

void PrintTo(const ContentCase& c, std::ostream* os) { *os << c.name; }

class ImageContent : public ::testing::TestWithParam<ContentCase> {};

TEST_P(ImageContent, FormatDecidedByFirstBytes) {
  const ContentCase& c = GetParam();
  TempDir dir;
  WriteFile(dir / "logo.png", c.content);
  cBP_FILE_WRITER writer(dir / "out.bin");
  if (c.format < 0) {
    try {
      writer.AddImage(dir / "logo.png");
      FAIL() << "no exception";
    } catch (const cBP_EXCEPTION& e) {
      EXPECT_EQ(e.code, -503);
      EXPECT_STREQ(e.what(), "Invalid Image type. Must be PNG or JPEG");
    }
    EXPECT_TRUE(writer.components.empty());
    EXPECT_TRUE(writer.resources.empty());
    return;
  }
  writer.AddImage(dir / "logo.png");
  ASSERT_EQ(writer.components.size(), 1u);
  const cBP_COMPONENT_WRAPPER& record = *writer.components[0];
  const auto d = static_cast<std::uint32_t>(c.content.size());
  const std::string expected = U32(37 + d) + U32(2) + U32(static_cast<std::uint32_t>(c.format)) +
                               U32(0) + U32(9) + U32(0) + U32(d) + std::string("logo.png\0", 9) +
                               c.content;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.data.get()), record.size), expected);
  EXPECT_EQ(writer.resources, std::vector<std::string>{"logo.png"});
}

INSTANTIATE_TEST_SUITE_P(Signatures, ImageContent,
                         ::testing::Values(ContentCase{"Png", PngBytes(100), 0},
                                           ContentCase{"JpegUnderPngName", JpegBytes(100), 2},
                                           ContentCase{"JpegOfExactlyEightBytes", JpegBytes(8), 2},
                                           ContentCase{"PngOfExactlyEightBytes", PngBytes(8), 0},
                                           ContentCase{"JpegOfSevenBytes", JpegBytes(7), -1},
                                           ContentCase{"Empty", "", -1},
                                           ContentCase{"PngSignatureBrokenAtEighthByte",
                                                       PngBytes(7) + "X" + PngBytes(20), -1},
                                           ContentCase{"Text", "hello, this is text", -1},
                                           ContentCase{"TrailingBytesKept",
                                                       JpegBytes(64) + std::string(10, '\0'), 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ImageName, LastComponentOfEitherSeparator) {
  using vantu::branding_package::ImageName;
  EXPECT_EQ(ImageName("icon.jpg"), "icon.jpg");
  EXPECT_EQ(ImageName("images/sub\\icon.jpg"), "icon.jpg");
  EXPECT_EQ(ImageName("images\\sub/icon.jpg"), "icon.jpg");
  EXPECT_EQ(ImageName("C:\\art\\Logo.PNG"), "Logo.PNG");
  EXPECT_EQ(ImageName("dir/"), "");
}

TEST(AddImage, SameFileTwiceGivesTwoEqualRecordsInOrder) {
  TempDir dir;
  WriteFile(dir / "a.png", PngBytes(50));
  WriteFile(dir / "b.jpg", JpegBytes(60));
  cBP_FILE_WRITER writer(dir / "out.bin");
  writer.AddImage(dir / "b.jpg");
  writer.AddImage(dir / "a.png");
  writer.AddImage(dir / "b.jpg");
  EXPECT_EQ(writer.resources, (std::vector<std::string>{"b.jpg", "a.png", "b.jpg"}));
  ASSERT_EQ(writer.components.size(), 3u);
  EXPECT_EQ(std::memcmp(writer.components[0]->data.get(), writer.components[2]->data.get(),
                        writer.components[0]->size),
            0);
  EXPECT_EQ(writer.components[1]->size, 29u + 5u + 50u);
}

// Files that cannot be taken as images at all; code -504 and a message naming the path.
struct FileCase {
  const char* name;
  const char* relative;  // path below the scratch directory
  long long sparseSize;  // > 0: a sparse file of this size is made there
  const char* message;
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

class ImageFiles : public ::testing::TestWithParam<FileCase> {};

TEST_P(ImageFiles, RefusedWithNothingAdded) {
  const FileCase& c = GetParam();
  TempDir dir;
  const std::string path = std::string(c.relative).empty() ? dir.path() : dir / c.relative;
  if (c.sparseSize > 0) {
    WriteFile(path, "");
    ASSERT_EQ(truncate(path.c_str(), c.sparseSize), 0);
  }
  cBP_FILE_WRITER writer(dir / "out.bin");
  try {
    writer.AddImage(path);
    FAIL() << "no exception";
  } catch (const cBP_EXCEPTION& e) {
    EXPECT_EQ(e.code, -504);
    EXPECT_EQ(std::string(e.what()), c.message + path);
  }
  EXPECT_TRUE(writer.components.empty());
  EXPECT_TRUE(writer.resources.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, ImageFiles,
    ::testing::Values(FileCase{"Missing", "no/such/icon.png", 0, "Unable to open Image file: "},
                      FileCase{"Directory", "", 0, "Unable to open Image file: "},
                      FileCase{"FiveGigabytes", "huge.png", 5LL << 30,
                               "Image file too large for the package: "},
                      FileCase{"RecordJustOverFourGigabytes", "h.png", 0xFFFFFFFFLL - 29 - 5 + 1,
                               "Image file too large for the package: "}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
