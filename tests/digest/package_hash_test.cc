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

// size bytes, byte i being i modulo 251.
std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
  return bytes;
}

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
        // Around the 1 MiB piece the digest reads in, with bytes that differ by position.
        HashCase{"TwoWholePieces", Pattern(2 << 20),
                 "1e075c8d478ad21844e33e830a695ef03a4d2488b69ee275bd8947618bb1be1e"},
        HashCase{"OneMoreThanAPiece", Pattern((1 << 20) + 1),
                 "5769f52bc3eef28afa39c6fc68cadb7d0bd69812ae3a3d71452f519ec3c7aa56"},
        HashCase{"OneLessThanAPiece", Pattern((1 << 20) - 1),
                 "8b55c6a2d3444092a316985030e00c1e6f8608eaf912c896dee7c374d440ed11"}),
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
