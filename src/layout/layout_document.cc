#include "layout/layout_document.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include "base/byte_source.h"
#include "layout/layout_rules.h"

namespace vantu::branding_package {

LayoutFile ReadLayoutFile(const std::string& path) {
  LayoutFile file;
  FileSource source(path);
  if (!source.IsOpen()) {
    file.problem = LayoutFile::Problem::kCannotOpen;
    file.reason = source.OpenFailure();
    return file;
  }
  if (source.Size() > kMaxLayoutText) {
    file.problem = LayoutFile::Problem::kTooLarge;
    return file;
  }
  file.text.resize(static_cast<std::size_t>(source.Size()));
  if (!source.ReadAll(file.text.data(), source.Size())) {
    file.problem = LayoutFile::Problem::kCannotRead;
    file.reason = source.ReadFailure();
    file.text.clear();
  }
  return file;
}

LayoutDocument::LayoutDocument(std::string text)
    : text_(std::move(text)), buffer_(text_.begin(), text_.end()), lines_(text_) {
  buffer_.push_back('\0');
  try {
    ParseLayout(buffer_, parsed_);
  } catch (const LayoutSyntaxError& e) {
    syntaxError_ = e;
    parsed_.clear();
    return;
  }
  CheckLayoutRules(
      parsed_.first_node(),
      [&](const LayoutNode& element, std::string_view name) {
        references_.push_back({std::string(name), OffsetOf(&element)});
      },
      [&](const LayoutNode* node, const std::string& message) {
        violations_.push_back({OffsetOf(node), message});
        return true;
      });
}

std::size_t LayoutDocument::OffsetOf(const rapidxml::xml_node<char>* node) const {
  return StartTagOffset(node, buffer_.data());
}

}  // namespace vantu::branding_package
