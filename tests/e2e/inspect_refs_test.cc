// The companion's refs: the names a build needs, safe for any name.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/inspect_support.h"
#include "e2e/run_tool.h"
#include "test_support.h"

namespace {

using testing_support::JpegBytes;
using testing_support::PngBytes;
using testing_support::Replaced;
using testing_support::RunInspect;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kLayout = testing_support::kSampleLayout;

// refs prints what a script needs to build the image list: each name once, in order.
TEST(InspectRefs, EachNameOnceInOrder) {
  TempDir dir;
  WriteFile(dir / "l.xml", Replaced(kLayout, "</about>",
                                    "<line><logo>icon.png</logo><logo>b&amp;w.png</logo></line>"
                                    "</about>"));
  auto run = RunInspect({"refs", dir / "l.xml"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "icon.png\nlogo.jpg\nb&w.png\n");
  WriteFile(dir / "bad.xml", "<vantu-client-branding><app-icon>a.png</app-icon>");
  run = RunInspect({"refs", dir / "bad.xml"});
  EXPECT_EQ(run.status, 5);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, dir / "bad.xml:1:50: error: unexpected end of data [layout-syntax]\n");
}

// The man page's idiom: refs --null --dir feeds the packager's -i list for names with
// spaces and line ends, through a real bash.
TEST(InspectRefs, NullSeparatedNamesBuildThePackage) {
  TempDir dir;
  WriteFile(dir / "l.xml", Replaced(Replaced(kLayout, "icon.png", "my icon.png"), "logo.jpg",
                                    "two&#10;lines.jpg"));
  ASSERT_EQ(mkdir((dir / "my images").c_str(), 0755), 0);
  WriteFile(dir / "my images/my icon.png", PngBytes(100));
  WriteFile(dir / "my images/two\nlines.jpg", JpegBytes(200));
  const auto refs = RunInspect({"refs", "--null", "--dir", dir / "my images", dir / "l.xml"});
  EXPECT_EQ(refs.out, dir / "my images/my icon.png" + std::string(1, '\0') +
                          dir / "my images/two\nlines.jpg" + std::string(1, '\0'));
  const std::string script =
      "args=(); while IFS= read -r -d '' f; do args+=(-i \"$f\"); done "
      "< <(\"$0\" refs --null --dir \"$2/my images\" \"$2/l.xml\"); "
      "\"$1\" -x \"$2/l.xml\" \"${args[@]}\" -o \"$2/brand.pkg\"";
  const auto run = testing_support::RunProgram(
      "/bin/bash", "bash", {"-c", script, BP_INSPECT_PATH, BP_TOOL_PATH, dir.path()});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(RunInspect({"verify", dir / "brand.pkg"}).status, 0);
}

// refs on a layout it cannot read, and on one that breaks a rule: the names it found still
// go out, the problem to standard error.
TEST(InspectRefs, ProblemsOnStandardError) {
  TempDir dir;
  auto run = RunInspect({"refs", dir / "none.xml"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, dir / "none.xml: cannot open the file: No such file or directory\n");
  WriteFile(dir / "l.xml", Replaced(kLayout, "<line align=\"center\">", "<line align=\"x\">"));
  run = RunInspect({"refs", dir / "l.xml"});
  EXPECT_EQ(run.status, 5);
  EXPECT_EQ(run.out, "icon.png\nlogo.jpg\n");
  EXPECT_EQ(run.err, dir /
                         "l.xml:1:199: error: align must be either: left, center or right "
                         "[layout-rule]\n");
  // A reference with a folder can never build: the packager matches file names alone.
  WriteFile(dir / "l.xml", Replaced(kLayout, ">icon.png<", ">icons/icon.png<"));
  run = RunInspect({"refs", dir / "l.xml", "-o", dir / "refs.txt"});
  EXPECT_EQ(run.status, 6);
  EXPECT_NE(run.err.find(":1:63: error: the reference icons/icon.png holds a folder"),
            std::string::npos)
      << run.err;
  EXPECT_NE(access((dir / "refs.txt").c_str(), F_OK), 0);
}

}  // namespace

namespace {

// --depfile: one rule and an empty one for each image; -o writes it whole, only for a sound
// layout, never over the layout; a path neither make nor ninja reads back is refused.
TEST(InspectRefs, DepfileAndOutput) {
  TempDir dir;
  const std::string l = dir / "l.xml";
  WriteFile(l, Replaced(kLayout, "icon.png", "my icon$#1.png"));
  auto run = RunInspect({"refs", l, "--dir", "im", "--depfile", "out/b.pkg"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "out/b.pkg: " + l +
                " \\\n  im/my\\ icon$$\\#1.png \\\n  im/logo.jpg\nim/my\\ icon$$\\#1.png:\n"
                "im/logo.jpg:\n");
  run = RunInspect({"refs", l, "--depfile", "b.pkg", "-o", dir / "b.d"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  // Build's rule: the images named where build finds them, beside the layout.
  const std::string d = dir.path();
  EXPECT_EQ(testing_support::ReadFile(dir / "b.d"),
            "b.pkg: " + l + " \\\n  " + d + "/my\\ icon$$\\#1.png \\\n  " + d + "/logo.jpg\n" + d +
                "/my\\ icon$$\\#1.png:\n" + d + "/logo.jpg:\n");
  struct Refused {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const std::vector<Refused> refused = {
      {{"--dir", "a:b", "--depfile", "b.pkg"},
       8,
       "a:b/my icon$#1.png: cannot be written in a depfile"},
      {{"--depfile", "50%.pkg"}, 8, "50%.pkg: cannot be written in a depfile"},
      {{"--depfile", "b.pkg", "--null"}, 1, "Error: --depfile and --null ask for two formats"},
      {{"-o", l}, 8, l + ": is also an input, not overwriting it"},
  };
  for (const Refused& r : refused) {
    std::vector<std::string> args{"refs", l};
    args.insert(args.end(), r.args.begin(), r.args.end());
    run = RunInspect(args);
    EXPECT_EQ(run.status, r.status) << r.err;
    EXPECT_EQ(run.out, "") << r.err;
    EXPECT_NE(run.err.find(r.err), std::string::npos) << run.err;
  }
  EXPECT_EQ(testing_support::ReadFile(l), Replaced(kLayout, "icon.png", "my icon$#1.png"));
  // A layout with an error writes no file.
  WriteFile(dir / "bad.xml", Replaced(kLayout, "<app-name>Demo</app-name>", ""));
  run = RunInspect({"refs", dir / "bad.xml", "-o", dir / "bad.d"});
  EXPECT_EQ(run.status, 5);
  struct stat st {};
  EXPECT_NE(stat((dir / "bad.d").c_str(), &st), 0);
}

// refs --depfile prints build's rule, for every way of naming the folders: the layout's own,
// a found policy's dir, a policy named with --config, repeated --dir (first match wins, one
// found nowhere named in the first), and --dir over the policy's.
TEST(InspectRefs, DepfileRuleIsBuildsForEveryFolderRule) {
  TempDir dir;
  const std::string d = dir.path();
  for (const char* folder : {"/.git", "/art", "/images", "/a", "/b", "/found"}) {
    ASSERT_EQ(mkdir((d + folder).c_str(), 0755), 0);
  }
  WriteFile(dir / "found/l.xml", kLayout);
  for (const char* folder : {"/found", "/art", "/images", "/b"}) {
    WriteFile(d + folder + "/icon.png", PngBytes(100));
    WriteFile(d + folder + "/logo.jpg", JpegBytes(200));
  }
  WriteFile(dir / "a/icon.png", PngBytes(100));
  WriteFile(dir / "team.policy", "dir = art\n");
  struct Case {
    std::vector<std::string> args;
    bool policyFile;    // a .branding-lint beside the layout, with dir = ../images
    std::string image;  // where the rule finds the logo
  };
  const Case cases[] = {
      {{}, false, d + "/found/logo.jpg"},
      {{}, true, d + "/found/../images/logo.jpg"},
      {{"--config", d + "/team.policy"}, true, d + "/art/logo.jpg"},
      {{"--dir", d + "/a", "--dir", d + "/b"}, false, d + "/b/logo.jpg"},
      {{"--dir", d + "/art"}, true, d + "/art/logo.jpg"},
  };
  for (const Case& c : cases) {
    const std::string policy = dir / "found/.branding-lint";
    unlink(policy.c_str());
    if (c.policyFile) WriteFile(policy, "dir = ../images\n");
    std::vector<std::string> refs = {"refs", dir / "found/l.xml", "--depfile", dir / "b.pkg"};
    std::vector<std::string> build = {"build",       dir / "found/l.xml", "-o",
                                      dir / "b.pkg", "--depfile",         dir / "b.d"};
    refs.insert(refs.end(), c.args.begin(), c.args.end());
    build.insert(build.end(), c.args.begin(), c.args.end());
    const auto rule = RunInspect(refs);
    EXPECT_EQ(rule.status, 0) << c.image << rule.err;
    EXPECT_EQ(RunInspect(build).status, 0) << c.image;
    EXPECT_EQ(rule.out, testing_support::ReadFile(dir / "b.d")) << c.image;
    EXPECT_NE(rule.out.find("\n" + c.image + ":\n"), std::string::npos) << rule.out;
  }
}

}  // namespace
