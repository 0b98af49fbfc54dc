// Parsing a layout document the way the packager does, with the position of a failure.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace rapidxml {
template <class Ch>
class xml_document;
template <class Ch>
class xml_node;
}  // namespace rapidxml

namespace vantu::branding_package {

// An element or other node of a parsed layout: what the packager's rules walk. Its type stays
// in layout/ and the packager's writer.
using LayoutNode = rapidxml::xml_node<char>;

// A document that is not well-formed: the parser's message and the byte offset it names.
class LayoutSyntaxError : public std::runtime_error {
 public:
  // Keeps the message and the offset.
  LayoutSyntaxError(const std::string& message, std::size_t offset)
      : std::runtime_error(message), offset(offset) {}

  // Where in the document the parser stopped.
  std::size_t offset;
};

struct MarkupMarks;

// Parses document in place (so it must outlive parsed; the zero byte behind a string's text
// ends it) with the default flags, refusing nesting deeper than kMaxLayoutDepth before the
// parser recurses that deep; fills marks, when given, from the same look ahead. Throws
// LayoutSyntaxError.
void ParseLayout(std::string& document, rapidxml::xml_document<char>& parsed,
                 MarkupMarks* marks = nullptr);

// Offset in document of node's start tag (its "<"); 0 for no node or one without a name.
std::size_t StartTagOffset(const rapidxml::xml_node<char>* node, const char* document);

}  // namespace vantu::branding_package
