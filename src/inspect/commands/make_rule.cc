#include "inspect/commands/make_rule.h"

#include <cstring>

namespace vantu::branding_package {

std::optional<std::string> MakeWord(std::string_view path, RulePart part) {
  if (path.empty() || path.front() == '~') return std::nullopt;
  if (part == RulePart::kTarget) {
    // make drops a leading "./": what is left starting with '.' and holding no '/' may be a
    // special target (.IGNORE, .PHONY) or a suffix rule.
    std::string_view name = path;
    while (name.size() > 2 && name.substr(0, 2) == "./") name.remove_prefix(2);
    if (name.front() == '.' && name.find('/') == std::string_view::npos) return std::nullopt;
  }
  std::string word;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || std::strchr(":;=|\\*?[]()", c) != nullptr)
      return std::nullopt;
    if (c == '%' && part == RulePart::kTarget) return std::nullopt;
    if (c == ' ' || c == '#') {
      word += '\\';
    } else if (c == '$') {
      word += '$';
    }
    word += c;
  }
  return word;
}

}  // namespace vantu::branding_package
