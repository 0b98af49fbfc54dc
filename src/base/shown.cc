#include "base/shown.h"

#include "base/utf8.h"

namespace vantu::branding_package {

namespace {

// Whether the byte at i of text is shown as it is: printable ASCII other than a backslash,
// or the start of a UTF-8 character other than a C1 control (U+0080-U+009F, of which U+009B
// starts a terminal's escape sequence as ESC [ does).
bool ShownAsItIs(std::string_view text, std::size_t i) {
  const auto byte = static_cast<unsigned char>(text[i]);
  if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
    return false;
  }
  if (byte >= 0x80) return Utf8SequenceLength(text, i) > 0;
  return byte >= 0x20 && byte != 0x7F && byte != '\\';
}

}  // namespace

std::string Shown(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    if (ShownAsItIs(text, i)) {
      const std::size_t length = byte >= 0x80 ? Utf8SequenceLength(text, i) : 1;
      shown.append(text.substr(i, length));
      i += length;
      continue;
    }
    if (c == '\\') {
      // Doubled only where it would start an escape: a path's backslashes stay as given.
      const bool escapes = i + 1 < text.size() &&
                           (std::string_view("ntrx").find(text[i + 1]) != std::string_view::npos ||
                            !ShownAsItIs(text, i + 1));
      shown += escapes ? "\\\\" : "\\";
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (c == '\r') {
      shown += "\\r";
    } else {
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 0xF];
    }
    ++i;
  }
  return shown;
}

}  // namespace vantu::branding_package
