// Images read once while they stay as they were: what a surface that checks a layout at every
// keystroke relies on, and never a stale fact.
#include "inspect/model/image_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "inspect/model/checks.h"
#include "test_support.h"

namespace bp = vantu::branding_package;
using testing_support::PngOfSize;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// Each step changes the file or not; the facts and findings are always the file's own.
TEST(ImageCache, ReadsAFileAgainOnlyWhenItChanged) {
  TempDir dir;
  const std::string icon = dir / "icon.png";
  WriteFile(icon, PngOfSize(40, 30));
  bp::ImageCache cache;
  auto check = [&] {
    std::vector<bp::Finding> findings;
    const auto images = bp::CheckImages({icon}, findings, bp::Learn::kAll, &cache);
    std::string got = images[0].read ? bp::PixelsText(images[0].facts) : "unread";
    for (const bp::Finding& f : findings) got += std::string(" [") + f.kind->id + "]";
    return got + " reads " + std::to_string(cache.Reads());
  };
  struct stat before {};
  std::uint32_t widthFound = 0;
  const struct {
    const char* step;
    std::function<void()> change;
    std::string expected;
  } steps[] = {
      {"first", [] {}, "40x30 pixels reads 1"},
      {"unchanged", [] {}, "40x30 pixels reads 1"},
      {"rewritten in place, same size and time",
       [&] {
         ASSERT_EQ(stat(icon.c_str(), &before), 0);
         // Another width whose PNG has as many bytes.
         std::string other;
         for (std::uint32_t width = 41; other.size() != static_cast<std::size_t>(before.st_size);
              ++width) {
           ASSERT_LT(width, 400u);
           other = PngOfSize(width, 30);
           if (other.size() == static_cast<std::size_t>(before.st_size)) widthFound = width;
         }
         const int fd = open(icon.c_str(), O_WRONLY);
         ASSERT_EQ(pwrite(fd, other.data(), other.size(), 0), static_cast<ssize_t>(other.size()));
         const timespec times[2] = {before.st_atim, before.st_mtim};
         ASSERT_EQ(futimens(fd, times), 0);
         close(fd);
       },
       "WIDTHx30 pixels reads 2"},
      {"replaced by rename",
       [&] {
         WriteFile(dir / "new.png", std::string(PngOfSize(2, 2)).substr(0, 60));
         ASSERT_EQ(rename((dir / "new.png").c_str(), icon.c_str()), 0);
       },
       "does not decode [image-decode] reads 3"},
      {"a broken one unchanged", [] {}, "does not decode [image-decode] reads 3"},
      {"removed", [&] { unlink(icon.c_str()); }, "unread [image-unreadable] reads 3"},
  };
  for (const auto& s : steps) {
    s.change();
    std::string expected = s.expected;
    if (expected.rfind("WIDTH", 0) == 0) expected.replace(0, 5, std::to_string(widthFound));
    EXPECT_EQ(check(), expected) << s.step;
  }
}

}  // namespace
