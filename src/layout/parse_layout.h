// Parsing a layout document the way the packager does, with the position of a failure.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include <rapidxml/rapidxml.hpp>

namespace vantu::branding_package {

// A document that is not well-formed: the parser's message and the byte offset it names.
class LayoutSyntaxError : public std::runtime_error {
 public:
  // Keeps the message and the offset.
  LayoutSyntaxError(const std::string& message, std::size_t offset)
      : std::runtime_error(message), offset(offset) {}

  // Where in the document the parser stopped.
  std::size_t offset;
};

// Parses document (ending with a zero byte; parsed in place, so it must outlive parsed)
// with the default flags, refusing nesting deeper than kMaxLayoutDepth before the parser
// recurses that deep. Throws LayoutSyntaxError.
void ParseLayout(std::vector<char>& document, rapidxml::xml_document<char>& parsed);

// Offset in document of node's start tag (its "<"); 0 for no node or one without a name.
inline std::size_t StartTagOffset(const rapidxml::xml_node<char>* node, const char* document) {
  if (node == nullptr || node->name_size() == 0) return 0;
  return static_cast<std::size_t>(node->name() - document) - 1;
}

}  // namespace vantu::branding_package
