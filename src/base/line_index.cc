#include "base/line_index.h"

#include <algorithm>

namespace vantu::branding_package {

LineIndex::LineIndex(std::string_view text) : text_(text) {
  starts_.push_back(0);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') starts_.push_back(i + 1);
  }
}

std::pair<int, int> LineIndex::Position(std::size_t offset) const {
  offset = std::min(offset, text_.size());
  const auto next = std::upper_bound(starts_.begin(), starts_.end(), offset);
  const auto line = static_cast<std::size_t>(next - starts_.begin());
  return {static_cast<int>(line), static_cast<int>(offset - starts_[line - 1] + 1)};
}

std::size_t LineIndex::Offset(int line, int column) const {
  if (line < 1 || static_cast<std::size_t>(line) > starts_.size()) return 0;
  const std::size_t start = starts_[static_cast<std::size_t>(line) - 1];
  return std::min(text_.size(), start + static_cast<std::size_t>(column > 0 ? column - 1 : 0));
}

std::string_view LineIndex::Line(int line) const {
  if (line < 1 || static_cast<std::size_t>(line) > starts_.size()) return {};
  const std::size_t start = starts_[static_cast<std::size_t>(line) - 1];
  const std::size_t end = static_cast<std::size_t>(line) < starts_.size()
                              ? starts_[static_cast<std::size_t>(line)] - 1
                              : text_.size();
  return text_.substr(start, end - start);
}

}  // namespace vantu::branding_package
