// Validation of a layout document against the tool's own XML Schema, with libxml2.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vantu::branding_package {

// One problem libxml2 reports: 1-based line and column (column 0 when unknown).
struct SchemaFinding {
  int line;
  int column;
  std::string message;
  const char* id = "schema";  // its kind in the catalogue of findings
};

// Schema findings reported at most; past it one last finding (line 0) counts the rest.
constexpr std::size_t kMaxSchemaFindings = 1000;

// Parses text (never touching the network or external entities) and validates it against
// XmlLayoutSchema; returns every finding, well-formedness errors included.
std::vector<SchemaFinding> CheckAgainstSchema(const std::string& text, const std::string& name);

}  // namespace vantu::branding_package
