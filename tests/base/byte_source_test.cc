#include "base/byte_source.h"

#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;
using vantu::branding_package::FileSource;
using vantu::branding_package::MemorySource;

TEST(FileSource, ReadsWholeFile) {
  TempDir dir;
  WriteFile(dir / "f", "hello");
  FileSource file(dir / "f");
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(file.Size(), 5u);
  char buffer[5];
  ASSERT_TRUE(file.ReadAll(buffer, 5));
  EXPECT_EQ(std::string(buffer, 5), "hello");
}

TEST(FileSource, FileThatShrinksAfterOpeningIsAShortRead) {
  TempDir dir;
  WriteFile(dir / "f", std::string(100, 'x'));
  FileSource file(dir / "f");
  ASSERT_EQ(file.Size(), 100u);
  ASSERT_EQ(truncate((dir / "f").c_str(), 40), 0);
  char buffer[100];
  EXPECT_FALSE(file.ReadAll(buffer, 100));
}

TEST(FileSource, DirectoriesAndMissingFilesDoNotOpen) {
  TempDir dir;
  EXPECT_FALSE(FileSource(dir.path()).IsOpen());
  EXPECT_FALSE(FileSource(dir / "missing").IsOpen());
}

// Reads by offset stay inside the bytes: a read that would run past the end delivers nothing.
TEST(ByteSource, ReadsPastTheEndFailOnFileAndMemory) {
  TempDir dir;
  WriteFile(dir / "f", "0123456789");
  FileSource file(dir / "f");
  MemorySource memory("0123456789");
  for (vantu::branding_package::ByteSource* source :
       {static_cast<vantu::branding_package::ByteSource*>(&file),
        static_cast<vantu::branding_package::ByteSource*>(&memory)}) {
    char buffer[4] = {};
    ASSERT_TRUE(source->ReadAt(6, buffer, 4));
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_FALSE(source->ReadAt(7, buffer, 4));
    EXPECT_FALSE(source->ReadAt(UINT64_MAX, buffer, 1));
    EXPECT_TRUE(source->ReadAt(10, buffer, 0));
  }
}

}  // namespace
