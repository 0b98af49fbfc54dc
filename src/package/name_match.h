// Matching the image names a layout refers to with the names of the given images.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace vantu::branding_package {

// Message prefixes of the two kinds of difference.
constexpr char kNoResourceFound[] = "No resource found for reference: ";
constexpr char kNoReferenceFound[] = "No reference found for resource: ";

// Names without an equal (same bytes) in the other list: for each list, the positions of the
// first occurrence of every such distinct name, in list order.
struct NameMismatches {
  std::vector<std::size_t> references;  // references that name no resource
  std::vector<std::size_t> resources;   // resources no reference names
};

// Compares references with resources, both directions; nameOf gives an element's name (a
// string_view valid while the lists are).
template <class Reference, class Resource, class ReferenceName, class ResourceName>
NameMismatches MatchNames(const std::vector<Reference>& references, ReferenceName referenceName,
                          const std::vector<Resource>& resources, ResourceName resourceName) {
  using NameSet = std::unordered_set<std::string_view>;
  auto names = [](const auto& list, auto nameOf) {
    NameSet set;
    set.reserve(list.size());
    for (const auto& item : list) set.insert(nameOf(item));
    return set;
  };
  // Positions of the first occurrence of every name of list that other lacks.
  auto unmatched = [](const auto& list, auto nameOf, const NameSet& other) {
    std::vector<std::size_t> positions;
    NameSet seen;
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::string_view name = nameOf(list[i]);
      if (seen.insert(name).second && other.count(name) == 0) positions.push_back(i);
    }
    return positions;
  };
  return {unmatched(references, referenceName, names(resources, resourceName)),
          unmatched(resources, resourceName, names(references, referenceName))};
}

// The same for two lists of names.
inline NameMismatches MatchNames(const std::vector<std::string>& references,
                                 const std::vector<std::string>& resources) {
  auto same = [](const std::string& name) { return std::string_view(name); };
  return MatchNames(references, same, resources, same);
}

}  // namespace vantu::branding_package
