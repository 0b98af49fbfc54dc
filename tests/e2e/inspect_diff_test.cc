// The companion's diff: every difference of layout and images, and very large layouts.
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/inspect_support.h"
#include "e2e/run_tool.h"
#include "test_support.h"

namespace {

using testing_support::ImageRecordBytes;
using testing_support::JpegBytes;
using testing_support::LayoutRecordBytes;
using testing_support::PackageBytes;
using testing_support::PngBytes;
using testing_support::Replaced;
using testing_support::RunInspect;
using testing_support::RunTool;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kLayout = testing_support::kSampleLayout;

class InspectDiff : public ::testing::Test {
 protected:
  // Builds a package from layout and images (name, content), each in a folder of its own.
  std::string Build(const std::string& name, const std::string& layout,
                    const std::vector<std::pair<std::string, std::string>>& images) {
    const std::string folder = dir_ / name;
    EXPECT_EQ(mkdir(folder.c_str(), 0755), 0);
    WriteFile(folder + "/layout.xml", layout);
    std::vector<std::string> args{"-x", folder + "/layout.xml", "-o", folder + ".pkg"};
    for (const auto& [file, bytes] : images) {
      WriteFile(folder + "/" + file, bytes);
      args.insert(args.end(), {"-i", folder + "/" + file});
    }
    EXPECT_EQ(RunTool(args).status, 0);
    return folder + ".pkg";
  }

  TempDir dir_;
};

// Same, a changed layout, a changed image, an added and a removed image, another order.
TEST_F(InspectDiff, TellsEveryDifference) {
  const auto png = PngBytes(100);
  const auto jpeg = JpegBytes(200);
  const std::string a = Build("a", kLayout, {{"icon.png", png}, {"logo.jpg", jpeg}});
  const std::string same = Build("same", kLayout, {{"icon.png", png}, {"logo.jpg", jpeg}});
  const std::string layout =
      Build("layout", Replaced(kLayout, "Demo", "Demo 2"), {{"icon.png", png}, {"logo.jpg", jpeg}});
  const std::string image =
      Build("image", kLayout, {{"icon.png", PngBytes(101)}, {"logo.jpg", jpeg}});
  const std::string swapped = Build("swapped", Replaced(kLayout, "logo.jpg", "logo2.jpg"),
                                    {{"icon.png", png}, {"logo2.jpg", jpeg}});
  const std::string order = Build("order", kLayout, {{"logo.jpg", jpeg}, {"icon.png", png}});
  const std::string sha = "sha256 ";
  struct Case {
    std::string b;
    int status;
    std::string body;
  };
  const std::vector<Case> cases = {
      {same, 0, ""},
      {layout, 9,
       "layout:\n-/vantu-client-branding/app-name = \"Demo\"\n"
       "+/vantu-client-branding/app-name = \"Demo 2\"\n"},
      {image, 9, "images:\n~icon.png: PNG, 2x1 pixels, 100 bytes, "},
      {swapped, 9,
       "layout:\n-/vantu-client-branding/about/line/logo = \"logo.jpg\"\n"
       "+/vantu-client-branding/about/line/logo = \"logo2.jpg\"\n"
       "images:\n>logo.jpg -> logo2.jpg (renamed): JPEG, 3x2 pixels, 200 bytes, "},
      {order, 9, "image order: icon.png, logo.jpg -> logo.jpg, icon.png\n"},
  };
  for (const Case& c : cases) {
    const auto run = RunInspect({"diff", a, c.b});
    EXPECT_EQ(run.status, c.status) << c.b;
    EXPECT_EQ(run.err, "");
    if (c.body.empty()) {
      EXPECT_EQ(run.out, "");
    } else {
      EXPECT_EQ(run.out.find("--- " + a + "\n+++ " + c.b + "\n" + c.body), 0u) << run.out;
    }
  }
  // Other content under another name is one image removed and one added.
  const std::string other = Build("other", Replaced(kLayout, "logo.jpg", "logo2.jpg"),
                                  {{"icon.png", png}, {"logo2.jpg", JpegBytes(300)}});
  const auto added = RunInspect({"diff", a, other});
  EXPECT_NE(added.out.find("images:\n-logo.jpg: JPEG, 3x2 pixels, 200 bytes, " + sha),
            std::string::npos)
      << added.out;
  EXPECT_NE(added.out.find("\n+logo2.jpg: JPEG, 3x2 pixels, 300 bytes, " + sha), std::string::npos)
      << added.out;
  // Two removed images of one content and one added: one rename, the other removed.
  const std::string twin = Build("twin", Replaced(kLayout, "logo.jpg", "logo.png"),
                                 {{"icon.png", png}, {"logo.png", png}});
  const std::string renamed =
      Build("renamed", Replaced(Replaced(kLayout, "logo.jpg", "new.png"), "icon.png", "icon2.png"),
            {{"icon2.png", PngBytes(102)}, {"new.png", png}});
  const auto claimed = RunInspect({"diff", twin, renamed});
  std::size_t renames = 0;
  for (std::size_t at = claimed.out.find("\n>"); at != std::string::npos;
       at = claimed.out.find("\n>", at + 1)) {
    ++renames;
  }
  EXPECT_EQ(renames, 1u) << claimed.out;
  EXPECT_NE(claimed.out.find("\n-"), std::string::npos) << claimed.out;
  // textconv prints a whole package or fails: git must never show a diff of nothing.
  const std::string whole = testing_support::ReadFile(a);
  testing_support::WriteFile(dir_ / "cut.pkg", whole.substr(0, whole.size() - 10));
  const auto cut = RunInspect({"textconv", dir_ / "cut.pkg"});
  EXPECT_NE(cut.status, 0);
  EXPECT_NE(cut.err, "");
  const auto missing = RunInspect({"diff", a, dir_ / "none.pkg"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, dir_ / "none.pkg: cannot open the file: No such file or directory\n");
}

// Layout texts that do not parse are compared whole; layouts too long to align line by line
// are compared as sets of lines.
TEST(InspectDiffLarge, UnparsedAndHugeLayouts) {
  TempDir dir;
  const std::string icon = ImageRecordBytes("icon.png", 0, PngBytes(100));
  WriteFile(dir / "a.pkg", PackageBytes({LayoutRecordBytes("<x"), icon}));
  WriteFile(dir / "b.pkg", PackageBytes({LayoutRecordBytes("<y"), icon}));
  auto run = RunInspect({"diff", dir / "a.pkg", dir / "b.pkg"});
  EXPECT_EQ(run.status, 9);
  EXPECT_NE(run.out.find("-(layout text that does not parse: expected >) \"<x\"\n"
                         "+(layout text that does not parse: expected >) \"<y\"\n"),
            std::string::npos)
      << run.out;
  std::string lines;
  for (int i = 0; i < 4100; ++i) lines += "<t>" + std::to_string(i) + "</t>";
  WriteFile(dir / "a.pkg", PackageBytes({LayoutRecordBytes("<r>" + lines + "</r>"), icon}));
  WriteFile(dir / "b.pkg",
            PackageBytes({LayoutRecordBytes("<r>" + lines + "<t>new</t></r>"), icon}));
  run = RunInspect({"diff", dir / "a.pkg", dir / "b.pkg"});
  EXPECT_EQ(run.status, 9);
  EXPECT_NE(run.out.find("layout:\n+/r/t[4101] = \"new\"\n"), std::string::npos)
      << run.out.substr(0, 300);
}

}  // namespace
