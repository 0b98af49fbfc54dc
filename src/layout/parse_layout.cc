#include "layout/parse_layout.h"

#include "layout/nesting_guard.h"

namespace vantu::branding_package {

void ParseLayout(std::vector<char>& document, rapidxml::xml_document<char>& parsed) {
  // The parser recurses once per level: cut the document where nesting gets too deep, so
  // the parser stops there, unless the document breaks earlier, whose error then wins.
  const std::size_t tooDeep = FindTooDeepElement(document.data(), kMaxLayoutDepth);
  if (tooDeep != kNoTooDeepElement) document[tooDeep] = '\0';
  const LayoutSyntaxError nestingTooDeep{"element nesting too deep", tooDeep};
  try {
    parsed.parse<rapidxml::parse_default>(document.data());
  } catch (const rapidxml::parse_error& e) {
    const char* where = e.where<char>();
    const std::size_t offset = where == nullptr ? 0 : static_cast<std::size_t>(where - document.data());
    if (tooDeep != kNoTooDeepElement && offset == tooDeep) throw nestingTooDeep;
    throw LayoutSyntaxError{e.what(), offset};
  }
  if (tooDeep != kNoTooDeepElement) throw nestingTooDeep;
}

}  // namespace vantu::branding_package
