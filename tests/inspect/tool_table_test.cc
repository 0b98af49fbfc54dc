// The man page and the bash completion follow the one table of commands and statuses.
#include "inspect/model/tool_table.h"

#include <filesystem>
#include <functional>
#include <iostream>
#include <new>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "inspect/inspect_cli.h"
#include "test_support.h"

namespace bp = vantu::branding_package;

namespace {

// The word behind each place text holds marker (up to a space, a backslash or a line end).
std::vector<std::string> After(const std::string& text, const std::string& marker) {
  std::vector<std::string> words;
  for (std::size_t at = text.find(marker); at != std::string::npos;
       at = text.find(marker, at + 1)) {
    const std::size_t start = at + marker.size();
    words.push_back(text.substr(start, text.find_first_of(" \\\n", start) - start));
  }
  return words;
}

std::set<std::string> CommandNames() {
  std::set<std::string> names;
  for (const bp::CommandEntry& entry : bp::Commands()) names.insert(entry.name);
  return names;
}

// The man page's EXIT STATUS lists every status of the table, and no other.
TEST(ToolTable, ManPageListsEveryStatus) {
  const std::string page =
      testing_support::ReadFile(BP_SOURCE_DIR "/docs/man/branding-package-inspect.1.in");
  const std::size_t start = page.find(".SH EXIT STATUS");
  ASSERT_NE(start, std::string::npos);
  const std::string section = page.substr(start, page.find(".SH", start + 1) - start);
  std::set<int> listed;
  for (const std::string& value : After(section, "\n.TP\n.B ")) listed.insert(std::stoi(value));
  std::set<int> table;
  for (const bp::StatusEntry& entry : bp::kStatuses) table.insert(static_cast<int>(entry.status));
  EXPECT_EQ(listed, table);
}

// The man page's synopsis names every command of the table, and no other (the completion
// reads them from usage).
TEST(ToolTable, ManPageNamesEveryCommand) {
  const std::string page =
      testing_support::ReadFile(BP_SOURCE_DIR "/docs/man/branding-package-inspect.1.in");
  std::set<std::string> synopsis;
  for (const std::string& name : After(page, "\n.B branding-package-inspect ")) {
    synopsis.insert(name);
  }
  EXPECT_EQ(synopsis, CommandNames());
}

}  // namespace

namespace {

// The README's map of the source names every folder of src/ on the line the layer check
// places it, and no folder that is not there.
TEST(SourceMap, TheReadmeDrawsTheTree) {
  const std::string readme = testing_support::ReadFile(BP_SOURCE_DIR "/README.md");
  const std::size_t start = readme.find("<!-- source map: begin -->");
  const std::size_t end = readme.find("<!-- source map: end -->");
  ASSERT_NE(start, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  const std::string map = readme.substr(start, end - start);
  // Each line of the block: folders, two or more spaces, what they hold.
  std::set<std::string> drawn;
  std::istringstream lines(map.substr(map.find("```\n") + 4));
  for (std::string line; std::getline(lines, line) && line != "```";) {
    std::istringstream folders(line.substr(0, line.find("  ")));
    for (std::string folder; folders >> folder;) drawn.insert(folder);
  }
  std::set<std::string> tree;
  const std::string root = BP_SOURCE_DIR "/src/";
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_directory()) tree.insert(entry.path().string().substr(root.size()));
  }
  EXPECT_EQ(drawn, tree);
}

}  // namespace

namespace {

// The packages one of scripts/install-deps.sh's arrays holds.
std::set<std::string> ScriptList(const std::string& script, const std::string& name) {
  const std::size_t start = script.find("\n" + name + "=(");
  std::istringstream words(
      script.substr(start + name.size() + 3, script.find(')', start) - start - name.size() - 3));
  std::set<std::string> packages;
  for (std::string word; words >> word;) packages.insert(word);
  return packages;
}

// The packages the README says a block lists.
std::set<std::string> ReadmeList(const std::string& readme, const std::string& marker) {
  const std::size_t start = readme.find(marker) + marker.size();
  std::istringstream words(readme.substr(start, readme.find("<!-- end -->", start) - start));
  std::set<std::string> packages;
  for (std::string word; words >> word;) packages.insert(word);
  return packages;
}

// The README names exactly the packages make demo and make test install.
TEST(SourceMap, TheReadmeListsThePackagesEachCommandInstalls) {
  const std::string script = testing_support::ReadFile(BP_SOURCE_DIR "/scripts/install-deps.sh");
  const std::string readme = testing_support::ReadFile(BP_SOURCE_DIR "/README.md");
  EXPECT_EQ(ReadmeList(readme, "<!-- tool packages -->"), ScriptList(script, "tools"));
  EXPECT_EQ(ReadmeList(readme, "<!-- test packages -->"), ScriptList(script, "tests"));
}

// A run that stops with a fault, or fails part-way with any exception (running out of memory
// is tested end to end), prints one whole document naming it, with its status; a half-written
// report is dropped.
TEST(RunWhole, AFaultOrAFailurePrintsTheFallbackDocument) {
  const std::pair<std::function<bp::Outcome()>, std::string> cases[] = {
      {[]() -> bp::Outcome { throw std::length_error("too long"); }, "70 too long"},
      {[]() -> bp::Outcome {
         return bp::Fault{bp::Status::kIo, 0, "cannot open"};
       },
       "2 cannot open"},
  };
  for (const auto& [end, expected] : cases) {
    std::ostringstream out;
    std::streambuf* const cout = std::cout.rdbuf(out.rdbuf());
    const int status = bp::RunWhole(
        "in",
        [&end = end](std::ostream& partial, std::ostream&) {
          partial << "{\"half";
          return end();
        },
        [](int code, const bp::Fault& fault) {
          return std::to_string(code) + " " + fault.message;
        });
    std::cout.rdbuf(cout);
    EXPECT_EQ(out.str(), expected);
    EXPECT_EQ(std::to_string(status), expected.substr(0, expected.find(' ')));
  }
}

}  // namespace
