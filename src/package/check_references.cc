#include <sstream>
#include <string_view>
#include <unordered_set>

#include "app/bp_exception.h"
#include "package/file_writer.h"

namespace {

using NameSet = std::unordered_set<std::string_view>;

// Keeps the first occurrence of every name, in order; set receives the names.
std::vector<std::string_view> Distinct(const std::vector<std::string>& names, NameSet& set) {
  std::vector<std::string_view> distinct;
  for (const std::string& name : names) {
    if (set.insert(name).second) distinct.push_back(name);
  }
  return distinct;
}

}  // namespace

void cBP_FILE_WRITER::CheckReferences() const {
  NameSet referenceSet;
  NameSet resourceSet;
  const auto distinctReferences = Distinct(references, referenceSet);
  const auto distinctResources = Distinct(resources, resourceSet);

  std::ostringstream message;
  for (std::string_view name : distinctReferences) {
    if (resourceSet.count(name) == 0) message << "No resource found for reference: " << name << '\n';
  }
  for (std::string_view name : distinctResources) {
    if (referenceSet.count(name) == 0) message << "No reference found for resource: " << name << '\n';
  }
  if (message.tellp() > 0) throw cBP_EXCEPTION(BP_ERR_REFERENCES, message.str());
}
