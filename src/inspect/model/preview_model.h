// What the client shows of a layout: the parts the preview page draws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "inspect/model/image_facts.h"
#include "layout/layout_document.h"

namespace vantu::branding_package {

// One item of an About box line, in document order.
struct PreviewItem {
  using Kind = AboutItem::Kind;
  Kind kind;
  std::string text;       // logo: the image name; text and hyperlink: the text
  std::string url;        // hyperlink only
  std::string element{};  // its path in the layout, as findings name it
};

// One line of the About box.
struct PreviewLine {
  std::string align;  // "left", "center" or "right"; left when the attribute is missing
  std::vector<PreviewItem> items;
  std::string element{};  // its path in the layout
};

// The branding a layout describes, as the client would read it.
struct PreviewModel {
  std::string appName;
  std::string appIcon;  // an image name
  std::string aboutItem;
  std::string quitItem;
  std::string aboutTitle;
  std::string minWidth;  // as written; empty when absent
  std::vector<PreviewLine> lines;
  // The paths of the elements, as findings name them; empty when the element is absent.
  std::string appNameElement;
  std::string menuElement;
  std::string aboutItemElement;
  std::string quitItemElement;
  std::string aboutElement;
};

// The model of a layout document that parses and passes the packager's rules.
PreviewModel ReadPreviewModel(const LayoutDocument& document);

}  // namespace vantu::branding_package
