#include "inspect/commands/make_rule.h"

#include <cstring>
#include <ostream>

#include "base/shown.h"

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
    if (byte < 0x20 || byte == 0x7F || std::strchr(":;=|\\*?[]()<>^`\"'&", c) != nullptr)
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

bool PrintDepfileRule(const std::string& target, const std::vector<std::string>& files,
                      std::ostream& out, std::ostream& err) {
  std::string rule;
  std::string empty;
  auto word = [&](const std::string& path, RulePart part) {
    auto escaped = MakeWord(path, part);
    if (!escaped) {
      err << Shown(path)
          << ": cannot be written in a depfile: make and ninja read control bytes, a leading "
             "'~' and : ; = | \\ * ? [ ] ( ) < > ^ ` \" ' & differently (and in a target, as each "
             "image is, "
             "'%' or a leading '.')\n";
    }
    return escaped;
  };
  auto head = word(target, RulePart::kTarget);
  auto source = word(files.front(), RulePart::kPrerequisite);
  if (!head || !source) return false;
  rule = *head + ": " + *source;
  for (auto file = files.begin() + 1; file != files.end(); ++file) {
    // Each is also the target of an empty rule.
    auto escaped = word(*file, RulePart::kTarget);
    if (!escaped) return false;
    rule += " \\\n  " + *escaped;
    empty += *escaped + ":\n";
  }
  out << rule << "\n" << empty;
  return true;
}

}  // namespace vantu::branding_package
