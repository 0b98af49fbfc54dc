#include "layout/layout_text.h"

#include <cstdint>
#include <iterator>
#include <stdexcept>

#include <rapidxml/rapidxml_print.hpp>

#include "base/bp_exception.h"
#include "base/byte_source.h"
#include "layout/layout_document.h"
#include "layout/layout_rules.h"
#include "layout/parse_layout.h"

namespace vantu::branding_package {

namespace {

// Raised by BoundedAppender when the text outgrows kMaxLayoutText.
struct LayoutTooLarge : std::length_error {
  LayoutTooLarge() : std::length_error("layout text too large") {}
};

// Output iterator for the printer that appends to a string and stops at the limit, so
// that a text which could never be stored is never built whole.
class BoundedAppender {
 public:
  using iterator_category = std::output_iterator_tag;
  using value_type = void;
  using difference_type = std::ptrdiff_t;
  using pointer = void;
  using reference = void;

  explicit BoundedAppender(std::string& text) : text_(&text) {}
  BoundedAppender& operator*() { return *this; }
  BoundedAppender& operator++() { return *this; }
  BoundedAppender operator++(int) { return *this; }
  BoundedAppender& operator=(char c) {
    if (text_->size() >= kMaxLayoutText) throw LayoutTooLarge{};
    text_->push_back(c);
    return *this;
  }

 private:
  std::string* text_;
};

}  // namespace

std::string LayoutTooLargeMessage(const std::string& layoutPath) {
  return "layout too large for the package: " + layoutPath;
}

void ApplyLayoutRules(const LayoutNode* top, std::vector<std::string>& references) {
  CheckLayoutRules(
      top,
      [&references](const auto& /*element*/, std::string_view name) {
        references.emplace_back(name);
      },
      [](const auto* /*node*/, const std::string& message) -> bool {
        throw cBP_EXCEPTION(BP_ERR_LAYOUT_RULE, message);
      });
}

std::optional<std::string> PrintCompact(const rapidxml::xml_document<char>& parsed) {
  std::string text;
  try {
    rapidxml::print(BoundedAppender(text), parsed, rapidxml::print_no_indenting);
  } catch (const LayoutTooLarge&) {
    return std::nullopt;
  }
  return text;
}

}  // namespace vantu::branding_package
