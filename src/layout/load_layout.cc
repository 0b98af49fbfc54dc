#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include <rapidxml/rapidxml.hpp>
#include <rapidxml/rapidxml_print.hpp>

#include "app/bp_exception.h"
#include "layout/parse_layout.h"
#include "package/file_writer.h"
#include "package/input_file.h"
#include "package/package_format.h"
#include "safe/safe_api.h"

namespace bp = vantu::branding_package;

namespace {

// Longest layout text whose record size, n + 17, still fits 32 bits.
constexpr std::uint64_t kMaxLayoutText = bp::kMaxPackageSize - bp::kLayoutHeadSize - 1;

// Raised by BoundedAppender when the text outgrows kMaxLayoutText.
struct LayoutTooLarge {};

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

// The whole file and one zero byte behind it.
std::vector<char> ReadLayoutFile(const std::string& layoutPath) {
  bp::InputFile file(layoutPath);
  if (!file.IsOpen()) throw cBP_EXCEPTION(BP_ERR_LAYOUT_UNREADABLE, "cannot open file " + layoutPath);
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

}  // namespace

void cBP_FILE_WRITER::LoadLayout(const std::string& layoutPath) {
  std::vector<char> document = ReadLayoutFile(layoutPath);
  LoadLayoutDocument(document, layoutPath);
}

void cBP_FILE_WRITER::LoadLayoutDocument(std::vector<char>& document,
                                         const std::string& layoutPath) {
  rapidxml::xml_document<char> parsed;
  try {
    bp::ParseLayout(document, parsed);
  } catch (const bp::LayoutSyntaxError& e) {
    throw cBP_EXCEPTION(BP_ERR_MALFORMED, e.message);
  }

  ValidateLayout(parsed.first_node());

  std::string text;
  try {
    rapidxml::print(BoundedAppender(text), parsed, rapidxml::print_no_indenting);
  } catch (const LayoutTooLarge&) {
    throw cBP_EXCEPTION(BP_ERR_LAYOUT_UNREADABLE, TooLargeMessage(layoutPath));
  }

  const auto n = static_cast<std::uint32_t>(text.size());
  auto record = std::make_unique<cBP_COMPONENT_WRAPPER>(n + 17);
  unsigned char head[bp::kLayoutHeadSize];
  bp::PutU32(head, record->size);
  bp::PutU32(head + 4, bp::kLayoutRecord);
  bp::PutU32(head + 8, 0);
  bp::PutU32(head + 12, n + 1);
  unsigned char* out = record->data.get();
  vantu_memcpy_s(out, record->size, head, sizeof head);
  vantu_memcpy_s(out + sizeof head, record->size - sizeof head, text.c_str(), n + 1);
  components.push_back(std::move(record));
}
