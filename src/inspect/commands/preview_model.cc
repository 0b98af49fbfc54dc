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
  auto path = [&](const Node* element) {
    return element == nullptr ? std::string() : document.ElementPath(document.OffsetOf(element));
  };
  const Node* name = root->first_node("app-name");
  model.appName = TextOf(name);
  model.appNameElement = path(name);
  model.appIcon = TextOf(root->first_node("app-icon"));
  if (const Node* menu = root->first_node("toolbar-menu")) {
    model.menuElement = path(menu);
    const Node* aboutItem = menu->first_node("about-item");
    const Node* quitItem = menu->first_node("quit-item");
    model.aboutItem = TextOf(aboutItem);
    model.quitItem = TextOf(quitItem);
    model.aboutItemElement = path(aboutItem);
    model.quitItemElement = path(quitItem);
  }
  const Node* about = root->first_node("about");
  model.aboutElement = path(about);
  model.aboutTitle = AttributeOf(about, "title");
  model.minWidth = AttributeOf(about, "minWidth");
  if (about == nullptr) return model;
  for (const Node* line = about->first_node("line"); line != nullptr;
       line = line->next_sibling("line")) {
    PreviewLine shown;
    shown.element = path(line);
    shown.align = line->first_attribute("align") == nullptr ? "left" : AttributeOf(line, "align");
    for (const Node* item = line->first_node(); item != nullptr; item = item->next_sibling()) {
      const std::string kind(item->name(), item->name_size());
      if (kind == "logo") {
        shown.items.push_back({PreviewItem::Kind::kLogo, TextOf(item), "", path(item)});
      } else if (kind == "text") {
        shown.items.push_back({PreviewItem::Kind::kText, TextOf(item), "", path(item)});
      } else if (kind == "hyperlink") {
        shown.items.push_back(
            {PreviewItem::Kind::kHyperlink, TextOf(item), AttributeOf(item, "url"), path(item)});
      }
    }
    model.lines.push_back(std::move(shown));
  }
  return model;
}

}  // namespace vantu::branding_package
