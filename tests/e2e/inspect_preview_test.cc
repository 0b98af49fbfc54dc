// The companion's preview: what it refuses, and where it writes.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/inspect_support.h"
#include "e2e/run_tool.h"
#include "test_support.h"

namespace {

using testing_support::Exists;
using testing_support::ImageRecordBytes;
using testing_support::JpegBytes;
using testing_support::LayoutRecordBytes;
using testing_support::PackageBytes;
using testing_support::PngBytes;
using testing_support::ReadFile;
using testing_support::Replaced;
using testing_support::RunInspect;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kLayout = testing_support::kSampleLayout;

// A package or layout that cannot be previewed gets verify's or lint's status and report,
// and no page is left behind, not even a previous one touched.
TEST(InspectPreview, RefusedWithVerifyOrLintAndNoPage) {
  TempDir dir;
  WriteFile(dir / "layout.xml", kLayout);
  WriteFile(dir / "icon.png", PngBytes(100));
  WriteFile(dir / "logo.jpg", JpegBytes(200));
  WriteFile(dir / "bad.pkg",
            PackageBytes({LayoutRecordBytes(kLayout),
                          ImageRecordBytes("icon.png", 0, PngBytes(100).substr(0, 40)),
                          ImageRecordBytes("logo.jpg", 2, JpegBytes(200))}));
  WriteFile(dir / "old.html", "old page");
  auto run = RunInspect({"preview", dir / "bad.pkg", "-o", dir / "old.html"});
  const auto verify = RunInspect({"verify", dir / "bad.pkg"});
  EXPECT_EQ(run.status, 4);
  EXPECT_EQ(run.err, verify.err);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(ReadFile(dir / "old.html"), "old page");

  WriteFile(dir / "typo.xml", Replaced(kLayout, " align=\"center\"", " align=\"middle\""));
  run = RunInspect({"preview", "--layout", dir / "typo.xml", dir / "icon.png", dir / "logo.jpg",
                    "-o", dir / "new.html"});
  const auto lint = RunInspect({"lint", dir / "typo.xml", dir / "icon.png", dir / "logo.jpg"});
  EXPECT_EQ(run.status, 5);
  EXPECT_EQ(run.err, lint.out);
  EXPECT_FALSE(Exists(dir / "new.html"));

  // No images given, none where build finds them: the packager's reference check refuses the
  // layout, and so does preview.
  ASSERT_EQ(mkdir((dir / "alone").c_str(), 0755), 0);
  WriteFile(dir / "alone/layout.xml", ReadFile(dir / "layout.xml"));
  run = RunInspect({"preview", "--layout", dir / "alone/layout.xml", "-o", dir / "new.html"});
  EXPECT_EQ(run.status, 6);
  EXPECT_NE(run.err.find("error: No resource found for reference: icon.png"), std::string::npos);
  EXPECT_FALSE(Exists(dir / "new.html"));

  // A sound layout makes a page, and says where.
  run = RunInspect({"preview", "--layout", dir / "layout.xml", dir / "icon.png", dir / "logo.jpg",
                    "-o", dir / "new.html"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, dir / "new.html\n");
  EXPECT_NE(ReadFile(dir / "new.html").find("<!DOCTYPE html>"), std::string::npos);
  EXPECT_EQ(
      RunInspect({"preview", dir / "bad.pkg", dir / "layout.xml", "-o", dir / "x.html"}).status, 1);
  // --serve serves a layout, on a port there is; -o and --serve are one or the other.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"preview", "--serve", dir / "bad.pkg"},
        {"preview", "--serve", "--layout", dir / "layout.xml", "--port", "65536"},
        {"preview", "--layout", dir / "layout.xml", "--port", "8080", "-o", dir / "x.html"},
        {"preview", "--layout", dir / "layout.xml", "--serve", "-o", dir / "x.html"},
        {"preview", "--layout", dir / "layout.xml"}}) {
    EXPECT_EQ(RunInspect(args).status, 1) << args[1] << " " << args.back();
  }
}

}  // namespace

namespace {

// preview --layout reads each input once: the page describes the very bytes lint checked.
TEST(InspectPreview, LayoutAndEachImageAreOpenedOnce) {
  TempDir dir;
  WriteFile(dir / "layout.xml", kLayout);
  WriteFile(dir / "icon.png", PngBytes(100));
  WriteFile(dir / "logo.jpg", JpegBytes(200));
  const auto run = testing_support::RunProgram(
      "/usr/bin/strace", "strace",
      // (LeakSanitizer cannot run under ptrace.)
      {"-f", "-E", "ASAN_OPTIONS=detect_leaks=0", "-e", "trace=open,openat", "-o", dir / "trace",
       BP_INSPECT_PATH, "preview", "--layout", dir / "layout.xml", dir / "icon.png",
       dir / "logo.jpg", "-o", dir / "page.html"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string trace = ReadFile(dir / "trace");
  for (const char* input : {"layout.xml", "icon.png", "logo.jpg"}) {
    const std::string opened = "\"" + dir / input + "\"";
    std::size_t count = 0;
    for (std::size_t at = trace.find(opened); at != std::string::npos;
         at = trace.find(opened, at + 1)) {
      ++count;
    }
    EXPECT_EQ(count, 1u) << input << "\n" << trace;
  }
}

}  // namespace
