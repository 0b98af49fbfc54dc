#include "inspect/commands/preview_model.h"

#include "layout/layout_document.h"
#include "layout/layout_rules.h"

namespace vantu::branding_package {

namespace {

using Node = rapidxml::xml_node<char>;

std::string TextOf(const Node* element) { return element == nullptr ? "" : ElementText(*element); }

std::string AttributeOf(const Node* element, const char* name) {
  if (element == nullptr) return "";
  const auto* attribute = element->first_attribute(name);
  return attribute == nullptr ? "" : std::string(attribute->value(), attribute->value_size());
}

}  // namespace

PreviewModel ReadPreviewModel(const LayoutDocument& document) {
  PreviewModel model;
  const Node* root = document.Root();
  if (root == nullptr) return model;
  model.appName = TextOf(root->first_node("app-name"));
  model.appIcon = TextOf(root->first_node("app-icon"));
  if (const Node* menu = root->first_node("toolbar-menu")) {
    model.aboutItem = TextOf(menu->first_node("about-item"));
    model.quitItem = TextOf(menu->first_node("quit-item"));
  }
  const Node* about = root->first_node("about");
  model.aboutTitle = AttributeOf(about, "title");
  model.minWidth = AttributeOf(about, "minWidth");
  if (about == nullptr) return model;
  for (const Node* line = about->first_node("line"); line != nullptr;
       line = line->next_sibling("line")) {
    PreviewLine shown;
    shown.align = line->first_attribute("align") == nullptr ? "left" : AttributeOf(line, "align");
    for (const Node* item = line->first_node(); item != nullptr; item = item->next_sibling()) {
      const std::string name(item->name(), item->name_size());
      if (name == "logo") {
        shown.items.push_back({PreviewItem::Kind::kLogo, TextOf(item), ""});
      } else if (name == "text") {
        shown.items.push_back({PreviewItem::Kind::kText, TextOf(item), ""});
      } else if (name == "hyperlink") {
        shown.items.push_back(
            {PreviewItem::Kind::kHyperlink, TextOf(item), AttributeOf(item, "url")});
      }
    }
    model.lines.push_back(std::move(shown));
  }
  return model;
}

}  // namespace vantu::branding_package
