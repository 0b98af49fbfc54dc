#include <rapidxml/rapidxml.hpp>

#include "layout/layout_model.h"
#include "layout/layout_rules.h"
#include "layout/layout_vocabulary.h"
#include "layout/parse_layout.h"

namespace vantu::branding_package {

namespace {

namespace v = vocabulary;

std::string_view NameOf(const LayoutNode& node) { return {node.name(), node.name_size()}; }

// The first child element named name, or null.
const LayoutNode* Child(const LayoutNode* node, std::string_view name) {
  return node == nullptr ? nullptr : node->first_node(name.data(), name.size());
}

// The value of node's first attribute named name, when it has one.
std::optional<std::string> Attribute(const LayoutNode* node, std::string_view name) {
  const auto* attribute =
      node == nullptr ? nullptr : node->first_attribute(name.data(), name.size());
  if (attribute == nullptr) return std::nullopt;
  return std::string(attribute->value(), attribute->value_size());
}

}  // namespace

Layout ModelOf(const LayoutNode* top, const char* buffer) {
  auto range = [buffer](const LayoutNode& node) {
    const std::size_t begin = StartTagOffset(&node, buffer);
    return TextRange{begin, begin + 1 + node.name_size()};
  };
  auto text = [&](const LayoutNode* node) {
    LayoutText shown;
    if (node != nullptr) shown = {range(*node), ElementText(*node)};
    return shown;
  };
  auto optionalRange = [&](const LayoutNode* node) {
    return node == nullptr ? std::nullopt : std::optional<TextRange>(range(*node));
  };
  Layout layout;
  if (top == nullptr || NameOf(*top) != v::kTop) return layout;
  layout.top = range(*top);
  layout.appName = text(Child(top, v::kAppName));
  layout.appIcon = text(Child(top, v::kAppIcon));
  const LayoutNode* menu = Child(top, v::kToolbarMenu);
  layout.menu = optionalRange(menu);
  layout.aboutItem = text(Child(menu, v::kAboutItem));
  layout.quitItem = text(Child(menu, v::kQuitItem));
  const LayoutNode* about = Child(top, v::kAbout);
  layout.about = optionalRange(about);
  layout.title = Attribute(about, v::kTitle);
  layout.minWidth = Attribute(about, v::kMinWidth);
  for (const LayoutNode* line = Child(about, v::kLine); line != nullptr;
       line = line->next_sibling(v::kLine.data(), v::kLine.size())) {
    AboutLine shown{range(*line), Attribute(line, v::kAlign), {}};
    for (const LayoutNode* item = line->first_node(); item != nullptr;
         item = item->next_sibling()) {
      const std::string_view name = NameOf(*item);
      const auto kind = name == v::kLogo   ? AboutItem::Kind::kLogo
                        : name == v::kText ? AboutItem::Kind::kText
                                           : AboutItem::Kind::kHyperlink;
      if (name != v::kLogo && name != v::kText && name != v::kHyperlink) continue;
      shown.items.push_back(
          {kind, range(*item), ElementText(*item),
           kind == AboutItem::Kind::kHyperlink ? Attribute(item, v::kUrl) : std::nullopt});
    }
    layout.lines.push_back(std::move(shown));
  }
  return layout;
}

}  // namespace vantu::branding_package
