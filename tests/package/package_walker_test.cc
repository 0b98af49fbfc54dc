#include "package/package_walker.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using testing_support::ImageRecordBytes;
using testing_support::JpegBytes;
using testing_support::LayoutRecordBytes;
using testing_support::PackageBytes;
using testing_support::PngBytes;
using testing_support::U32;
using vantu::branding_package::MemorySource;
using vantu::branding_package::PackageRecord;
using vantu::branding_package::RecordType;
using vantu::branding_package::WalkFaultKind;
using vantu::branding_package::WalkPackage;

const std::string kText = "<vantu-client-branding/>";

// Header 0-11, layout record 12-52, PNG record 53-106 (name at 81, data at 87), end record
// 107-114.
std::string Sound() {
  return PackageBytes({LayoutRecordBytes(kText), ImageRecordBytes("a.png", 0, PngBytes(20))});
}

std::string Patched(std::string bytes, std::size_t offset, const std::string& with) {
  return bytes.replace(offset, with.size(), with);
}

struct FaultCase {
  const char* name;
  std::string bytes;
  WalkFaultKind kind;
  std::uint64_t offset;
  std::string message;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class MalformedPackages : public ::testing::TestWithParam<FaultCase> {};

TEST_P(MalformedPackages, FirstFaultWithItsOffset) {
  MemorySource source(GetParam().bytes);
  const auto fault = WalkPackage(source, [](const auto&) { return true; });
  ASSERT_TRUE(fault.has_value());
  EXPECT_EQ(fault->kind, GetParam().kind);
  EXPECT_EQ(fault->offset, GetParam().offset);
  EXPECT_EQ(fault->message, GetParam().message);
}

// A package whose size field is patched to match its (changed) length.
std::string Resized(std::string bytes) {
  return Patched(bytes, 0, U32(static_cast<std::uint32_t>(bytes.size())));
}

INSTANTIATE_TEST_SUITE_P(
    Walker, MalformedPackages,
    ::testing::Values(
        FaultCase{"Empty", "", WalkFaultKind::kStructure, 0,
                  "file of 0 bytes is too short for the 12-byte package header"},
        FaultCase{"TruncatedInRecord", Sound().substr(0, 60), WalkFaultKind::kStructure, 0,
                  "package size field says 115 bytes, the file has 60"},
        FaultCase{"TruncatedAndResized", Resized(Sound().substr(0, 60)), WalkFaultKind::kStructure,
                  53, "record head cut short by the end of the file"},
        FaultCase{"NoEndRecord", Resized(Sound().substr(0, 107)), WalkFaultKind::kStructure, 107,
                  "no end record"},
        FaultCase{"HeadCutShort", Resized(Sound().substr(0, 111)), WalkFaultKind::kStructure, 107,
                  "record head cut short by the end of the file"},
        FaultCase{
            "HeaderConstant", Patched(Sound(), 8, U32(2)), WalkFaultKind::kStructure,
            vantu::branding_package::kNoOffset,
            "not a branding package: the header does not hold the format's constants 0 and 1"},
        // Each constant field in turn, named by its own offset.
        FaultCase{
            "HeaderZeroField", Patched(Sound(), 4, U32(1)), WalkFaultKind::kStructure,
            vantu::branding_package::kNoOffset,
            "not a branding package: the header does not hold the format's constants 0 and 1"},
        FaultCase{"LayoutZeroField", Patched(Sound(), 20, U32(3)), WalkFaultKind::kStructure, 20,
                  "field holds 3, must be 0"},
        FaultCase{"ImageZeroField", Patched(Sound(), 65, U32(4)), WalkFaultKind::kStructure, 65,
                  "field holds 4, must be 0"},
        FaultCase{"ImageSecondZeroField", Patched(Sound(), 73, U32(5)), WalkFaultKind::kStructure,
                  73, "field holds 5, must be 0"},
        // Spare bytes inside a record: its size is larger than its parts.
        FaultCase{
            "SpareBytesInLayoutRecord", Resized(Patched(Sound(), 12, U32(45)).insert(53, "pad!")),
            WalkFaultKind::kStructure, 24, "text size 25 does not fill the record (29 bytes)"},
        FaultCase{"SpareBytesInImageRecord",
                  Resized(Patched(Sound(), 53, U32(58)).insert(107, "pad!")),
                  WalkFaultKind::kStructure, 69,
                  "name size 6 and data size 20 do not add up to the record size 58"},
        FaultCase{"RecordSmallerThanHead", Patched(Sound(), 53, U32(4)), WalkFaultKind::kStructure,
                  53, "record size 4 is smaller than the record's own 8-byte head"},
        FaultCase{"LayoutRecordBelowItsMinimum", Patched(Sound(), 12, U32(16)),
                  WalkFaultKind::kStructure, 12,
                  "layout record of 16 bytes is shorter than its 17-byte minimum"},
        FaultCase{"ImageRecordBelowItsMinimum", Patched(Sound(), 53, U32(28)),
                  WalkFaultKind::kStructure, 53,
                  "image record of 28 bytes is shorter than its 29-byte minimum"},
        FaultCase{"RecordSizeNearFourGigabytes", Patched(Sound(), 53, U32(0xFFFFFFF0u)),
                  WalkFaultKind::kStructure, 53,
                  "record of 4294967280 bytes runs past the end of the file (62 bytes left)"},
        FaultCase{"NameAndDataOverflow32Bits",
                  Patched(Patched(Sound(), 69, U32(0xFFFFFFF0u)), 77, U32(0x30u)),
                  WalkFaultKind::kStructure, 69,
                  "name size 4294967280 and data size 48 do not add up to the record size 54"},
        FaultCase{"LayoutTextSizeWrong", Patched(Sound(), 24, U32(5)), WalkFaultKind::kStructure,
                  24, "text size 5 does not fill the record (25 bytes)"},
        FaultCase{"LayoutTextNotTerminated", Patched(Sound(), 52, "x"), WalkFaultKind::kStructure,
                  52, "layout text is not terminated by a zero byte"},
        FaultCase{"ZeroInsideName", Patched(Sound(), 82, std::string(1, '\0')),
                  WalkFaultKind::kStructure, 82, "image name holds a zero byte"},
        FaultCase{"UnknownFormat", Patched(Sound(), 61, U32(1)), WalkFaultKind::kStructure, 61,
                  "unknown image format 1"},
        FaultCase{"FormatDisagrees", Patched(Sound(), 61, U32(2)), WalkFaultKind::kImage, 87,
                  "image data of a.png is PNG, the record says JPEG"},
        FaultCase{"NotAnImage", Patched(Sound(), 87, "GIF89a"), WalkFaultKind::kImage, 87,
                  "image data of a.png is neither PNG nor JPEG"},
        FaultCase{"UnknownRecordType", Patched(Sound(), 57, U32(7)), WalkFaultKind::kStructure, 57,
                  "unknown record type 7"},
        FaultCase{"ImageFirst",
                  PackageBytes({ImageRecordBytes("a.png", 0, PngBytes(8)), LayoutRecordBytes("x")}),
                  WalkFaultKind::kStructure, 12, "image record before the layout record"},
        FaultCase{"SecondLayout", PackageBytes({LayoutRecordBytes("x"), LayoutRecordBytes("y")}),
                  WalkFaultKind::kStructure, 30, "second layout record"},
        FaultCase{"EndRecordSize", Resized(Patched(Sound(), 107, U32(16)) + std::string(8, '\0')),
                  WalkFaultKind::kStructure, 107, "end record size 16, must be 8"},
        FaultCase{"BytesAfterEnd", Resized(Sound() + "junk"), WalkFaultKind::kStructure, 107,
                  "4 bytes follow the end record"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PackageWalker, VisitsEveryRecordAndPlacesContent) {
  const std::string jpeg = JpegBytes(3 << 20);
  const std::string bytes =
      PackageBytes({LayoutRecordBytes(kText), ImageRecordBytes("b.jpg", 2, jpeg)});
  MemorySource source(bytes);
  std::vector<RecordType> types;
  std::string streamed;
  const auto fault = WalkPackage(source, [&](const PackageRecord& r) {
    types.push_back(r.type);
    if (r.type == RecordType::kLayout) {
      EXPECT_EQ(r.text, kText);
    }
    if (r.type == RecordType::kImage) {
      EXPECT_EQ(r.name, "b.jpg");
      streamed = bytes.substr(r.dataOffset, r.dataSize);
    }
    return true;
  });
  EXPECT_FALSE(fault.has_value());
  EXPECT_EQ(types,
            (std::vector<RecordType>{RecordType::kLayout, RecordType::kImage, RecordType::kEnd}));
  EXPECT_TRUE(streamed == jpeg);
}

}  // namespace

namespace {

// The packager writes layout texts up to its 32-bit record, so the walker reads any text the
// file holds, however long: nothing below the file's own size is a limit.
TEST(PackageWalker, ReadsLayoutTextsLongerThan64MiB) {
  const std::string text =
      "<vantu-client-branding>" + std::string(65 << 20, 'x') + "</vantu-client-branding>";
  const std::string bytes = PackageBytes({LayoutRecordBytes(text)});
  MemorySource source(bytes);
  std::size_t read = 0;
  const auto fault = WalkPackage(source, [&](const PackageRecord& r) {
    if (r.type == RecordType::kLayout) read = r.text.size();
    return true;
  });
  EXPECT_FALSE(fault) << fault->message;
  EXPECT_EQ(read, text.size());
}

}  // namespace
