// ASCII text: letter case (file extensions, encoding names, URL schemes, hex digits), and
// the white space and commas of the policy file and its comments.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace vantu::branding_package {

// text with A-Z made a-z; every other byte as it is.
inline std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// text without the spaces, tabs and line ends around it.
inline std::string_view AsciiTrimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The items of a comma-separated list, each trimmed, empty ones left out ("a, b,,c").
inline std::vector<std::string> CommaList(std::string_view text) {
  std::vector<std::string> items;
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t comma = std::min(text.find(',', at), text.size());
    const std::string_view item = AsciiTrimmed(text.substr(at, comma - at));
    if (!item.empty()) items.emplace_back(item);
    at = comma + 1;
  }
  return items;
}

// Calls each(number, content) for each line of a settings file that holds one: its 1-based
// number and what stands before a '#', trimmed; stops when each returns false.
template <class Each>
void ForEachSetting(std::string_view text, Each each) {
  int number = 0;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    const std::string_view content = AsciiTrimmed(line.substr(0, line.find('#')));
    if (!content.empty() && !each(number, content)) return;
  }
}

}  // namespace vantu::branding_package
