// The companion's extract: names that would leave the directory, files in the way.
#include <sys/stat.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/inspect_support.h"
#include "e2e/run_tool.h"
#include "test_support.h"

namespace {

using testing_support::Entries;
using testing_support::Exists;
using testing_support::ImageRecordBytes;
using testing_support::LayoutRecordBytes;
using testing_support::PackageBytes;
using testing_support::PngBytes;
using testing_support::ReadFile;
using testing_support::Replaced;
using testing_support::RunInspect;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kLayout = testing_support::kSampleLayout;

// verify refuses every name extract refuses, and extract refuses it before writing.
TEST(InspectExtract, NamesThatWouldLeaveTheDirectoryAreRefused) {
  for (const std::string& name :
       std::vector<std::string>{"../evil.png", "a/b.png", "..\\evil.png", "", ".", "..",
                                "layout.xml", std::string(252, 'n') + ".png"}) {
    TempDir dir;
    const std::string layout = Replaced(Replaced(kLayout, "icon.png", "ok.png"), "logo.jpg", name);
    WriteFile(dir / "p.pkg",
              PackageBytes({LayoutRecordBytes(layout), ImageRecordBytes("ok.png", 0, PngBytes(100)),
                            ImageRecordBytes(name, 0, PngBytes(100))}));
    ASSERT_EQ(mkdir((dir / "out").c_str(), 0755), 0);
    // (An empty reference breaks a layout rule first; one with a folder can never match.)
    const bool folder = name.find_first_of("/\\") != std::string::npos;
    EXPECT_EQ(RunInspect({"verify", dir / "p.pkg"}).status, name.empty() ? 5
                                                            : folder     ? 6
                                                                         : 8)
        << name;
    const auto run = RunInspect({"extract", dir / "p.pkg", dir / "out"});
    EXPECT_EQ(run.status, 8) << name;
    EXPECT_NE(run.err.find("refusing to extract an image named \"" + name + "\""),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(Entries(dir / "out").empty()) << name;
    EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"out", "p.pkg"})) << name;
  }
}

TEST(InspectExtract, ExistingFilesNeedForce) {
  TempDir dir;
  WriteFile(dir / "p.pkg",
            PackageBytes({LayoutRecordBytes("<x/>"), ImageRecordBytes("a.png", 0, PngBytes(10))}));
  ASSERT_EQ(mkdir((dir / "out").c_str(), 0755), 0);
  WriteFile(dir / "out/a.png", "mine");
  auto run = RunInspect({"extract", dir / "p.pkg", dir / "out"});
  EXPECT_EQ(run.status, 8);
  EXPECT_EQ(run.err, dir / "p.pkg" + ": " + dir / "out/a.png" + " exists; --force replaces it\n");
  EXPECT_EQ(ReadFile(dir / "out/a.png"), "mine");
  EXPECT_FALSE(Exists(dir / "out/layout.xml"));

  run = RunInspect({"extract", "--force", dir / "p.pkg", dir / "out"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, dir / "out/a.png\n" + dir / "out/layout.xml\n");
  EXPECT_TRUE(ReadFile(dir / "out/a.png") == PngBytes(10));
}

TEST(InspectExtract, CorruptOrConflictingPackagesWriteNothing) {
  const std::string sound =
      PackageBytes({LayoutRecordBytes("<x/>"), ImageRecordBytes("a.png", 0, PngBytes(10))});
  const std::vector<std::pair<std::string, int>> cases = {
      {sound.substr(0, sound.size() - 3), 3},
      {PackageBytes({LayoutRecordBytes("<x/>"), ImageRecordBytes("a.png", 0, PngBytes(10)),
                     ImageRecordBytes("a.png", 0, PngBytes(11))}),
       8},
  };
  for (const auto& [bytes, status] : cases) {
    TempDir dir;
    WriteFile(dir / "p.pkg", bytes);
    const auto run = RunInspect({"extract", dir / "p.pkg", dir / "out"});
    EXPECT_EQ(run.status, status) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(!Exists(dir / "out") || Entries(dir / "out").empty());
  }
  // The same image stored twice extracts once.
  TempDir dir;
  WriteFile(dir / "p.pkg",
            PackageBytes({LayoutRecordBytes("<x/>"), ImageRecordBytes("a.png", 0, PngBytes(10)),
                          ImageRecordBytes("a.png", 0, PngBytes(10))}));
  EXPECT_EQ(RunInspect({"extract", dir / "p.pkg", dir / "out"}).status, 0);
  EXPECT_EQ(Entries(dir / "out"), (std::vector<std::string>{"a.png", "layout.xml"}));
}

}  // namespace
