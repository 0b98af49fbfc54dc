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

// The UTF-16 code units text's characters take, as editors count columns: two for a
// character past U+FFFF, one for any other, and one for each byte that is not UTF-8.
std::size_t Utf16Units(std::string_view text);

// The bytes of text's first characters that take units UTF-16 code units (all of text when it
// has fewer; a character the count ends inside is not taken).
std::size_t Utf16Prefix(std::string_view text, std::size_t units);

}  // namespace vantu::branding_package
