// The bash completion of both tools, run in a real bash as a user's shell would.
#include <sys/stat.h>

#include <set>
#include <sstream>
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
  // The tool as installed: on the PATH.
  std::string inspect = BP_INSPECT_PATH;
  std::string script = "PATH=\"" + inspect.substr(0, inspect.rfind('/')) +
                       ":$PATH\"; shopt -s extglob; cd \"$1\" && source \"$2\"; COMP_WORDS=(";
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
        CompletionCase{
            "EveryCommand",
            {"branding-package-inspect", ""},
            "--help\n--"
            "version\nbuild\ndiff\nextract\nlint\nlist\nlsp\npreview\nrefs\ntextconv\nverify\n"},
        CompletionCase{"PreviewOptions",
                       {"branding-package-inspect", "preview", "--"},
                       "--config\n--help\n--layout\n--output\n--port\n--serve\n"},
        CompletionCase{"RefsOptions",
                       {"branding-package-inspect", "refs", "--"},
                       "--config\n--depfile\n--dir\n--help\n--null\n--output\n"},
        CompletionCase{"FormatValues",
                       {"branding-package-inspect", "lint", "--format", ""},
                       "github\njson\nsarif\ntext\n"},
        CompletionCase{"FileWithASpace",
                       {"branding-package-inspect", "lint", "images/app "},
                       "images/app icon.png\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// Each command completes exactly the long options its --help lists (but --version and
// --ignore_rest, which nobody types after a command), and the ids --allow takes.
TEST(Completion, EveryCommandsOptionsAsItsHelpListsThem) {
  TempDir dir;
  for (const char* command :
       {"list", "verify", "extract", "lint", "build", "refs", "textconv", "diff", "preview"}) {
    const auto help = testing_support::RunInspect({command, "--help"}).out;
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
    std::set<std::string> options;
    for (std::size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
      const std::size_t end =
          help.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_-", at + 2);
      const std::string option = help.substr(at, end - at);
      if (option.size() > 2 && option != "--version" && option != "--ignore_rest") {
        options.insert(option);
      }
    }
    std::string expected;
    for (const std::string& option : options) expected += option + "\n";
    EXPECT_EQ(Complete("branding_package_inspect", {"branding-package-inspect", command, "--"},
                       dir.path()),
              expected)
        << command;
  }
  const std::string ids =
      Complete("branding_package_inspect", {"branding-package-inspect", "lint", "--deny", "link"},
               dir.path());
  EXPECT_EQ(ids, "link-url\n");
}

}  // namespace
