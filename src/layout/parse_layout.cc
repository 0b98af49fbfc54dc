#include "layout/parse_layout.h"

#include <rapidxml/rapidxml.hpp>

#include "layout/nesting_guard.h"

namespace vantu::branding_package {

void ParseLayout(std::string& document, rapidxml::xml_document<char>& parsed, MarkupMarks* marks) {
  // The parser recurses once per level, and stores a reference to code point 0 as a zero
  // byte: cut the document where either starts, so the parser stops there, unless the
  // document breaks earlier, whose error then wins.
  const Refusal refusal = FindRefusal(document.data(), kMaxLayoutDepth, marks);
  const std::size_t cut = refusal.offset;
  if (cut != kNoRefusal) document[cut] = '\0';
  const LayoutSyntaxError refused{cut == kNoRefusal ? "" : refusal.message, cut};
  try {
    parsed.parse<rapidxml::parse_default>(document.data());
  } catch (const rapidxml::parse_error& e) {
    const char* where = e.where<char>();
    const std::size_t offset =
        where == nullptr ? 0 : static_cast<std::size_t>(where - document.data());
    if (cut != kNoRefusal && offset == cut) throw refused;
    throw LayoutSyntaxError{e.what(), offset};
  }
  if (cut != kNoRefusal) throw refused;
}

std::size_t StartTagOffset(const rapidxml::xml_node<char>* node, const char* document) {
  if (node == nullptr || node->name_size() == 0) return 0;
  return static_cast<std::size_t>(node->name() - document) - 1;
}

}  // namespace vantu::branding_package
