// Finds elements nested too deep for the recursive XML parser and printer.
#pragma once

#include <cstddef>

namespace vantu::branding_package {

// Deepest element nesting a layout may have; far below what exhausts the stack.
constexpr std::size_t kMaxLayoutDepth = 1000;

// Scans a zero-terminated document the way the XML parser (default flags) reads it and
// returns the offset of the "<" of the first element nested deeper than maxDepth, or
// kNoTooDeepElement when there is none or the parser would fail before reaching one.
std::size_t FindTooDeepElement(const char* text, std::size_t maxDepth);

// Result of FindTooDeepElement when no element is too deep.
constexpr std::size_t kNoTooDeepElement = static_cast<std::size_t>(-1);

}  // namespace vantu::branding_package
