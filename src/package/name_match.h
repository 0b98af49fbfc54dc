// Matching the image names a layout refers to with the names of the given images.
#pragma once

#include <cstddef>
#include <string>
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

// Compares references with resources, both directions.
NameMismatches MatchNames(const std::vector<std::string>& references,
                          const std::vector<std::string>& resources);

}  // namespace vantu::branding_package
