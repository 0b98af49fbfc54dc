#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "base/bp_exception.h"
#include "base/byte_source.h"
#include "digest/sha256.h"
#include "package/file_writer.h"
#include "package/records.h"
#include "package/write_package.h"
#include "test_support.h"

namespace {

using testing_support::Exists;
using testing_support::ImageRecordBytes;
using testing_support::JpegBytes;
using testing_support::LayoutRecordBytes;
using testing_support::PngBytes;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::U32;
using testing_support::WriteFile;

std::unique_ptr<cBP_COMPONENT_WRAPPER> Record(const std::string& bytes) {
  auto record = std::make_unique<cBP_COMPONENT_WRAPPER>(static_cast<std::uint32_t>(bytes.size()));
  std::memcpy(record->data.get(), bytes.data(), bytes.size());
  return record;
}

std::string Bytes(const cBP_COMPONENT_WRAPPER& record) {
  return std::string(reinterpret_cast<const char*>(record.data.get()), record.size);
}

// The codec's records and packages equal the format written out by hand, byte for byte.
TEST(RecordCodec, RecordsAndPackageMatchTheFormat) {
  namespace bp = vantu::branding_package;
  const std::string png = PngBytes(300);
  const std::string jpeg = JpegBytes(9);
  bp::MemorySource pngSource(png);
  bp::MemorySource jpegSource(jpeg);
  std::vector<bp::Record> records;
  records.push_back(bp::MakeLayoutRecord("<a/>"));
  records.push_back(bp::MakeImageRecord(pngSource, "dir/sub\\icon.png"));
  records.push_back(bp::MakeImageRecord(jpegSource, "logo.jpg"));
  EXPECT_EQ(Bytes(*records[0]), LayoutRecordBytes("<a/>"));
  EXPECT_EQ(Bytes(*records[1]), ImageRecordBytes("icon.png", 0, png));
  EXPECT_EQ(Bytes(*records[2]), ImageRecordBytes("logo.jpg", 2, jpeg));
  EXPECT_EQ(bp::EncodePackage(records),
            testing_support::PackageBytes({LayoutRecordBytes("<a/>"),
                                           ImageRecordBytes("icon.png", 0, png),
                                           ImageRecordBytes("logo.jpg", 2, jpeg)}));
  EXPECT_EQ(bp::EncodePackage({}).size(), 20u);
}

// The example package: a 300-byte layout text, a 1,234-byte PNG and a 2,048-byte JPEG.
TEST(WritePackage, WorkedExampleByteForByte) {
  TempDir dir;
  cBP_FILE_WRITER writer(dir / "out.bin");
  const std::string text(300, 'L');
  const std::string png = PngBytes(1234);
  const std::string jpeg = JpegBytes(2048);
  writer.components.push_back(Record(LayoutRecordBytes(text)));
  writer.components.push_back(Record(ImageRecordBytes("icon.png", 0, png)));
  writer.components.push_back(Record(ImageRecordBytes("logo.jpg", 2, jpeg)));
  writer.references = {"icon.png", "logo.jpg"};
  writer.resources = {"icon.png", "logo.jpg"};

  writer.WritePackage();

  const std::string file = ReadFile(dir / "out.bin");
  ASSERT_EQ(file.size(), 3693u);
  const std::string expected =
      std::string("\x6D\x0E\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00", 12) +
      std::string("\x3D\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x2D\x01\x00\x00", 16) + text +
      '\0' +
      std::string(
          "\xF7\x04\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
          "\x09\x00\x00\x00\x00\x00\x00\x00\xD2\x04\x00\x00",
          28) +
      std::string("icon.png\0", 9) + png +
      std::string(
          "\x25\x08\x00\x00\x02\x00\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00"
          "\x09\x00\x00\x00\x00\x00\x00\x00\x00\x08\x00\x00",
          28) +
      std::string("logo.jpg\0", 9) + jpeg + std::string("\x08\x00\x00\x00\x03\x00\x00\x00", 8);
  EXPECT_EQ(file, expected);
  EXPECT_EQ(file.substr(1600, 4), U32(2085));
  EXPECT_EQ(file.substr(3685), U32(8) + U32(3));
  // The writer keeps what it held.
  EXPECT_EQ(writer.components.size(), 3u);
  EXPECT_EQ(writer.resources.size(), 2u);
}

// /proc/self/fd/N and /dev/fd/N reach the open file itself: a deleted file, a memfd or a named
// file gets the package in the file that is open, and no file is made of the link's text; a
// pipe gets it in place, its size in the header though nothing can seek back.
TEST(WritePackage, WritesWhereAnOpenFilesLinkLeads) {
  namespace bp = vantu::branding_package;
  TempDir dir;
  std::vector<bp::Record> records;
  records.push_back(bp::MakeLayoutRecord("<a/>"));
  const std::string package = bp::EncodePackage(records);
  const int deleted = open((dir / "deleted").c_str(), O_RDWR | O_CREAT, 0644);
  unlink((dir / "deleted").c_str());
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const int targets[] = {deleted, memfd_create("package", 0),
                         open((dir / "named").c_str(), O_RDWR | O_CREAT, 0644), pipeEnds[1]};
  for (const int fd : targets) {
    for (const char* prefix : {"/proc/self/fd/", "/dev/fd/"}) {
      const auto hash = bp::WritePackageFile(prefix + std::to_string(fd), records);
      std::string read(package.size() + 1, '\0');
      const ssize_t got = fd == pipeEnds[1] ? ::read(pipeEnds[0], read.data(), read.size())
                                            : pread(fd, read.data(), read.size(), 0);
      EXPECT_EQ(read.substr(0, static_cast<std::size_t>(std::max<ssize_t>(got, 0))), package)
          << prefix << fd;
      EXPECT_EQ(hash.has_value(), fd != pipeEnds[1]);
    }
  }
  EXPECT_EQ(testing_support::Entries(dir.path()), std::vector<std::string>{"named"});
  for (const int fd : targets) close(fd);
  close(pipeEnds[0]);
}

TEST(WritePackage, ReplacesALongerExistingFile) {
  TempDir dir;
  WriteFile(dir / "out.bin", std::string(10000, 'x'));
  cBP_FILE_WRITER writer(dir / "out.bin");
  writer.components.push_back(Record(LayoutRecordBytes("t")));
  writer.WritePackage();
  EXPECT_EQ(ReadFile(dir / "out.bin"),
            U32(38) + U32(0) + U32(1) + LayoutRecordBytes("t") + U32(8) + U32(3));
}

// However the hash is taken (after writing for a small package, while writing for a large
// one, while the records were made when they came as expected), it is the file's digest.
TEST(WritePackage, EveryWayOfHashingGivesTheFilesDigest) {
  namespace bp = vantu::branding_package;
  struct Case {
    const char* name;
    std::size_t bytes;       // of the image record
    bool running;            // a hash taken as the records are made
    std::uint64_t sizeSlip;  // the size it expected, less the package's own
    bool swapped;            // whether it was given them out of order
  };
  const Case cases[] = {
      {"small, after writing", 1000, false, 0, false},
      {"large, while writing", 5 << 20, false, 0, false},
      {"large, as made", 5 << 20, true, 0, false},
      {"large, expected another size", 5 << 20, true, 1, false},
      {"large, given out of order", 5 << 20, true, 0, true},
  };
  TempDir dir;
  for (const Case& c : cases) {
    std::vector<bp::Record> records;
    records.push_back(Record(LayoutRecordBytes("t")));
    records.push_back(Record(std::string(c.bytes, 'i')));
    const std::string package = bp::EncodePackage(records);
    std::optional<bp::RunningDigest> running;
    if (c.running) {
      running.emplace(package.size() - c.sizeSlip);
      running->Add(*records[c.swapped ? 1 : 0]);
      running->Add(*records[c.swapped ? 0 : 1]);
    }
    const auto hash =
        bp::WritePackageFile(dir / "out.bin", records, {}, running ? &*running : nullptr);
    bp::MemorySource written(package);
    EXPECT_EQ(hash, bp::Sha256Hex(written)) << c.name;
    EXPECT_EQ(ReadFile(dir / "out.bin"), package) << c.name;
    if (running) {
      EXPECT_EQ(running->Finish(records).has_value(), c.sizeSlip == 0 && !c.swapped) << c.name;
    }
  }
}

TEST(WritePackage, MismatchLeavesExistingFileUntouched) {
  TempDir dir;
  WriteFile(dir / "out.bin", "old content");
  cBP_FILE_WRITER writer(dir / "out.bin");
  writer.components.push_back(Record(LayoutRecordBytes("t")));
  writer.references = {"a.png"};
  EXPECT_THROW(writer.WritePackage(), cBP_EXCEPTION);
  EXPECT_EQ(ReadFile(dir / "out.bin"), "old content");
}

struct FailCase {
  const char* name;
  std::string path;
  std::string message;
};

void PrintTo(const FailCase& c, std::ostream* os) { *os << c.name; }

class WriteFailures : public ::testing::TestWithParam<FailCase> {};

TEST_P(WriteFailures, ReportedWithCode504) {
  cBP_FILE_WRITER writer(GetParam().path);
  writer.components.push_back(Record(LayoutRecordBytes("t")));
  try {
    writer.WritePackage();
    FAIL() << "no exception";
  } catch (const cBP_EXCEPTION& e) {
    EXPECT_EQ(e.code, -504);
    EXPECT_EQ(std::string(e.what()), GetParam().message + GetParam().path);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Writer, WriteFailures,
    ::testing::Values(FailCase{"MissingDirectory", "/nonexistent-dir/out.bin",
                               "Unable to open Output file: "},
                      FailCase{"Directory", "/", "Unable to open Output file: "},
                      FailCase{"DeviceFull", "/dev/full", "Unable to write Output file: "}),
    [](const auto& info) { return std::string(info.param.name); });

// Two records of 2 GiB each fit one by one but not together. The buffers are never
// touched, so the system does not back them with memory.
TEST(WritePackage, RecordsTooLargeTogetherRefusedBeforeOpening) {
  TempDir dir;
  WriteFile(dir / "out.bin", "old content");
  cBP_FILE_WRITER writer(dir / "out.bin");
  writer.components.push_back(std::make_unique<cBP_COMPONENT_WRAPPER>(0x80000000u));
  writer.components.push_back(std::make_unique<cBP_COMPONENT_WRAPPER>(0x80000000u));
  try {
    writer.WritePackage();
    FAIL() << "no exception";
  } catch (const cBP_EXCEPTION& e) {
    EXPECT_EQ(e.code, -504);
    EXPECT_EQ(std::string(e.what()),
              "Package larger than 4 GiB, cannot write Output file: " + (dir / "out.bin"));
  }
  EXPECT_EQ(ReadFile(dir / "out.bin"), "old content");
}

TEST(WritePackage, ReferencesCheckedBeforeSize) {
  TempDir dir;
  cBP_FILE_WRITER writer(dir / "out.bin");
  writer.components.push_back(std::make_unique<cBP_COMPONENT_WRAPPER>(0xFFFFFFF0u));
  writer.resources = {"x.png"};
  try {
    writer.WritePackage();
    FAIL() << "no exception";
  } catch (const cBP_EXCEPTION& e) {
    EXPECT_EQ(e.code, -505);
  }
  EXPECT_FALSE(Exists(dir / "out.bin"));
}

}  // namespace
