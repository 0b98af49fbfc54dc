#include <string>
#include <string_view>

#include <rapidxml/rapidxml.hpp>

#include "app/bp_exception.h"
#include "package/file_writer.h"

namespace {

using Node = rapidxml::xml_node<char>;

[[noreturn]] void Fail(const std::string& message) {
  throw cBP_EXCEPTION(BP_ERR_LAYOUT_RULE, message);
}

std::string_view NameOf(const Node* node) { return {node->name(), node->name_size()}; }

// The first child node named name (exact bytes), or null.
const Node* Child(const Node* node, std::string_view name) {
  for (const Node* child = node->first_node(); child != nullptr; child = child->next_sibling()) {
    if (NameOf(child) == name) return child;
  }
  return nullptr;
}

// The first attribute named name, or null.
const rapidxml::xml_attribute<char>* Attribute(const Node* node, std::string_view name) {
  for (auto* attribute = node->first_attribute(); attribute != nullptr;
       attribute = attribute->next_attribute()) {
    if (std::string_view(attribute->name(), attribute->name_size()) == name) return attribute;
  }
  return nullptr;
}

// The element's text: its first text run; CDATA does not count.
std::string_view TextOf(const Node* node) {
  for (const Node* child = node->first_node(); child != nullptr; child = child->next_sibling()) {
    if (child->type() == rapidxml::node_data) return {child->value(), child->value_size()};
  }
  return {};
}

const Node* RequireChild(const Node* node, std::string_view name) {
  const Node* child = Child(node, name);
  if (child == nullptr) Fail("Must contain node: " + std::string(name));
  return child;
}

// Appends the element's text to references; an empty text breaks the rule of its kind.
void AddReference(const Node* node, const char* element, std::vector<std::string>& references) {
  const std::string_view text = TextOf(node);
  if (text.empty()) Fail(std::string(element) + " must contain an Image reference");
  references.emplace_back(text);
}

void ValidateLine(const Node* line, std::vector<std::string>& references) {
  if (const auto* align = Attribute(line, "align")) {
    const std::string_view value(align->value(), align->value_size());
    if (value != "left" && value != "center" && value != "right") {
      Fail("align must be either: left, center or right");
    }
  }
  for (const Node* child = line->first_node(); child != nullptr; child = child->next_sibling()) {
    const std::string_view name = NameOf(child);
    if (name == "logo") {
      AddReference(child, "logo", references);
    } else if (name == "text") {
      // Free text; nothing to check.
    } else if (name == "hyperlink") {
      if (Attribute(child, "url") == nullptr) Fail("hyperlink must contain attribute: url");
    } else {
      Fail("Unexpected line node: " + std::string(name));
    }
  }
}

}  // namespace

void cBP_FILE_WRITER::ValidateLayout(const rapidxml::xml_node<char>* top) {
  if (top == nullptr) Fail("Must contain at least 1 node");
  if (NameOf(top) != "vantu-client-branding") Fail("Top node must be vantu-client-branding");
  RequireChild(top, "app-name");
  AddReference(RequireChild(top, "app-icon"), "app-icon", references);
  RequireChild(top, "toolbar-menu");
  const Node* about = RequireChild(top, "about");
  if (Attribute(about, "title") == nullptr) Fail("about must contain attribute: title");
  for (const Node* child = about->first_node(); child != nullptr; child = child->next_sibling()) {
    if (NameOf(child) == "line") ValidateLine(child, references);
  }
}
