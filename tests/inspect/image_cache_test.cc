// Images read once while they stay as they were: what a surface that checks a layout at every
// keystroke relies on, and never a stale fact.
#include "inspect/model/image_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "inspect/model/checks.h"
#include "test_support.h"

namespace bp = vantu::branding_package;
using testing_support::PngBytes;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// Each step changes the file or not; the facts and findings are always the file's own.
TEST(ImageCache, ReadsAFileAgainOnlyWhenItChanged) {
  TempDir dir;
  const std::string icon = dir / "icon.png";
  // One that keeps records, as the live page's: each found again gives its record, copied.
  bp::ImageCache cache(std::chrono::nanoseconds(0));
  cache.SetKeepsRecords(true);
  auto check = [&] {
    std::vector<bp::Finding> findings;
    const auto images = bp::CheckImages({icon}, findings, bp::Learn::kAll, &cache);
    std::string got = images[0].read ? images[0].facts.sha256.substr(0, 8) : "unread";
    if (images[0].read && (!images[0].record || images[0].Content() != ReadFile(icon))) {
      got += " [no record of the file]";
    }
    for (const bp::Finding& f : findings) got += std::string(" [") + f.kind->id + "]";
    return got + " reads " + std::to_string(cache.Reads());
  };
  WriteFile(icon, PngBytes(100));
  const std::string first = check();
  EXPECT_EQ(first.substr(8), " reads 1");
  EXPECT_EQ(check(), first);  // unchanged: not read again
  // Rewritten in place with as many bytes and its old modification time: read again.
  struct stat before {};
  ASSERT_EQ(stat(icon.c_str(), &before), 0);
  std::string other = PngBytes(100);
  other[99] = static_cast<char>(other[99] ^ 1);
  const int fd = open(icon.c_str(), O_WRONLY);
  ASSERT_EQ(pwrite(fd, other.data(), other.size(), 0), 100);
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(futimens(fd, times), 0);
  close(fd);
  const std::string second = check();
  EXPECT_NE(second.substr(0, 8), first.substr(0, 8));
  EXPECT_EQ(second.substr(8), " reads 2");
  // Replaced by rename with what does not decode, then removed.
  WriteFile(dir / "new.png", PngBytes(60));
  ASSERT_EQ(rename((dir / "new.png").c_str(), icon.c_str()), 0);
  EXPECT_EQ(check().substr(8), " [image-decode] reads 3");
  unlink(icon.c_str());
  EXPECT_EQ(check(), "unread [image-unreadable] reads 3");
}

// A file changed within the last timestamp tick is read at every check: on a file system of
// whole-second times, a logo rewritten at its size within the second keeps its stamp.
TEST(ImageCache, KeepsNothingYoungerThanATick) {
  TempDir dir;
  const std::string disk = testing_support::WholeSecondDisk(dir);
  if (disk.empty()) GTEST_SKIP() << "needs root and a loop device, to mount whole-second times";
  const std::string icon = disk + "/icon.png";
  bp::ImageCache cache;
  auto digest = [&] {
    std::vector<bp::Finding> findings;
    return bp::CheckImages({icon}, findings, bp::Learn::kAll, &cache)[0].facts.sha256;
  };
  std::string other = PngBytes(100);
  other[99] = static_cast<char>(other[99] ^ 1);
  // Written, checked and rewritten within one second, or tried again in the next.
  bool sameStamp = false;
  std::string first;
  std::string second;
  for (int attempt = 0; attempt < 5 && !sameStamp; ++attempt) {
    WriteFile(icon, PngBytes(100));
    struct stat before {};
    ASSERT_EQ(stat(icon.c_str(), &before), 0);
    first = digest();
    WriteFile(icon, other);
    struct stat after {};
    ASSERT_EQ(stat(icon.c_str(), &after), 0);
    sameStamp = bp::StampOf(before) == bp::StampOf(after);
    second = digest();
  }
  EXPECT_EQ(std::system(("umount " + disk).c_str()), 0);
  ASSERT_TRUE(sameStamp) << "the rewrite never kept its stamp";
  EXPECT_NE(second, first);
}

}  // namespace
