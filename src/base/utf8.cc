#include "base/utf8.h"

#include <cstdint>
#include <utility>

namespace vantu::branding_package {

std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t length = 0;
  std::uint32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    minimum = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  std::uint32_t code = lead & (0x7Fu >> length);
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3Fu);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

std::optional<std::size_t> FirstNonUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
      continue;
    }
    const std::size_t length = Utf8SequenceLength(text, i);
    if (length == 0) return i;
    i += length;
  }
  return std::nullopt;
}

namespace {

// The bytes and UTF-16 units of the character at text[i].
std::pair<std::size_t, std::size_t> Character(std::string_view text, std::size_t i) {
  if (static_cast<unsigned char>(text[i]) < 0x80) return {1, 1};
  const std::size_t length = Utf8SequenceLength(text, i);
  if (length == 0) return {1, 1};
  return {length, length == 4 ? 2 : 1};
}

}  // namespace

std::size_t Utf16Units(std::string_view text) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < text.size();) {
    const auto [bytes, taken] = Character(text, i);
    i += bytes;
    units += taken;
  }
  return units;
}

std::size_t Utf16Prefix(std::string_view text, std::size_t units) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto [bytes, taken] = Character(text, i);
    if (taken > units) break;
    units -= taken;
    i += bytes;
  }
  return i;
}

}  // namespace vantu::branding_package
