#include "package/name_match.h"

#include <string_view>
#include <unordered_set>

namespace vantu::branding_package {

namespace {

using NameSet = std::unordered_set<std::string_view>;

// Positions of the first occurrence of every name of names that other lacks.
std::vector<std::size_t> Unmatched(const std::vector<std::string>& names, const NameSet& other) {
  std::vector<std::size_t> unmatched;
  NameSet seen;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (seen.insert(names[i]).second && other.count(names[i]) == 0) unmatched.push_back(i);
  }
  return unmatched;
}

}  // namespace

NameMismatches MatchNames(const std::vector<std::string>& references,
                          const std::vector<std::string>& resources) {
  const NameSet referenceSet(references.begin(), references.end());
  const NameSet resourceSet(resources.begin(), resources.end());
  return {Unmatched(references, resourceSet), Unmatched(resources, referenceSet)};
}

}  // namespace vantu::branding_package
