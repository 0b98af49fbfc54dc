#include "package/input_file.h"

#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;
using vantu::branding_package::InputFile;

TEST(InputFile, ReadsWholeFile) {
  TempDir dir;
  WriteFile(dir / "f", "hello");
  InputFile file(dir / "f");
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(file.Size(), 5u);
  char buffer[5];
  ASSERT_TRUE(file.ReadAll(buffer, 5));
  EXPECT_EQ(std::string(buffer, 5), "hello");
}

TEST(InputFile, FileThatShrinksAfterOpeningIsAShortRead) {
  TempDir dir;
  WriteFile(dir / "f", std::string(100, 'x'));
  InputFile file(dir / "f");
  ASSERT_EQ(file.Size(), 100u);
  ASSERT_EQ(truncate((dir / "f").c_str(), 40), 0);
  char buffer[100];
  EXPECT_FALSE(file.ReadAll(buffer, 100));
}

TEST(InputFile, DirectoriesAndMissingFilesDoNotOpen) {
  TempDir dir;
  EXPECT_FALSE(InputFile(dir.path()).IsOpen());
  EXPECT_FALSE(InputFile(dir / "missing").IsOpen());
}

}  // namespace
