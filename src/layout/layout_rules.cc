#include "layout/layout_rules.h"

#include <rapidxml/rapidxml.hpp>

#include "layout/layout_vocabulary.h"

namespace vantu::branding_package {

namespace {

namespace v = vocabulary;

std::string_view NameOf(const LayoutNode& node) { return {node.name(), node.name_size()}; }

// The first child node named name (exact bytes), or null.
const LayoutNode* Child(const LayoutNode& node, std::string_view name) {
  for (const LayoutNode* child = node.first_node(); child != nullptr;
       child = child->next_sibling()) {
    if (NameOf(*child) == name) return child;
  }
  return nullptr;
}

// The first attribute named name, or null.
const rapidxml::xml_attribute<char>* Attribute(const LayoutNode& node, std::string_view name) {
  for (auto* attribute = node.first_attribute(); attribute != nullptr;
       attribute = attribute->next_attribute()) {
    if (std::string_view(attribute->name(), attribute->name_size()) == name) return attribute;
  }
  return nullptr;
}

class RuleRunner {
 public:
  RuleRunner(const ReferenceSink& reference, const ViolationSink& violation)
      : reference_(reference), violation_(violation) {}

  // False once the sink wants no further findings.
  bool Fail(const LayoutNode* node, const std::string& message) {
    going_ = going_ && violation_(node, message);
    return going_;
  }

  // The child named name, or null after reporting it missing.
  const LayoutNode* Require(const LayoutNode& parent, std::string_view name) {
    const LayoutNode* child = Child(parent, name);
    if (child == nullptr) Fail(&parent, "Must contain node: " + std::string(name));
    return child;
  }

  // Reports the element's text as a reference; an empty text breaks the rule of its kind.
  void Reference(const LayoutNode& element, std::string_view kind) {
    const std::string text = ElementText(element);
    if (text.empty()) {
      Fail(&element, std::string(kind) + " must contain an Image reference");
    } else {
      reference_(element, text);
    }
  }

  void Line(const LayoutNode& line) {
    if (const auto* align = Attribute(line, v::kAlign)) {
      const std::string_view value(align->value(), align->value_size());
      if (value != v::kLeft && value != v::kCenter && value != v::kRight) {
        Fail(&line, "align must be either: left, center or right");
      }
    }
    for (const LayoutNode* child = line.first_node(); child != nullptr && going_;
         child = child->next_sibling()) {
      const std::string_view name = NameOf(*child);
      if (name == v::kLogo) {
        Reference(*child, v::kLogo);
      } else if (name == v::kText) {
        // Free text; nothing to check.
      } else if (name == v::kHyperlink) {
        if (Attribute(*child, v::kUrl) == nullptr)
          Fail(child, "hyperlink must contain attribute: url");
      } else {
        Fail(child, "Unexpected line node: " + std::string(name));
      }
    }
  }

  void Document(const LayoutNode* top) {
    if (top == nullptr) {
      Fail(nullptr, "Must contain at least 1 node");
      return;
    }
    if (NameOf(*top) != v::kTop) {
      Fail(top, "Top node must be " + std::string(v::kTop));
      return;
    }
    Require(*top, v::kAppName);
    if (!going_) return;
    if (const LayoutNode* icon = Require(*top, v::kAppIcon)) Reference(*icon, v::kAppIcon);
    if (!going_) return;
    Require(*top, v::kToolbarMenu);
    if (!going_) return;
    const LayoutNode* about = Require(*top, v::kAbout);
    if (about == nullptr) return;
    if (Attribute(*about, v::kTitle) == nullptr) {
      Fail(about, "about must contain attribute: " + std::string(v::kTitle));
    }
    for (const LayoutNode* child = about->first_node(); child != nullptr && going_;
         child = child->next_sibling()) {
      if (NameOf(*child) == v::kLine) Line(*child);
    }
  }

 private:
  const ReferenceSink& reference_;
  const ViolationSink& violation_;
  bool going_ = true;
};

}  // namespace

std::string ElementText(const LayoutNode& element) {
  // The parser drops comments and instructions but splits the run there; the stored layout
  // prints the pieces side by side.
  const LayoutNode* child = element.first_node();
  while (child != nullptr && child->type() != rapidxml::node_data) child = child->next_sibling();
  std::string text;
  for (; child != nullptr && child->type() == rapidxml::node_data; child = child->next_sibling()) {
    text.append(child->value(), child->value_size());
  }
  return text;
}

void CheckLayoutRules(const LayoutNode* top, const ReferenceSink& reference,
                      const ViolationSink& violation) {
  RuleRunner(reference, violation).Document(top);
}

}  // namespace vantu::branding_package
