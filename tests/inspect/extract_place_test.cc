// Extract's last step, with the target changed between the check and the move.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "base/descriptor.h"
#include "inspect/commands/commands.h"
#include "test_support.h"

namespace bp = vantu::branding_package;
using testing_support::Entries;
using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// PlaceExtracted between two folders opened as extract opens them.
std::optional<bp::Fault> Place(const TempDir& staging, const TempDir& dir,
                               const std::set<std::string>& names, bp::Existing existing,
                               const bp::FileId& package,
                               bp::FileSystem& fs = bp::RealFileSystem()) {
  const bp::Descriptor from(open(staging.path().c_str(), O_PATH | O_DIRECTORY));
  const bp::Descriptor to(open(dir.path().c_str(), O_PATH | O_DIRECTORY));
  return bp::PlaceExtracted(from.Get(), to.Get(), dir.path(), names, existing, package, fs);
}

// What appears at dir/c.png after the check: each is refused with --force, and everything
// already moved or replaced goes back as it was.
struct LateTarget {
  const char* name;
  bool isPackage;  // else a directory holding a file
};

class PlaceExtracted : public ::testing::TestWithParam<LateTarget> {};

TEST_P(PlaceExtracted, RefusesAndRollsBackWhatAppearedSinceTheCheck) {
  TempDir dir;
  TempDir staging;
  for (const char* name : {"a.png", "b.png", "c.png"}) WriteFile(staging / name, "new");
  WriteFile(dir / "a.png", "old a");
  bp::FileId package{};
  if (GetParam().isPackage) {
    WriteFile(dir / "c.png", "the package");
    package = *bp::IdOfFile(dir / "c.png");
  } else {
    ASSERT_EQ(mkdir((dir / "c.png").c_str(), 0755), 0);
    WriteFile(dir / "c.png/kept", "kept");
  }
  const auto fault =
      Place(staging, dir, {"a.png", "b.png", "c.png"}, bp::Existing::kReplace, package);
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->kind, bp::Status::kRefused);
  EXPECT_EQ(fault->message.rfind(dir / "c.png", 0), 0u) << fault->message;
  EXPECT_EQ(ReadFile(dir / "a.png"), "old a");
  EXPECT_FALSE(Exists(dir / "b.png"));
  if (GetParam().isPackage) {
    EXPECT_EQ(ReadFile(dir / "c.png"), "the package");
  } else {
    EXPECT_EQ(ReadFile(dir / "c.png/kept"), "kept");
  }
  EXPECT_EQ(Entries(staging.path()), (std::vector<std::string>{"a.png", "b.png", "c.png"}));
  for (const char* name : {"a.png", "b.png", "c.png"}) EXPECT_EQ(ReadFile(staging / name), "new");
}

INSTANTIATE_TEST_SUITE_P(Extract, PlaceExtracted,
                         ::testing::Values(LateTarget{"Directory", false},
                                           LateTarget{"ThePackage", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Renames that fail from the failAt-th on (counting from 1), with EIO.
class FailingRenames : public bp::FileSystem {
 public:
  explicit FailingRenames(int failAt) : failAt_(failAt) {}
  bool Rename(int fromFolder, const std::string& from, int toFolder, const std::string& to,
              unsigned flags) override {
    if (++calls_ == failAt_) {
      errno = EIO;
      return false;
    }
    return bp::FileSystem::Rename(fromFolder, from, toFolder, to, flags);
  }

 private:
  int failAt_;
  int calls_ = 0;
};

// A move that fails part-way through --force puts every file already replaced back with
// its old content and takes back every new one, whichever move it is.
TEST(PlaceExtractedWithForce, AFailedMoveRollsEverythingBack) {
  for (int failAt = 1; failAt <= 3; ++failAt) {
    TempDir dir;
    TempDir staging;
    for (const char* name : {"a.png", "b.png", "c.png"}) WriteFile(staging / name, "new");
    WriteFile(dir / "a.png", "old a");
    WriteFile(dir / "c.png", "old c");
    FailingRenames fs(failAt);
    const auto fault =
        Place(staging, dir, {"a.png", "b.png", "c.png"}, bp::Existing::kReplace, {}, fs);
    ASSERT_TRUE(fault) << failAt;
    EXPECT_EQ(fault->kind, bp::Status::kIo);
    EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"a.png", "c.png"})) << failAt;
    EXPECT_EQ(ReadFile(dir / "a.png"), "old a") << failAt;
    EXPECT_EQ(ReadFile(dir / "c.png"), "old c") << failAt;
    for (const char* name : {"a.png", "b.png", "c.png"}) {
      EXPECT_EQ(ReadFile(staging / name), "new") << failAt << name;
    }
  }
}

// A package rewritten in place: its bytes change once the first pass has read the end
// record, as another writer's would behind the same descriptor.
class RewrittenSource : public bp::ByteSource {
 public:
  RewrittenSource(std::string before, std::string after)
      : bytes_(std::move(before)), after_(std::move(after)) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(std::uint64_t offset, void* out, std::uint64_t size) override {
    if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
    std::memcpy(out, bytes_.data() + offset, size);
    if (size == 8 && offset + 8 == bytes_.size()) bytes_ = after_;  // the end record
    return true;
  }

 private:
  std::string bytes_;
  std::string after_;
};

// A package that changes between extract's checking pass and its writing pass is refused,
// and nothing is written.
TEST(ExtractPackage, RewrittenBetweenThePassesIsRefused) {
  using testing_support::ImageRecordBytes;
  using testing_support::LayoutRecordBytes;
  using testing_support::PackageBytes;
  std::string other = testing_support::PngBytes(300);
  other[200] = 'X';
  const std::string layout = LayoutRecordBytes("<x/>");
  RewrittenSource source(
      PackageBytes({layout, ImageRecordBytes("a.png", 0, testing_support::PngBytes(300))}),
      PackageBytes({layout, ImageRecordBytes("a.png", 0, other)}));
  TempDir dir;
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(bp::ExtractPackage(source, {}, "p.pkg", dir / "out", bp::Existing::kRefuse, out, err),
            8);
  EXPECT_EQ(err.str(), "p.pkg: the package changed while it was read; nothing was extracted\n");
  EXPECT_EQ(out.str(), "");
  EXPECT_TRUE(Entries(dir / "out").empty());
}

// Another user who may write the folder swaps the staging folder for a link to a folder of
// theirs before the first move: extract works inside the folder it made, so nothing of
// theirs is moved or removed.
class SwappedStaging : public bp::FileSystem {
 public:
  SwappedStaging(std::string dir, std::string theirs) : dir_(std::move(dir)), theirs_(theirs) {}
  bool Rename(int fromFolder, const std::string& from, int toFolder, const std::string& to,
              unsigned flags) override {
    for (const std::string& name : Entries(dir_)) {
      if (name.rfind(".extract-", 0) != 0 ||
          rename((dir_ + "/" + name).c_str(), (dir_ + "/moved").c_str()) != 0) {
        continue;
      }
      EXPECT_EQ(symlink(theirs_.c_str(), (dir_ + "/" + name).c_str()), 0);
    }
    return bp::FileSystem::Rename(fromFolder, from, toFolder, to, flags);
  }

 private:
  std::string dir_;
  std::string theirs_;
};

TEST(ExtractPackage, StagingSwappedForALinkReachesNothingOutside) {
  TempDir dir;
  TempDir theirs;
  WriteFile(theirs / "layout.xml", "theirs");
  const std::string package =
      testing_support::PackageBytes({testing_support::LayoutRecordBytes("<x/>")});
  bp::MemorySource source(package);
  SwappedStaging fs(dir / "out", theirs.path());
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(
      bp::ExtractPackage(source, {}, "p.pkg", dir / "out", bp::Existing::kReplace, out, err, fs), 0)
      << err.str();
  EXPECT_EQ(ReadFile(theirs / "layout.xml"), "theirs");
  EXPECT_EQ(ReadFile(dir / "out/layout.xml"), "<x/>");
}

// Without --force a file that appeared since the check is refused, never replaced.
TEST(PlaceExtractedWithoutForce, RefusesAFileThatAppeared) {
  TempDir dir;
  TempDir staging;
  WriteFile(staging / "a.png", "new");
  WriteFile(staging / "b.png", "new");
  WriteFile(dir / "b.png", "theirs");
  const auto fault = Place(staging, dir, {"a.png", "b.png"}, bp::Existing::kRefuse, {});
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->kind, bp::Status::kRefused);
  EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"b.png"}));
  EXPECT_EQ(ReadFile(dir / "b.png"), "theirs");
}

}  // namespace
