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

// An image whose data cannot be read past its signature ends the reading with a read fault
// at its data, whether or not the whole file's digest is asked for.
TEST(PackageContents, AnImageThatCannotBeReadIsAFault) {
  const std::string layout = testing_support::LayoutRecordBytes("<x/>");
  const std::string package = testing_support::PackageBytes(
      {layout, testing_support::ImageRecordBytes("a.png", 0, testing_support::PngBytes(100))});
  const std::uint64_t dataOffset = 12 + layout.size() + 28 + 6;
  FailingFrom source(package, dataOffset + 8);
  const bp::PackageContents contents = bp::ReadPackageContents(source, bp::FileDigest::kSkip);
  ASSERT_TRUE(contents.fault);
  EXPECT_EQ(contents.fault->kind, bp::Status::kIo);
  EXPECT_EQ(contents.fault->offset, dataOffset);
  EXPECT_TRUE(contents.images.empty());
  const bp::PackageContents digested = bp::ReadPackageContents(source, bp::FileDigest::kFirst);
  ASSERT_TRUE(digested.fault);
  EXPECT_EQ(digested.fault->kind, bp::Status::kIo);
  EXPECT_EQ(digested.fault->offset, bp::kNoOffset);
}

}  // namespace
