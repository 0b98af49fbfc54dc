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

bool IsDigit(char c) { return Tables::lookup_digits[static_cast<unsigned char>(c)] != 0xFF; }

constexpr char kTooDeep[] = "element nesting too deep";
constexpr char kBadReference[] = "invalid numeric character entity";

// Whether the reference at p ("&#...") is one the parser would expand to code point 0 or
// wrap around past 64 bits: it reads digits (hex letters included, even in decimal) and
// expands before it checks for the ";".
bool IsRefusedReference(const char* p) {
  if (p[0] != '&' || p[1] != '#') return false;
  const bool hex = p[2] == 'x';
  const unsigned long long base = hex ? 16 : 10;
  p += hex ? 3 : 2;
  unsigned long long code = 0;
  bool beyond = false;
  for (; IsDigit(*p); ++p) {
    code = code * base + Tables::lookup_digits[static_cast<unsigned char>(*p)];
    if (code > 0x10FFFF) {
      beyond = true;
      code = 0x10FFFF;
    }
  }
  return *p == ';' && (beyond || code == 0);
}

// Moves p to the next "<", or the end, across text; bad is set to the first refused
// reference on the way.
void SkipText(const char*& p, const char*& bad) {
  for (; *p != '<' && *p != '\0'; ++p) {
    if (*p == '&' && bad == nullptr && IsRefusedReference(p)) bad = p;
  }
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
// comment tells whether it was a comment.
bool SkipMarkup(const char*& p, bool& comment) {
  comment = std::strncmp(p, "!--", 3) == 0;
  if (*p == '?') return SkipPast(++p, "?>");
  if (comment) return SkipPast(p += 3, "-->");
  if (std::strncmp(p, "![CDATA[", 8) == 0) return SkipPast(p += 8, "]]>");
  if (std::strncmp(p, "!DOCTYPE", 8) == 0 && IsSpace(p[8])) return SkipDoctype(p += 9);
  return SkipPast(++p, ">");
}

// Moves p over an element's name and attributes to just behind its start tag; opens tells
// whether content follows (">") rather than an empty-element end ("/>"); value is called
// with each attribute value's bounds.
template <class Value>
bool SkipStartTag(const char*& p, bool& opens, const char*& bad, const Value& value) {
  while (IsNameChar(*p)) ++p;
  SkipSpace(p);
  while (IsAttributeNameChar(*p)) {
    while (IsAttributeNameChar(*p)) ++p;
    SkipSpace(p);
    if (*p++ != '=') return false;
    SkipSpace(p);
    const char quote = *p++;
    if (quote != '\'' && quote != '"') return false;
    const char* begin = p;
    for (; *p != quote; ++p) {
      if (*p == '\0') return false;
      if (*p == '&' && bad == nullptr && IsRefusedReference(p)) bad = p;
    }
    value(begin, p);
    ++p;
    SkipSpace(p);
  }
  opens = *p == '>';
  if (!opens && (*p != '/' || p[1] != '>')) return false;
  p += opens ? 1 : 2;
  return true;
}

}  // namespace

std::size_t FirstElementAt(const char* text) {
  const char* p = text;
  for (;;) {
    while (*p != '<' && *p != '\0') ++p;
    if (*p == '\0') return static_cast<std::size_t>(p - text);
    const char* tag = p++;
    if (*p != '?' && *p != '!') return static_cast<std::size_t>(tag - text);
    bool comment = false;
    if (!SkipMarkup(p, comment)) return std::strlen(text);
  }
}

Refusal FindRefusal(const char* text, std::size_t maxDepth, MarkupMarks* marks) {
  const char* p = text;
  if (std::strncmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
  std::size_t depth = 0;
  // The first refused reference; it counts once the scan has gone past it without the
  // parser failing earlier.
  const char* bad = nullptr;
  // The construct at (null when the scan ends without one), unless a refused reference
  // came first.
  auto refused = [&](const char* at, const char* message) {
    if (bad != nullptr && (at == nullptr || bad < at)) {
      return Refusal{static_cast<std::size_t>(bad - text), kBadReference};
    }
    if (at == nullptr) return Refusal{};
    return Refusal{static_cast<std::size_t>(at - text), message};
  };
  auto at = [&](const char* q) { return static_cast<std::size_t>(q - text); };
  std::vector<std::size_t> open;  // the elements marked and not yet closed
  for (;;) {
    SkipSpace(p);
    if (depth > 0) SkipText(p, bad);
    if (*p != '<') return refused(nullptr, nullptr);
    const char* tag = p++;
    if (depth > 0 && *p == '/') {
      ++p;
      while (IsNameChar(*p)) ++p;
      SkipSpace(p);
      if (*p++ != '>') return refused(nullptr, nullptr);
      --depth;
      if (marks != nullptr) {
        MarkupMarks::Element& closed = marks->elements[open.back()];
        closed.closeTag = at(tag);
        closed.end = at(p);
        marks->closings.push_back(open.back());
        open.pop_back();
      }
      continue;
    }
    if (*p == '?' || *p == '!') {
      bool comment = false;
      if (!SkipMarkup(p, comment)) return refused(nullptr, nullptr);
      if (comment && marks != nullptr) marks->comments.push_back({at(tag), at(p)});
      continue;
    }
    if (!IsNameChar(*p)) return refused(nullptr, nullptr);
    if (depth >= maxDepth) return refused(tag, kTooDeep);
    bool opens = false;
    const std::size_t index = marks != nullptr ? marks->elements.size() : 0;
    const bool read = SkipStartTag(p, opens, bad, [&](const char* begin, const char* end) {
      if (marks == nullptr) return;
      marks->values.push_back({at(begin), at(end)});
    });
    if (!read) return refused(nullptr, nullptr);
    if (opens) ++depth;
    if (marks != nullptr) {
      marks->elements.push_back({at(p), MarkupMarks::kNone, at(p)});
      if (opens) open.push_back(index);
    }
  }
}

}  // namespace vantu::branding_package
