// A document's text as an editor addresses it: 0-based lines and UTF-16 columns, file URIs,
// and the edits a client sends.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantu::branding_package {

// A place in a text as the protocol counts it.
struct TextPosition {
  std::size_t line = 0;       // 0-based
  std::size_t character = 0;  // UTF-16 code units from the line's start
};

// Positions and byte offsets of one text, which must outlive it. Lines end at "\n", "\r\n" or
// "\r", as the protocol counts them; a column costs no more on one long line than on many.
class TextPositions {
 public:
  explicit TextPositions(std::string_view text);
  // Where byte offset stands (offsets past the end stand at the end).
  TextPosition At(std::size_t offset) const;
  // The byte offset of position: a character past its line's end stands at the end of the
  // line; none for a line past the text's last.
  std::optional<std::size_t> Offset(TextPosition position) const;

 private:
  // A character's start and its place: every line's start, and one each few KiB within.
  struct Mark {
    std::size_t offset;
    std::size_t line;
    std::size_t units;  // UTF-16 units from its line's start
  };
  // Where line ends, its line break left out.
  std::size_t LineEnd(std::size_t line) const;

  std::string_view text_;
  std::vector<std::size_t> lineStarts_;
  std::vector<Mark> marks_;
};

// The line break text uses first ("\n" when it has none): what an edit that adds a line writes.
std::string_view LineBreakOf(std::string_view text);

// Whether c ends a line, as the protocol counts lines.
inline bool IsLineBreak(char c) { return c == '\n' || c == '\r'; }

// The file URI of path, made absolute; bytes other than letters, digits and "-._~/" escaped.
std::string FileUri(const std::string& path);
// The path of a file URI; none for another scheme, a host other than none or localhost, or a
// bad escape.
std::optional<std::string> PathOfUri(std::string_view uri);

// Whether text is a branding layout, or may become one as it is typed: its first element (past
// the declaration, comments, processing instructions and a DOCTYPE) is the layout's root, or
// it has none yet. Another XML document gets nothing from the server.
bool IsBrandingLayout(const std::string& text);

}  // namespace vantu::branding_package
