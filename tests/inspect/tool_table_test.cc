// The man page and the bash completion follow the one table of commands and statuses.
#include "inspect/tool_table.h"

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
