// Validation of a layout document against the tool's own XML Schema, with libxml2.
#pragma once

#include <climits>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "inspect/model/findings.h"

namespace vantu::branding_package {

// One problem libxml2 reports: where in the text (the start of its line when the column is
// unknown; none when the problem has no place).
struct SchemaFinding {
  std::optional<std::size_t> at;
  std::string message;
  FindingId id = FindingId::kSchema;  // its kind in the catalogue of findings
};

// Widest an element may be for the schema check: the schema library walks every earlier
// sibling for each finding it raises, and compares attributes pairwise. Wider ones, and a
// longer text than its int counts, are not checked (schema-skipped).
constexpr std::size_t kMaxCheckedChildren = 2000;
constexpr std::size_t kMaxCheckedAttributes = 1000;
constexpr std::size_t kMaxCheckedText = INT_MAX;

// Schema findings reported at most; past it one last finding (line 0) counts the rest.
constexpr std::size_t kMaxSchemaFindings = 1000;

// Parses text (never touching the network or external entities) and validates it against
// XmlLayoutSchema; returns every finding, well-formedness errors included.
std::vector<SchemaFinding> CheckAgainstSchema(const std::string& text, const std::string& name);

}  // namespace vantu::branding_package
