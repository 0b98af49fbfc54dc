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

std::string ReadLayoutDocument(const std::string& layoutPath) {
  LayoutFile file = ReadLayoutFile(layoutPath);
  switch (file.problem) {
    case LayoutFile::Problem::kNone:
      break;
    case LayoutFile::Problem::kCannotOpen:
      throw cBP_EXCEPTION(BP_ERR_LAYOUT_UNREADABLE, "cannot open file " + layoutPath);
    case LayoutFile::Problem::kCannotRead:
      throw cBP_EXCEPTION(BP_ERR_LAYOUT_UNREADABLE, "cannot read file " + layoutPath);
    case LayoutFile::Problem::kTooLarge:
      throw cBP_EXCEPTION(BP_ERR_LAYOUT_UNREADABLE, LayoutTooLargeMessage(layoutPath));
  }
  return std::move(file.text);
}

void ParseLayoutDocument(std::string& document, rapidxml::xml_document<char>& parsed) {
  try {
    ParseLayout(document, parsed);
  } catch (const LayoutSyntaxError& e) {
    throw cBP_EXCEPTION(BP_ERR_MALFORMED, e.what());
  }
}

void ApplyLayoutRules(const rapidxml::xml_node<char>* top, std::vector<std::string>& references) {
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

std::string PrintLayoutText(const rapidxml::xml_document<char>& parsed,
                            const std::string& layoutPath) {
  std::optional<std::string> text = PrintCompact(parsed);
  if (!text) throw cBP_EXCEPTION(BP_ERR_LAYOUT_UNREADABLE, LayoutTooLargeMessage(layoutPath));
  return std::move(*text);
}

}  // namespace vantu::branding_package
