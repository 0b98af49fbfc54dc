#include <string>

#include <gtest/gtest.h>

#include "base/bp_exception.h"
#include "package/file_writer.h"
#include "test_support.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

struct HashCase {
  const char* name;
  std::string content;
  const char* digest;
};

void PrintTo(const HashCase& c, std::ostream* os) { *os << c.name; }

class PackageHash : public ::testing::TestWithParam<HashCase> {};

TEST_P(PackageHash, KnownDigests) {
  TempDir dir;
  WriteFile(dir / "p.bin", GetParam().content);
  EXPECT_EQ(cBP_FILE_WRITER(dir / "p.bin").GetPackageHash(), GetParam().digest);
}

// Reference values of the SHA-256 standard's examples and of zero-filled blocks.
INSTANTIATE_TEST_SUITE_P(
    Digests, PackageHash,
    ::testing::Values(
        HashCase{"Empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        HashCase{"Abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        HashCase{"TwoBlocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                 "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        HashCase{"ExactMultipleOf1024", std::string(2048, '\0'),
                 "e5a00aa9991ac8a5ee3109844d84a55583bd20572ad3ffcd42792f3c36b183ad"},
        HashCase{"OneMoreThan1024", std::string(1025, '\0'),
                 "c55b90509b8cb9bac53fbdddfc93d4e572685c509f1218423c43a5d6013bbd48"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PackageHash, MissingFileIsReportedWith504) {
  TempDir dir;
  try {
    cBP_FILE_WRITER(dir / "gone.bin").GetPackageHash();
    FAIL() << "no exception";
  } catch (const cBP_EXCEPTION& e) {
    EXPECT_EQ(e.code, -504);
    EXPECT_EQ(std::string(e.what()), "Unable to open Branding Package file: " + (dir / "gone.bin"));
  }
}

}  // namespace
