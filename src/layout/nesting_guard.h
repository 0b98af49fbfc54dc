// Finds what the recursive XML parser must never be handed: elements nested too deep for
// its stack, and character references it would store as a zero byte or wrap around.
#pragma once

#include <cstddef>
#include <vector>

namespace vantu::branding_package {

// Deepest element nesting a layout may have; far below what exhausts the stack.
constexpr std::size_t kMaxLayoutDepth = 1000;

// Offset of a refused construct when there is none.
constexpr std::size_t kNoRefusal = static_cast<std::size_t>(-1);

// The first construct the parser must not see, and the parser's message for it.
struct Refusal {
  std::size_t offset = kNoRefusal;  // of its "<" or "&"
  const char* message = nullptr;    // "element nesting too deep" or
                                    // "invalid numeric character entity"
};

// Where the scan saw the markup the parser keeps no place of: each element's tags and
// attribute values, and the comments. Offsets from the text's start.
struct MarkupMarks {
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  struct Element {
    std::size_t tagEnd;            // one past its start tag's ">"
    std::size_t closeTag = kNone;  // its end tag's "<", or kNone when it closes itself
    std::size_t end;               // one past its end tag's ">", or tagEnd
  };
  struct Span {
    std::size_t begin;
    std::size_t end;
  };
  std::vector<Element> elements;      // in document order, the order of their start tags
  std::vector<Span> values;           // every attribute value between its quotes, in order
  std::vector<std::size_t> closings;  // elements by their end tags, in document order
  std::vector<Span> comments;         // "<!--" to one past "-->"
};

// Scans a zero-terminated document the way the XML parser (default flags) reads it and
// returns the first element nested deeper than maxDepth, or numeric character reference
// (in text or an attribute value, ended by ";") to code point 0 or beyond 0x10FFFF; none
// when there is neither or the parser would fail before reaching one. Fills marks, when
// given, as far as it reads.
Refusal FindRefusal(const char* text, std::size_t maxDepth, MarkupMarks* marks = nullptr);

// Where the parser meets the first element of a zero-terminated document: the offset of its
// "<", past the declaration, processing instructions, comments and a DOCTYPE with whatever
// its bracketed subset holds (text between them is passed over, for a document being typed);
// the text's length when it ends before one, in markup still open or none at all.
std::size_t FirstElementAt(const char* text);

}  // namespace vantu::branding_package
