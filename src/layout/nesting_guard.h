// Finds what the recursive XML parser must never be handed: elements nested too deep for
// its stack, and character references it would store as a zero byte or wrap around.
#pragma once

#include <cstddef>

namespace vantu::branding_package {

// Deepest element nesting a layout may have; far below what exhausts the stack.
constexpr std::size_t kMaxLayoutDepth = 1000;

// Offset of a refused construct when there is none.
constexpr std::size_t kNoRefusal = static_cast<std::size_t>(-1);

// The first construct the parser must not see, and the parser's message for it.
struct Refusal {
  std::size_t offset = kNoRefusal;  // of its "<" or "&"
  const char* message = nullptr;    // "element nesting too deep" or
                                    // "invalid numeric character entity"
};

// Scans a zero-terminated document the way the XML parser (default flags) reads it and
// returns the first element nested deeper than maxDepth, or numeric character reference
// (in text or an attribute value, ended by ";") to code point 0 or beyond 0x10FFFF; none
// when there is neither or the parser would fail before reaching one.
Refusal FindRefusal(const char* text, std::size_t maxDepth);

}  // namespace vantu::branding_package
