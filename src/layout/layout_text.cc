#include "layout/layout_text.h"

#include <cstdint>
#include <iterator>
#include <stdexcept>

#include <rapidxml/rapidxml_print.hpp>

#include "base/bp_exception.h"
#include "base/byte_source.h"
#include "layout/layout_rules.h"
#include "layout/parse_layout.h"

namespace vantu::branding_package {

namespace {

// Longest layout text whose record size, n + 17, still fits 32 bits.
constexpr std::uint64_t kMaxLayoutText = std::uint64_t{UINT32_MAX} - 17;

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

std::string TooLargeMessage(const std::string& layoutPath) {
  return "layout too large for the package: " + layoutPath;
}

}  // namespace

std::vector<char> ReadLayoutDocument(const std::string& layoutPath) {
  FileSource file(layoutPath);
  if (!file.IsOpen())
    throw cBP_EXCEPTION(BP_ERR_LAYOUT_UNREADABLE, "cannot open file " + layoutPath);
  if (file.Size() > kMaxLayoutText) {
    throw cBP_EXCEPTION(BP_ERR_LAYOUT_UNREADABLE, TooLargeMessage(layoutPath));
  }
  std::vector<char> document(static_cast<std::size_t>(file.Size()) + 1);
  if (!file.ReadAll(document.data(), file.Size())) {
    throw cBP_EXCEPTION(BP_ERR_LAYOUT_UNREADABLE, "cannot read file " + layoutPath);
  }
  document.back() = '\0';
  return document;
}

void ParseLayoutDocument(std::vector<char>& document, rapidxml::xml_document<char>& parsed) {
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

std::string PrintLayoutText(const rapidxml::xml_document<char>& parsed,
                            const std::string& layoutPath) {
  std::string text;
  try {
    rapidxml::print(BoundedAppender(text), parsed, rapidxml::print_no_indenting);
  } catch (const LayoutTooLarge&) {
    throw cBP_EXCEPTION(BP_ERR_LAYOUT_UNREADABLE, TooLargeMessage(layoutPath));
  }
  return text;
}

}  // namespace vantu::branding_package
