#include "layout/nesting_guard.h"

#include <cstring>

#include <rapidxml/rapidxml.hpp>

namespace vantu::branding_package {

namespace {

// The parser's own character classes.
using Tables = rapidxml::internal::lookup_tables<0>;

bool IsSpace(char c) { return Tables::lookup_whitespace[static_cast<unsigned char>(c)] != 0; }
bool IsNameChar(char c) { return Tables::lookup_node_name[static_cast<unsigned char>(c)] != 0; }
bool IsAttributeNameChar(char c) {
  return Tables::lookup_attribute_name[static_cast<unsigned char>(c)] != 0;
}

void SkipSpace(const char*& p) {
  while (IsSpace(*p)) ++p;
}

// Moves p behind the next occurrence of terminator; false at the end of the data.
bool SkipPast(const char*& p, const char* terminator) {
  const std::size_t length = std::strlen(terminator);
  while (std::strncmp(p, terminator, length) != 0) {
    if (*p == '\0') return false;
    ++p;
  }
  p += length;
  return true;
}

// Moves p behind a DOCTYPE's closing ">", skipping bracketed subsets.
bool SkipDoctype(const char*& p) {
  while (*p != '>') {
    if (*p == '\0') return false;
    if (*p++ != '[') continue;
    for (int depth = 1; depth > 0; ++p) {
      if (*p == '\0') return false;
      if (*p == '[') ++depth;
      if (*p == ']') --depth;
    }
  }
  ++p;
  return true;
}

// Moves p behind "<!..." or "<?..." constructs, which hold no elements; p is at "!" or "?".
bool SkipMarkup(const char*& p) {
  if (*p == '?') return SkipPast(++p, "?>");
  if (std::strncmp(p, "!--", 3) == 0) return SkipPast(p += 3, "-->");
  if (std::strncmp(p, "![CDATA[", 8) == 0) return SkipPast(p += 8, "]]>");
  if (std::strncmp(p, "!DOCTYPE", 8) == 0 && IsSpace(p[8])) return SkipDoctype(p += 9);
  return SkipPast(++p, ">");
}

// Moves p over an element's name and attributes to just behind its start tag; opens tells
// whether content follows (">") rather than an empty-element end ("/>").
bool SkipStartTag(const char*& p, bool& opens) {
  while (IsNameChar(*p)) ++p;
  SkipSpace(p);
  while (IsAttributeNameChar(*p)) {
    while (IsAttributeNameChar(*p)) ++p;
    SkipSpace(p);
    if (*p++ != '=') return false;
    SkipSpace(p);
    const char quote = *p++;
    if (quote != '\'' && quote != '"') return false;
    while (*p != quote) {
      if (*p++ == '\0') return false;
    }
    ++p;
    SkipSpace(p);
  }
  opens = *p == '>';
  if (!opens && (*p != '/' || p[1] != '>')) return false;
  p += opens ? 1 : 2;
  return true;
}

}  // namespace

std::size_t FindTooDeepElement(const char* text, std::size_t maxDepth) {
  const char* p = text;
  if (std::strncmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
  std::size_t depth = 0;
  for (;;) {
    SkipSpace(p);
    if (depth > 0) {
      while (*p != '<' && *p != '\0') ++p;  // a text run
    }
    if (*p != '<') return kNoTooDeepElement;
    const char* open = p++;
    if (depth > 0 && *p == '/') {
      ++p;
      while (IsNameChar(*p)) ++p;
      SkipSpace(p);
      if (*p++ != '>') return kNoTooDeepElement;
      --depth;
      continue;
    }
    if (*p == '?' || *p == '!') {
      if (!SkipMarkup(p)) return kNoTooDeepElement;
      continue;
    }
    if (!IsNameChar(*p)) return kNoTooDeepElement;
    if (depth >= maxDepth) return static_cast<std::size_t>(open - text);
    bool opens = false;
    if (!SkipStartTag(p, opens)) return kNoTooDeepElement;
    if (opens) ++depth;
  }
}

}  // namespace vantu::branding_package
