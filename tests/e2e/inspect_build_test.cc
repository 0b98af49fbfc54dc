// build: the packager's package from a layout and the images it names, linted first.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/inspect_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::Replaced;
using testing_support::RunInspect;
using testing_support::WriteFile;

class InspectBuild : public testing_support::InspectFixture {};

// The package is the packager's, byte for byte, wherever the images are found; what lint
// counts as an error, or an output that cannot be written, builds nothing, depfile included.
TEST_F(InspectBuild, BuildsThePackagersPackageOrNothing) {
  ASSERT_EQ(mkdir((dir_ / "brand ing").c_str(), 0755), 0);
  WriteFile(dir_ / "brand ing/icon.png", png_);
  WriteFile(dir_ / "brand ing/logo.jpg", jpeg_);
  WriteFile(dir_ / "brand ing/a:b.png", png_);
  const std::string pkg = dir_ / "b.pkg";
  const std::string dep = dir_ / "b.d";
  struct Case {
    const char* name;
    std::pair<std::string, std::string> layoutChange;  // replaced in the sample layout
    std::vector<std::string> args;
    int status;
    std::string err;     // a part of standard error
    std::string output;  // when not the package's usual name
  };
  const Case cases[] = {
      {"InTheLayoutsFolder", {}, {}, 0, "", ""},
      {"FirstFolderThatHasIt",
       {},
       {"--dir", dir_ / "none", "--dir", dir_ / "brand ing", "--dir", dir_.path()},
       0,
       "",
       ""},
      {"MissingImage", {}, {"--dir", dir_ / "none"}, 6, "icon.png [missing-image]", ""},
      // A folder of the image's name is no image: the next folder's file is.
      {"FolderInTheWay", {}, {"--dir", dir_ / "folders", "--dir", dir_.path()}, 0, "", ""},
      {"ConfigNamed",
       {"<app-name>Demo", "<app-name>"},
       {"--config", dir_ / "team.policy"},
       5,
       "[empty-text]",
       ""},
      {"WarningUnderStrict", {"<app-name>Demo", "<app-name>"}, {"--strict"}, 5, "[empty-text]", ""},
      {"SchemaWarningDenied",
       {"<quit-item>Quit</quit-item>", "<quit-itme>Quit</quit-itme>"},
       {"--deny", "schema"},
       5,
       "Element 'quit-itme': This element is not expected.",
       ""},
      {"ReferenceWithAFolder", {">icon.png<", ">x/icon.png<"}, {}, 6, "[reference-path]", ""},
      {"DepfileCannotHoldAName",
       {">icon.png<", ">a:b.png<"},
       {"--dir", dir_ / "brand ing"},
       8,
       "a:b.png: cannot be written in a depfile",
       ""},
      {"OutputIsAnInput", {}, {}, 8, "is also an input", dir_ / "icon.png"},
      {"OutputIsThePolicyFile", {}, {}, 8, "is also an input", dir_ / ".branding-lint"},
      {"DepfileIsThePolicyFile",
       {},
       {"--config", dir_ / ".branding-lint", "--depfile", dir_ / ".branding-lint"},
       8,
       "is also an input",
       ""},
      // The depfile and the package one file: neither is written over the other.
      {"DepfileIsThePackage",
       {},
       {"--depfile", dir_ / "b.pkg"},
       1,
       "the depfile and the package are one file",
       ""},
      {"DepfileIsThePackageThroughALink",
       {},
       {"--depfile", dir_ / "pkg-link"},
       8,
       "is also an input",
       ""},
      {"PackageIsTheNewDepfileThroughALink",
       {},
       {"--depfile", dir_ / "new.d"},
       8,
       "is also an input",
       dir_ / "new-link"},
      // The depfile is written first: one that cannot be keeps the old package.
      {"DepfileInAMissingFolder",
       {},
       {"--depfile", dir_ / "none/b.d"},
       2,
       "none/b.d: cannot write the depfile: No such file or directory",
       ""},
      {"DepfileOnAFullDevice",
       {},
       {"--depfile", "/dev/full"},
       2,
       "/dev/full: cannot write the depfile: No space left on device",
       ""},
  };
  WriteFile(dir_ / ".branding-lint", "# the project's\n");
  WriteFile(dir_ / "team.policy", "deny = empty-text\n");
  ASSERT_EQ(mkdir((dir_ / "folders").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir_ / "folders/icon.png").c_str(), 0755), 0);
  ASSERT_EQ(symlink("b.pkg", (dir_ / "pkg-link").c_str()), 0);
  ASSERT_EQ(symlink("new.d", (dir_ / "new-link").c_str()), 0);
  for (const Case& c : cases) {
    const std::string layout = dir_ / "l.xml";
    WriteFile(layout, c.layoutChange.first.empty()
                          ? testing_support::kSampleLayout
                          : Replaced(testing_support::kSampleLayout, c.layoutChange.first,
                                     c.layoutChange.second));
    std::vector<std::string> args{"build", layout, "-o", c.output.empty() ? pkg : c.output};
    if (std::find(c.args.begin(), c.args.end(), "--depfile") == c.args.end()) {
      args.insert(args.end(), {"--depfile", dep});
    }
    args.insert(args.end(), c.args.begin(), c.args.end());
    WriteFile(pkg, "old package");
    const auto run = RunInspect(args);
    EXPECT_EQ(run.status, c.status) << c.name << run.err;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << c.name << run.err;
    if (c.status == 0) {
      EXPECT_EQ(run.out, "Output file: " + pkg + "\nHash: " + hash_ + "\n") << c.name;
      EXPECT_EQ(ReadFile(pkg), ReadFile(package_)) << c.name;
      // The images as found, a space escaped as make and ninja read it.
      const bool branding =
          std::find(c.args.begin(), c.args.end(), dir_ / "brand ing") != c.args.end();
      const std::string folder = branding ? dir_ / "brand\\ ing" : dir_.path();
      EXPECT_NE(ReadFile(dep).find(folder + "/logo.jpg:\n"), std::string::npos) << ReadFile(dep);
      EXPECT_NE(ReadFile(dep).find(folder + "/icon.png:\n"), std::string::npos) << ReadFile(dep);
    } else {
      EXPECT_EQ(run.out, "") << c.name;
      EXPECT_EQ(ReadFile(pkg), "old package") << c.name;
      EXPECT_NE(access(dep.c_str(), F_OK), 0) << c.name;
      EXPECT_EQ(ReadFile(dir_ / "icon.png"), png_);
      EXPECT_EQ(ReadFile(dir_ / ".branding-lint"), "# the project's\n") << c.name;
    }
    unlink(pkg.c_str());
    unlink(dep.c_str());
    unlink((dir_ / "new.d").c_str());
  }
}

}  // namespace
