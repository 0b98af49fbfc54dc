// Paths as make and ninja read them in a dependency file.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantu::branding_package {

// Where a path stands in a rule.
enum class RulePart {
  kTarget,       // left of the colon, where '%' makes a pattern
  kPrerequisite  // right of it
};

// path as one word of a Make rule that GNU make and ninja both read back as path: a space
// as "\ ", '#' as "\#", '$' as "$$". Nothing when no such word exists: a control byte, one of
// : ; = | \ * ? [ ] ( ) (a separator, an assignment, a wildcard or an archive member to make,
// taken as it is by ninja), one of < > ^ ` " ' & (where ninja ends a path; "&:" is make's
// grouped target), a leading '~', or in a target '%' (a pattern) or a name starting
// with '.' (a special target or suffix rule).
std::optional<std::string> MakeWord(std::string_view path, RulePart part);

// Prints "target: layout file..." for files, the layout first, and an empty rule for each
// file after it (so that a removed image or policy file is no error), every path as MakeWord
// writes it; prints nothing, says why on err and returns false when a path has no such word.
bool PrintDepfileRule(const std::string& target, const std::vector<std::string>& files,
                      std::ostream& out, std::ostream& err);

}  // namespace vantu::branding_package
