#include "inspect/model/preview_model.h"

#include "layout/layout_vocabulary.h"

namespace vantu::branding_package {

PreviewModel ReadPreviewModel(const LayoutDocument& document) {
  const Layout& layout = document.Model();
  auto path = [&](const std::optional<TextRange>& range) {
    return range ? document.ElementPath(range->begin) : std::string();
  };
  PreviewModel model;
  model.appName = layout.appName.text;
  model.appNameElement = path(layout.appName.range);
  model.appIcon = layout.appIcon.text;
  model.menuElement = path(layout.menu);
  model.aboutItem = layout.aboutItem.text;
  model.quitItem = layout.quitItem.text;
  model.aboutItemElement = path(layout.aboutItem.range);
  model.quitItemElement = path(layout.quitItem.range);
  model.aboutElement = path(layout.about);
  model.aboutTitle = layout.title.value_or("");
  model.minWidth = layout.minWidth.value_or("");
  for (const AboutLine& line : layout.lines) {
    PreviewLine shown{line.align.value_or(std::string(vocabulary::kLeft)), {}, path(line.range)};
    for (const AboutItem& item : line.items) {
      shown.items.push_back({item.kind, item.text, item.url.value_or(""), path(item.range)});
    }
    model.lines.push_back(std::move(shown));
  }
  return model;
}

}  // namespace vantu::branding_package
