// Letter case of ASCII text: file extensions, encoding names, URL schemes, hex digits.
#pragma once

#include <string>
#include <string_view>

namespace vantu::branding_package {

// text with A-Z made a-z; every other byte as it is.
inline std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

}  // namespace vantu::branding_package
