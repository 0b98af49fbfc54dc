// Tokens behind one dash that the argument parser would misread as combined switches.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantu::branding_package {

// The first token of args (the program name excluded) that starts with one dash, is longer
// than one letter, and is not made only of switchLetters: the parser would take its known
// letters as switches ("-shout" holds "h", help) and drop the rest. With longNames, also
// the first token that starts with two dashes and names none of them ("--json=1" included):
// a parser with trailing file arguments would take a misspelt "--josn" as a file. Values of
// valueFlags and everything after "--" are skipped.
std::optional<std::string> FindStraySwitches(const std::vector<std::string>& args,
                                             std::string_view switchLetters,
                                             const std::vector<std::string_view>& valueFlags,
                                             const std::vector<std::string>* longNames = nullptr);

}  // namespace vantu::branding_package
