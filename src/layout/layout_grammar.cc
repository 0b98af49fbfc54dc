#include "layout/layout_grammar.h"

#include <cstring>

#include <rapidxml/rapidxml.hpp>

#include "layout/layout_schema.h"

namespace vantu::branding_package {

namespace {

using Node = rapidxml::xml_node<char>;

// The xs:element and xs:attribute declarations under node, not looking into a nested element.
void Collect(const Node* node, ElementGrammar& grammar) {
  for (const Node* child = node->first_node(); child != nullptr; child = child->next_sibling()) {
    const rapidxml::xml_attribute<char>* name = child->first_attribute("name");
    if (std::strcmp(child->name(), "xs:element") == 0 && name != nullptr) {
      grammar.children.emplace_back(name->value());
    } else if (std::strcmp(child->name(), "xs:attribute") == 0 && name != nullptr) {
      grammar.attributes.emplace_back(name->value());
    } else {
      Collect(child, grammar);
    }
  }
}

// Every element declared under node, with what it allows.
void Declare(const Node* node, LayoutGrammar& grammar) {
  for (const Node* child = node->first_node(); child != nullptr; child = child->next_sibling()) {
    const rapidxml::xml_attribute<char>* name = child->first_attribute("name");
    if (std::strcmp(child->name(), "xs:element") == 0 && name != nullptr) {
      Collect(child, grammar.elements[name->value()]);
    }
    Declare(child, grammar);
  }
}

}  // namespace

const LayoutGrammar& SchemaGrammar() {
  static const LayoutGrammar grammar = [] {
    LayoutGrammar read;
    std::string text(XmlLayoutSchema);
    rapidxml::xml_document<char> document;
    document.parse<0>(text.data());
    const Node* schema = document.first_node("xs:schema");
    ElementGrammar tops;
    Collect(schema, tops);
    read.tops = tops.children;
    Declare(schema, read);
    return read;
  }();
  return grammar;
}

}  // namespace vantu::branding_package
