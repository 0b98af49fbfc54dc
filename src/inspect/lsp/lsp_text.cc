#include "inspect/lsp/lsp_text.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <string>

#include "base/folder_of.h"
#include "base/utf8.h"
#include "layout/layout_vocabulary.h"
#include "layout/nesting_guard.h"

namespace vantu::branding_package {

namespace {

// Bytes between marks within a line.
constexpr std::size_t kMarkSpacing = 4096;

// Whether the byte at i continues a UTF-8 character rather than starting one.
bool Continues(std::string_view text, std::size_t i) {
  return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
}

}  // namespace

TextPositions::TextPositions(std::string_view text) : text_(text) {
  lineStarts_.push_back(0);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
      lineStarts_.push_back(i + 1);
    }
  }
  for (std::size_t line = 0; line < lineStarts_.size(); ++line) {
    const std::size_t end = LineEnd(line);
    std::size_t at = lineStarts_[line];
    std::size_t units = 0;
    marks_.push_back({at, line, 0});
    while (end - at > kMarkSpacing) {
      // A mark stands where a character starts, so that no character spans two counts.
      std::size_t next = at + kMarkSpacing;
      while (next < end && Continues(text, next)) ++next;
      if (next >= end) break;
      units += Utf16Units(text.substr(at, next - at));
      at = next;
      marks_.push_back({at, line, units});
    }
  }
}

std::size_t TextPositions::LineEnd(std::size_t line) const {
  if (line + 1 >= lineStarts_.size()) return text_.size();
  const std::size_t next = lineStarts_[line + 1];
  const bool crlf = next >= 2 && text_[next - 1] == '\n' && text_[next - 2] == '\r' &&
                    next - 2 >= lineStarts_[line];
  return next - (crlf ? 2 : 1);
}

TextPosition TextPositions::At(std::size_t offset) const {
  offset = std::min(offset, text_.size());
  const auto after =
      std::upper_bound(marks_.begin(), marks_.end(), offset,
                       [](std::size_t value, const Mark& m) { return value < m.offset; });
  const Mark& mark = *(after - 1);
  const std::size_t end = std::min(offset, LineEnd(mark.line));
  return {mark.line, mark.units + Utf16Units(text_.substr(mark.offset, end - mark.offset))};
}

std::optional<std::size_t> TextPositions::Offset(TextPosition position) const {
  if (position.line >= lineStarts_.size()) return std::nullopt;
  const std::size_t line = position.line;
  // The line's last mark at or before the column.
  const auto first = std::partition_point(marks_.begin(), marks_.end(),
                                          [&](const Mark& m) { return m.line < line; });
  const auto last =
      std::partition_point(first, marks_.end(), [&](const Mark& m) { return m.line == line; });
  const auto after = std::partition_point(
      first, last, [&](const Mark& m) { return m.units <= position.character; });
  const Mark& mark = *(after - 1);
  const std::string_view rest = text_.substr(mark.offset, LineEnd(line) - mark.offset);
  return mark.offset + Utf16Prefix(rest, position.character - mark.units);
}

std::string_view LineBreakOf(std::string_view text) {
  const std::size_t at = text.find_first_of("\r\n");
  if (at == std::string_view::npos || text[at] == '\n') return "\n";
  return at + 1 < text.size() && text[at + 1] == '\n' ? "\r\n" : "\r";
}

std::string FileUri(const std::string& path) {
  std::error_code error;
  const std::filesystem::path cwd = std::filesystem::current_path(error);
  return PathUri(!error && (path.empty() || path[0] != '/') ? (cwd / path).string() : path);
}

std::optional<std::string> PathOfUri(std::string_view uri) {
  constexpr std::string_view kScheme = "file://";
  if (uri.substr(0, kScheme.size()) != kScheme) return std::nullopt;
  std::string_view rest = uri.substr(kScheme.size());
  const std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view host = rest.substr(0, slash);
  if (!host.empty() && host != "localhost") return std::nullopt;
  rest = rest.substr(slash);
  std::string path;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '?' || rest[i] == '#') break;
    if (rest[i] != '%') {
      path += rest[i];
      continue;
    }
    if (i + 2 >= rest.size() || std::isxdigit(static_cast<unsigned char>(rest[i + 1])) == 0 ||
        std::isxdigit(static_cast<unsigned char>(rest[i + 2])) == 0) {
      return std::nullopt;
    }
    const char decoded =
        static_cast<char>(std::stoi(std::string(rest.substr(i + 1, 2)), nullptr, 16));
    if (decoded == '\0') return std::nullopt;
    path += decoded;
    i += 2;
  }
  return path;
}

bool IsBrandingLayout(const std::string& text) {
  const std::size_t at = FirstElementAt(text.c_str());
  if (at >= text.size()) return true;  // no element yet
  const std::string_view rest = std::string_view(text).substr(at);
  const std::string_view root = vocabulary::kTop;
  // A name still being typed may yet become the root's.
  if (rest.size() <= root.size() + 1) return root.substr(0, rest.size() - 1) == rest.substr(1);
  const char after = rest[root.size() + 1];
  return rest.substr(1, root.size()) == root &&
         std::string_view(" \t\r\n/>").find(after) != std::string_view::npos;
}

}  // namespace vantu::branding_package
