// What the companion's end-to-end tests share: the sample layout and a package the packager
// built from it.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "e2e/run_tool.h"
#include "test_support.h"

namespace testing_support {

// text with the first from replaced by to.
inline std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

// The sample package built by the packager, and copies of it with bytes replaced.
class InspectFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_ / "layout.xml", kSampleLayout);
    WriteFile(dir_ / "icon.png", png_);
    WriteFile(dir_ / "logo.jpg", jpeg_);
    const auto run = RunTool({"-x", dir_ / "layout.xml", "-i", dir_ / "icon.png", "-i",
                              dir_ / "logo.jpg", "-o", package_});
    ASSERT_EQ(run.status, 0) << run.out;
    hash_ = run.out.substr(run.out.find("Hash: ") + 6, 64);
  }

  // The package with its bytes at offset replaced.
  std::string Corrupted(std::size_t offset, const std::string& with) {
    std::string bytes = ReadFile(package_);
    bytes.replace(offset, with.size(), with);
    const std::string path = dir_ / ("bad" + std::to_string(++corrupted_) + ".pkg");
    WriteFile(path, bytes);
    return path;
  }

  // Bytes of the package the fixture builds.
  static std::size_t PackageSize() { return 12 + kSampleLayout.size() + 17 + 737 + 937 + 8; }

  TempDir dir_;
  const std::string package_ = dir_ / "out.pkg";
  const std::string png_ = PngBytes(700);
  const std::string jpeg_ = JpegBytes(900);
  std::string hash_;
  int corrupted_ = 0;
};

}  // namespace testing_support
