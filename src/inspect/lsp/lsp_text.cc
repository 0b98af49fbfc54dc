#include "inspect/lsp/lsp_text.h"

#include <cctype>
#include <climits>
#include <filesystem>
#include <string>

#include "base/utf8.h"

namespace vantu::branding_package {

TextPosition TextPositions::At(std::size_t offset) const {
  const auto [line, column] = lines_.Position(offset);
  const std::string_view text = lines_.Line(line);
  const auto bytes = std::min(text.size(), static_cast<std::size_t>(column - 1));
  return {static_cast<std::size_t>(line - 1), Utf16Units(text.substr(0, bytes))};
}

std::optional<std::size_t> TextPositions::Offset(TextPosition position) const {
  if (position.line >= static_cast<std::size_t>(INT_MAX)) return std::nullopt;
  const int line = static_cast<int>(position.line) + 1;
  const std::size_t start = lines_.Offset(line, 1);
  // Offset answers 0 for a line past the end; line 1 always starts there.
  if (start == 0 && line != 1) return std::nullopt;
  const std::string_view text = lines_.Line(line);
  return start + Utf16Prefix(text, position.character);
}

std::string FileUri(const std::string& path) {
  std::string absolute = path;
  std::error_code error;
  const std::filesystem::path cwd = std::filesystem::current_path(error);
  if (!error && (absolute.empty() || absolute[0] != '/')) absolute = (cwd / path).string();
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (const char c : absolute) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      uri += c;
    } else {
      uri += '%';
      uri += kHex[byte >> 4];
      uri += kHex[byte & 15];
    }
  }
  return uri;
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

std::size_t ElementEnd(std::string_view text, std::size_t offset) {
  const std::size_t tagEnd = text.find('>', offset);
  if (tagEnd == std::string_view::npos) return text.size();
  if (tagEnd > offset && text[tagEnd - 1] == '/') return tagEnd + 1;
  std::size_t nameEnd = offset + 1;
  while (nameEnd < text.size() && std::isspace(static_cast<unsigned char>(text[nameEnd])) == 0 &&
         text[nameEnd] != '>' && text[nameEnd] != '/') {
    ++nameEnd;
  }
  // Elements of the layout do not nest in one of their own name.
  const std::string close = "</" + std::string(text.substr(offset + 1, nameEnd - offset - 1));
  const std::size_t closing = text.find(close, tagEnd);
  if (closing == std::string_view::npos) return text.size();
  const std::size_t closeEnd = text.find('>', closing);
  return closeEnd == std::string_view::npos ? text.size() : closeEnd + 1;
}

}  // namespace vantu::branding_package
