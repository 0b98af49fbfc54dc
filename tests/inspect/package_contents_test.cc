// One reading of a package, on sources whose reads fail part-way.
#include "inspect/model/package_contents.h"

#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace bp = vantu::branding_package;

namespace {

// Memory whose reads touching a byte from failFrom on fail, as a disk that fails there would.
class FailingFrom : public bp::MemorySource {
 public:
  FailingFrom(std::string_view bytes, std::uint64_t failFrom)
      : bp::MemorySource(bytes), failFrom_(failFrom) {}
  bool ReadAt(std::uint64_t offset, void* out, std::uint64_t size) override {
    return offset + size <= failFrom_ && bp::MemorySource::ReadAt(offset, out, size);
  }

 private:
  std::uint64_t failFrom_;
};

const std::string kLayout = testing_support::LayoutRecordBytes("<x/>");
const std::string kPackage = testing_support::PackageBytes(
    {kLayout, testing_support::ImageRecordBytes("a.png", 0, testing_support::PngBytes(100))});
const std::uint64_t kDataOffset = 12 + kLayout.size() + 28 + 6;

// A read that fails part-way.
struct ReadCase {
  const char* name;
  std::uint64_t failFrom;
  bp::FileDigest digest;
  bp::Learn learn;
  std::uint64_t faultAt;  // the read fault's offset
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class ReadFailures : public ::testing::TestWithParam<ReadCase> {};

// A read that fails ends the reading with a read fault where it failed, whatever the command
// learns of the images; never a package that reads as sound or an image that "does not decode".
TEST_P(ReadFailures, EndTheReadingWithAReadFault) {
  const ReadCase& c = GetParam();
  FailingFrom source(kPackage, c.failFrom);
  const bp::PackageContents contents = bp::ReadPackageContents(source, c.digest, c.learn);
  ASSERT_TRUE(contents.fault);
  EXPECT_EQ(contents.fault->kind, bp::Status::kIo);
  EXPECT_EQ(contents.fault->offset, c.faultAt);
  EXPECT_TRUE(contents.images.empty());
}

INSTANTIATE_TEST_SUITE_P(
    PartWay, ReadFailures,
    ::testing::Values(ReadCase{"InTheHeader", 6, bp::FileDigest::kSkip, bp::Learn::kAll, 0},
                      ReadCase{"InTheLayoutRecord", 20, bp::FileDigest::kSkip, bp::Learn::kAll, 12},
                      ReadCase{"InImageDataDigested", kDataOffset + 8, bp::FileDigest::kSkip,
                               bp::Learn::kDigest, kDataOffset},
                      ReadCase{"InImageDataDecodedOnly", kDataOffset + 8, bp::FileDigest::kSkip,
                               bp::Learn::kPixels, kDataOffset},
                      ReadCase{"InTheWholeFileDigest", kDataOffset + 8, bp::FileDigest::kFirst,
                               bp::Learn::kAll, bp::kNoOffset}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

}  // namespace
