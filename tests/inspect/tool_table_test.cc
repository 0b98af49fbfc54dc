// The man page and the bash completion follow the one table of commands and statuses.
#include "inspect/model/tool_table.h"

#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace bp = vantu::branding_package;

namespace {

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
  const std::regex status("\\n\\.TP\\n\\.B ([0-9]+)\\n");
  for (std::sregex_iterator it(section.begin(), section.end(), status), end; it != end; ++it) {
    listed.insert(std::stoi((*it)[1]));
  }
  std::set<int> table;
  for (const bp::StatusEntry& entry : bp::kStatuses) table.insert(static_cast<int>(entry.status));
  EXPECT_EQ(listed, table);
}

// The man page's synopsis and the completion name every command of the table, and no other.
TEST(ToolTable, ManPageAndCompletionNameEveryCommand) {
  const std::string page =
      testing_support::ReadFile(BP_SOURCE_DIR "/docs/man/branding-package-inspect.1.in");
  std::set<std::string> synopsis;
  const std::regex command("\\n\\.B branding-package-inspect ([a-z]+)");
  for (std::sregex_iterator it(page.begin(), page.end(), command), end; it != end; ++it) {
    synopsis.insert((*it)[1]);
  }
  EXPECT_EQ(synopsis, CommandNames());

  const std::string completion =
      testing_support::ReadFile(BP_SOURCE_DIR "/docs/completion/branding-package-inspect");
  std::smatch words;
  ASSERT_TRUE(std::regex_search(completion, words, std::regex("compgen -W '([^']*)'")));
  std::set<std::string> offered;
  const std::string list = words[1];
  const std::regex word("[a-z]+");
  for (std::sregex_iterator it(list.begin(), list.end(), word), end; it != end; ++it) {
    offered.insert((*it)[0]);
  }
  offered.erase("help");
  offered.erase("version");
  EXPECT_EQ(offered, CommandNames());
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
  std::set<std::string> drawn;
  const std::regex line("\\n([a-z/ ]+?)  +[a-zA-Z(]");
  for (std::sregex_iterator it(map.begin(), map.end(), line), stop; it != stop; ++it) {
    const std::string folders = (*it)[1];
    const std::regex word("[a-z/]+");
    for (std::sregex_iterator w(folders.begin(), folders.end(), word), done; w != done; ++w) {
      drawn.insert((*w)[0]);
    }
  }
  std::set<std::string> tree;
  const std::string root = BP_SOURCE_DIR "/src/";
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_directory()) tree.insert(entry.path().string().substr(root.size()));
  }
  EXPECT_EQ(drawn, tree);
}

}  // namespace
