#include "base/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
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

// A file written to after it was opened says so: what was read may be half of each version.
TEST(FileSource, FileWrittenWhileReadHasChanged) {
  TempDir dir;
  WriteFile(dir / "f", std::string(100, 'x'));
  FileSource file(dir / "f");
  char buffer[100];
  ASSERT_TRUE(file.ReadAll(buffer, 100));
  EXPECT_FALSE(file.Changed());
  WriteFile(dir / "f", std::string(101, 'y'));
  EXPECT_TRUE(file.Changed());
  EXPECT_EQ(file.ReadFailure(), "it changed while it was read");
  EXPECT_FALSE(MemorySource("bytes").Changed());
}

// A source changed too recently for its times to show a write is read twice, and must read
// the same: a write still copying its bytes when the file was opened shows as a difference.
TEST(ByteSource, UnsettledSourceIsReadTwice) {
  class Unsettled : public MemorySource {
   public:
    using MemorySource::MemorySource;
    bool Settled() override { return false; }
    bool ReadAt(std::uint64_t offset, void* out, std::uint64_t size) override {
      const bool read = MemorySource::ReadAt(offset, out, size);
      if (read && ++reads == 2 && torn) static_cast<char*>(out)[0] ^= 1;
      return read;
    }
    int reads = 0;
    bool torn = false;
  };
  char buffer[5];
  Unsettled steady("bytes");
  EXPECT_TRUE(steady.ReadWhole(buffer, 5));
  EXPECT_EQ(steady.reads, 2);
  Unsettled moving("bytes");
  moving.torn = true;
  EXPECT_FALSE(moving.ReadWhole(buffer, 5));
  // A file just written is not settled; one written long ago is.
  TempDir dir;
  WriteFile(dir / "f", "hello");
  EXPECT_FALSE(FileSource(dir / "f").Settled());
  const timespec old[2] = {{1, 0}, {1, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (dir / "f").c_str(), old, 0), 0);
  EXPECT_FALSE(FileSource(dir / "f").Settled());  // its change time is still now
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

namespace {

// Small reads come from a read-ahead window; reads across its edges, backwards and past
// the end agree with the bytes in memory.
TEST(FileSource, WindowedReadsAgreeWithMemory) {
  TempDir dir;
  std::string bytes(150000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 % 251);
  WriteFile(dir / "f", bytes);
  FileSource file(dir / "f");
  MemorySource memory(bytes);
  std::uint64_t offset = 0;
  for (int i = 0; i < 5000; ++i) {
    offset = (offset * 6364136223846793005ULL + 1442695040888963407ULL) % 152000;
    const std::uint64_t size = offset % 40000;
    std::string a(size, 'a');
    std::string b(size, 'b');
    const bool fromFile = file.ReadAt(offset, a.data(), size);
    ASSERT_EQ(fromFile, memory.ReadAt(offset, b.data(), size)) << offset << "+" << size;
    if (fromFile) {
      ASSERT_EQ(a, b) << offset << "+" << size;
    }
  }
}

}  // namespace
