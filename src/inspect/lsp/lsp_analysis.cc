#include "inspect/lsp/lsp_analysis.h"

#include <algorithm>

#include "inspect/model/found_images.h"

namespace vantu::branding_package {

const LintedImage* Analysis::Image(const std::string& name) const {
  for (const LintedImage& image : report.images) {
    if (image.facts.name == name) return &image;
  }
  return nullptr;
}

const LayoutDocument::Reference* Analysis::ReferenceAt(std::size_t offset) const {
  const auto& references = document->References();
  for (auto it = references.rbegin(); it != references.rend(); ++it) {
    if (it->offset > offset) continue;
    return offset < document->ElementEnd(it->offset) ? &*it : nullptr;
  }
  return nullptr;
}

std::unique_ptr<Analysis> Analyse(const std::string& path, std::string text,
                                  CheckSession& session) {
  auto analysis = std::make_unique<Analysis>();
  analysis->path = path;
  CheckedLayout checked = session.Check(path, std::move(text));
  analysis->problem = std::move(checked.problem);
  analysis->folders = std::move(checked.folders);
  analysis->document = std::move(checked.document);
  analysis->report = std::move(checked.report);
  const LayoutDocument& document = *analysis->document;
  analysis->positions = std::make_unique<TextPositions>(document.Text());
  return analysis;
}

}  // namespace vantu::branding_package
