// A layout document: read once with the packager's limit, parsed once as the packager parses
// it, and asked for positions, references and the packager's rule violations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/byte_source.h"
#include "base/file_id.h"
#include "base/line_index.h"
#include "layout/layout_model.h"
#include "layout/nesting_guard.h"
#include "layout/parse_layout.h"

namespace vantu::branding_package {

// What reading a layout file found.
struct LayoutFile {
  // Why it could not be read; kNone when it was.
  enum class Problem { kNone, kCannotOpen, kCannotRead, kTooLarge } problem = Problem::kNone;
  std::string reason;        // the system's reason for kCannotOpen and kCannotRead
  std::string text;          // the whole file
  std::optional<FileId> id;  // the file read, when it is one
};

// Longest layout text a package can hold: its record size, n + 17, must fit 32 bits.
constexpr std::uint64_t kMaxLayoutText = std::uint64_t{UINT32_MAX} - 17;

// Reads the layout file at path whole, refusing one longer than kMaxLayoutText: the one way a
// layout is read; LayoutDocument the one way it is parsed.
LayoutFile ReadLayoutFile(const std::string& path);

// A layout text parsed once, as the packager parses it; it owns the text and the parse, and
// answers from them in the layout's own terms: the typed model, an index of every element,
// positions, references and the packager's rule violations. No parser type leaves it.
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
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  // A stretch of the text: its first byte and one past its last.
  using Span = MarkupMarks::Span;
  // An attribute: its value as the parser reads it, and where that is written.
  struct Attribute {
    std::string_view name;
    std::string_view value;
    Span written;  // between its quotes
  };
  // One element, in document order: a parent before its children, so an element's first
  // child, when it has one, is the element after it.
  struct Element {
    std::string_view name;
    std::string segment;   // the last part of its path: "name", or "name[k]" where siblings
                           // share the name
    std::size_t offset;    // of its start tag
    std::size_t tagEnd;    // one past its start tag's ">"
    std::size_t closeTag;  // its end tag's "<", or kNone when it closes itself
    std::size_t end;       // one past its end tag's ">", or tagEnd
    std::size_t parent;    // its index, or kNone for a top-level element
    std::size_t next;      // the index of its next sibling element, or kNone
    std::size_t nodes;     // its child nodes of every kind
    std::vector<Attribute> attributes;
    std::string text;  // every text and CDATA run it holds, joined
  };

  // Parses text; a syntax error is kept, not thrown.
  explicit LayoutDocument(std::string text);
  ~LayoutDocument();
  LayoutDocument(const LayoutDocument&) = delete;
  LayoutDocument& operator=(const LayoutDocument&) = delete;

  // The text as given.
  const std::string& Text() const { return text_; }
  // Why the packager's parser stops, or none.
  const std::optional<LayoutSyntaxError>& SyntaxError() const { return syntaxError_; }
  // What the layout says, as the client reads it (empty after a syntax error).
  const Layout& Model() const { return model_; }
  // Every element (none after a syntax error).
  const std::vector<Element>& Elements() const { return elements_; }
  // The index of the element whose start tag begins at offset, or kNone.
  std::size_t ElementAt(std::size_t offset) const;
  // Where the element whose start tag begins at offset ends (one past its end tag, or its
  // start tag when it closes itself); offset itself when no element begins there.
  std::size_t ElementEnd(std::size_t offset) const {
    const std::size_t at = ElementAt(offset);
    return at == kNone ? offset : elements_[at].end;
  }
  // Every comment, "<!--" to one past "-->", in document order (none after a syntax error).
  const std::vector<Span>& Comments() const { return marks_.comments; }
  // 1-based line and column (in bytes) of offset.
  std::pair<int, int> Position(std::size_t offset) const { return lines_.Position(offset); }
  // The offset of a 1-based line and column.
  std::size_t OffsetAt(int line, int column) const { return lines_.Offset(line, column); }
  // The image references, in document order, each time named.
  const std::vector<Reference>& References() const { return references_; }
  // Every rule the packager would refuse the document for, in its order.
  const std::vector<Violation>& Violations() const { return violations_; }
  // The layout text the packager would store: the document printed as compact XML; none
  // after a syntax error or when it would not fit a layout record.
  std::optional<std::string> StoredText() const;
  // The first top-level node of the parse, for the packager's own rule walk (ValidateLayout);
  // null when there is none or the text does not parse.
  const LayoutNode* Top() const;
  // Where a person finds offset: the path of the last element whose start tag begins at or
  // before it (at an end tag, of the element it closes), below the top element
  // ("about/line[3]/hyperlink"; the top element's own name for it), with an index where siblings
  // share the name, the middle of a path deeper than 12 elements left out; empty when nothing
  // parsed.
  std::string ElementPath(std::size_t offset) const;

 private:
  struct Parsed;
  // Indexes every element of the parsed document.
  void IndexElements();

  std::string text_;
  std::unique_ptr<Parsed> parsed_;  // the parser's buffer and tree
  LineIndex lines_;
  std::optional<LayoutSyntaxError> syntaxError_;
  Layout model_;
  std::vector<Reference> references_;
  std::vector<Violation> violations_;
  std::vector<Element> elements_;
  MarkupMarks marks_;  // the tags, values and comments, as the parse's look ahead saw them
};

// A path of count segments, segment(0) the topmost, each after separator but the first, with
// the middle of a path deeper than 12 left out as "/...(N more)", and a segment longer than 64
// bytes cut as "START...(N bytes)": how element paths are shown, never longer than a bound.
std::string ShortenedPath(std::size_t count,
                          const std::function<std::string_view(std::size_t)>& segment,
                          std::string_view separator);

}  // namespace vantu::branding_package
