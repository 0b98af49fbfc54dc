// The bash completion of both tools, run in a real bash as a user's shell would.
#include <sys/stat.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/run_tool.h"
#include "test_support.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

// What completing the last of words offers, one candidate a line, sorted.
std::string Complete(const std::string& function, const std::vector<std::string>& words,
                     const std::string& cwd) {
  std::string script = "shopt -s extglob; cd \"$1\" && source \"$2\"; COMP_WORDS=(";
  for (std::size_t i = 0; i < words.size(); ++i) script += " \"${" + std::to_string(i + 3) + "}\"";
  script += "); COMP_CWORD=" + std::to_string(words.size() - 1) + "; _" + function +
            "; printf '%s\\n' \"${COMPREPLY[@]}\" | sort";
  std::vector<std::string> args = {"-c", script, "bash", cwd,
                                   std::string(BP_COMPLETION_DIR) + "/" + words[0]};
  args.insert(args.end(), words.begin(), words.end());
  return testing_support::RunProgram("/bin/bash", "bash", args).out;
}

struct CompletionCase {
  const char* name;
  std::vector<std::string> words;
  const char* expected;
};

void PrintTo(const CompletionCase& c, std::ostream* os) { *os << c.name; }

class Completion : public ::testing::TestWithParam<CompletionCase> {};

TEST_P(Completion, Offers) {
  TempDir dir;
  ASSERT_EQ(mkdir((dir / "images").c_str(), 0755), 0);
  WriteFile(dir / "images/app icon.png", "");
  WriteFile(dir / "images/apple.png", "");
  WriteFile(dir / "images/app.txt", "");
  WriteFile(dir / "icon.png", "");
  const std::string& tool = GetParam().words[0];
  const std::string function =
      tool == "branding-package" ? "branding_package" : "branding_package_inspect";
  EXPECT_EQ(Complete(function, GetParam().words, dir.path()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bash, Completion,
    ::testing::Values(
        CompletionCase{"ImageNameWithASpace",
                       {"branding-package", "-i", "images/ap"},
                       "images/app icon.png\nimages/apple.png\n"},
        CompletionCase{"EveryCommand",
                       {"branding-package-inspect", ""},
                       "--help\n--version\ndiff\nextract\nlint\nlist\npreview\nrefs\nverify\n"},
        CompletionCase{"PreviewOptions",
                       {"branding-package-inspect", "preview", "--"},
                       "--help\n--layout\n--output\n"},
        CompletionCase{
            "RefsOptions", {"branding-package-inspect", "refs", "--"}, "--dir\n--help\n--null\n"},
        CompletionCase{"FileWithASpace",
                       {"branding-package-inspect", "lint", "images/app "},
                       "images/app icon.png\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
