// A layout document: read once with the packager's limit, parsed once as the packager parses
// it, and asked for positions, references and the packager's rule violations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <rapidxml/rapidxml.hpp>

#include "base/line_index.h"
#include "layout/parse_layout.h"

namespace vantu::branding_package {

// What reading a layout file found.
struct LayoutFile {
  // Why it could not be read; kNone when it was.
  enum class Problem { kNone, kCannotOpen, kCannotRead, kTooLarge } problem = Problem::kNone;
  std::string reason;  // the system's reason for kCannotOpen and kCannotRead
  std::string text;    // the whole file
};

// Longest layout text a package can hold: its record size, n + 17, must fit 32 bits.
constexpr std::uint64_t kMaxLayoutText = std::uint64_t{UINT32_MAX} - 17;

// Reads the layout file at path whole, refusing one longer than kMaxLayoutText.
LayoutFile ReadLayoutFile(const std::string& path);

// A layout text parsed once; it owns both the text and the buffer the parser works in.
class LayoutDocument {
 public:
  // An image reference: the name and its element's start tag.
  struct Reference {
    std::string name;
    std::size_t offset;
    bool appIcon = false;  // the app-icon's, not a logo's
  };
  // A broken rule of the packager's: the start tag of the node it is about, and the message.
  struct Violation {
    std::size_t offset;
    std::string message;
  };

  // Parses text; a syntax error is kept, not thrown.
  explicit LayoutDocument(std::string text);
  LayoutDocument(const LayoutDocument&) = delete;
  LayoutDocument& operator=(const LayoutDocument&) = delete;

  // The text as given.
  const std::string& Text() const { return text_; }
  // Why the packager's parser stops, or none.
  const std::optional<LayoutSyntaxError>& SyntaxError() const { return syntaxError_; }
  // The parsed document (empty after a syntax error).
  const rapidxml::xml_document<char>& Parsed() const { return parsed_; }
  // The first top-level node, or null.
  const rapidxml::xml_node<char>* Root() const { return parsed_.first_node(); }
  // Offset in the text of node's start tag ("<"); 0 for no node.
  std::size_t OffsetOf(const rapidxml::xml_node<char>* node) const;
  // 1-based line and column (in bytes) of offset.
  std::pair<int, int> Position(std::size_t offset) const { return lines_.Position(offset); }
  // The offset of a 1-based line and column.
  std::size_t OffsetAt(int line, int column) const { return lines_.Offset(line, column); }
  // The image references, in document order, each time named.
  const std::vector<Reference>& References() const { return references_; }
  // Every rule the packager would refuse the document for, in its order.
  const std::vector<Violation>& Violations() const { return violations_; }
  // Where a person finds offset: the path of the last element whose start tag begins at or
  // before it (at an end tag, of the element it closes), below the top element
  // ("about/line[3]/hyperlink"; the top element's own name for it), with an index where siblings
  // share the name, the middle of a path deeper than 12 elements left out; empty when nothing
  // parsed.
  std::string ElementPath(std::size_t offset) const;
  // The last part of element's path, "name" or "name[k]" where siblings share the name;
  // empty for a node that is not an element of the document.
  const std::string& Segment(const rapidxml::xml_node<char>* element) const;

 private:
  // One element, in document order.
  struct Element {
    std::size_t offset;   // of its start tag
    std::size_t parent;   // its index, or kTop
    std::string segment;  // "name" or "name[k]"
  };
  static constexpr std::size_t kTop = static_cast<std::size_t>(-1);
  // Indexes every element of the parsed document.
  void IndexElements();

  std::string text_;
  std::vector<char> buffer_;  // the text and a zero byte, which the parser changes in place
  rapidxml::xml_document<char> parsed_;
  LineIndex lines_;
  std::optional<LayoutSyntaxError> syntaxError_;
  std::vector<Reference> references_;
  std::vector<Violation> violations_;
  std::vector<Element> elements_;
};

// A path of count segments, segment(0) the topmost, each after separator but the first, with
// the middle of a path deeper than 12 left out as "/...(N more)": how element paths are shown.
std::string ShortenedPath(std::size_t count,
                          const std::function<std::string_view(std::size_t)>& segment,
                          std::string_view separator);

}  // namespace vantu::branding_package
