// Line and column of byte offsets in a text, found in logarithmic time.
#pragma once

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

namespace vantu::branding_package {

// The start of every line of a text, taken once.
class LineIndex {
 public:
  // Indexes text, which must outlive the index.
  explicit LineIndex(std::string_view text);
  // 1-based line and column (in bytes) of offset; offsets past the end count as the end.
  std::pair<int, int> Position(std::size_t offset) const;
  // The offset of a 1-based line and column (column 0 counts as 1); 0 for no such line.
  std::size_t Offset(int line, int column) const;
  // The text of a 1-based line without its line feed; empty past the last line.
  std::string_view Line(int line) const;

 private:
  std::string_view text_;
  std::vector<std::size_t> starts_;
};

}  // namespace vantu::branding_package
