// What the layout schema allows where, read from the schema itself: the elements an element
// may hold and the attributes it may carry. Editors offer these as completions.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace vantu::branding_package {

struct ElementGrammar {
  std::vector<std::string> children;    // in the schema's order
  std::vector<std::string> attributes;  // in the schema's order
};

struct LayoutGrammar {
  std::vector<std::string> tops;                   // the elements a document may start with
  std::map<std::string, ElementGrammar> elements;  // by name
};

// The grammar of the schema --dump-xml-schema prints, read once.
const LayoutGrammar& SchemaGrammar();

}  // namespace vantu::branding_package
