// "Did you mean": the known name nearest to a misspelt one.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantu::branding_package {

// The name of known nearest to word by edit distance (a letter added, dropped, changed or two
// swapped), when it is near enough to be what was meant: at most two edits, and at most a
// third of word's length (one edit for a word of up to five letters); the first of equally
// near ones.
std::optional<std::string> Nearest(std::string_view word, const std::vector<std::string>& known);

// " (did you mean X?)" for Nearest's answer, or nothing.
std::string DidYouMean(std::string_view word, const std::vector<std::string>& known);

}  // namespace vantu::branding_package
