// The layout as the client reads it: a typed model built once from the parsed document.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vantu::branding_package {

// Where an element stands in the layout text: its start tag's "<" up to the end of its name.
struct TextRange {
  std::size_t begin = 0;
  std::size_t end = 0;
};

// An element whose text the client shows; absent (no range) when the layout has none.
struct LayoutText {
  std::optional<TextRange> range;
  std::string text;  // its first text run, as the client reads it; empty when absent
};

// One item of an About box line.
struct AboutItem {
  enum class Kind { kLogo, kText, kHyperlink };
  Kind kind = Kind::kText;
  TextRange range;
  std::string text;                // a logo's image name, or the text shown
  std::optional<std::string> url;  // a hyperlink's, when it has one
};

// One line of the About box.
struct AboutLine {
  TextRange range;
  std::optional<std::string> align;  // as written, when given
  std::vector<AboutItem> items;      // its logo, text and hyperlink elements, in order
};

// What a layout says, each part as the client finds it: the first element of its name under
// its parent. Nothing below the top is read when the top element is not the client's.
struct Layout {
  std::optional<TextRange> top;  // the client's top element, when the document has it
  LayoutText appName;
  LayoutText appIcon;
  std::optional<TextRange> menu;
  LayoutText aboutItem;
  LayoutText quitItem;
  std::optional<TextRange> about;
  std::optional<std::string> title;     // the about title, when given
  std::optional<std::string> minWidth;  // as written, when given
  std::vector<AboutLine> lines;         // every line of about, in order
};

}  // namespace vantu::branding_package
