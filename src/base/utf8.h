// Checking text for well-formed UTF-8.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace vantu::branding_package {

// Length of the well-formed UTF-8 sequence of two to four bytes starting at text[i]
// (shortest form, no surrogates, at most U+10FFFF), or 0.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i);

// Offset of the first byte of text that is not part of well-formed UTF-8; none when all is.
std::optional<std::size_t> FirstNonUtf8(std::string_view text);

}  // namespace vantu::branding_package
