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
    return offset < ElementEnd(document->Text(), it->offset) ? &*it : nullptr;
  }
  return nullptr;
}

std::unique_ptr<Analysis> Analyse(const std::string& path, std::string text, ImageCache& cache) {
  auto analysis = std::make_unique<Analysis>();
  analysis->path = path;
  Policy policy;
  auto chosen = ChoosePolicy(path, Policy{}, std::nullopt);
  if (auto* problem = std::get_if<std::string>(&chosen)) {
    analysis->problem = *problem;
  } else {
    policy = std::get<ChosenPolicy>(chosen).policy;
    analysis->warnings = std::get<ChosenPolicy>(chosen).warnings;
    analysis->folders = ImageFolders(path, std::get<ChosenPolicy>(chosen).dirs);
  }
  if (analysis->folders.empty()) analysis->folders = ImageFolders(path, {});
  analysis->document = std::make_unique<LayoutDocument>(std::move(text));
  const LayoutDocument& document = *analysis->document;
  analysis->positions = std::make_unique<TextPositions>(document.Text());
  const FoundImages found = FindImages(document, analysis->folders);
  analysis->report = MakeLintReport(path, document, found.paths, References::kAlways, Learn::kAll,
                                    policy, true, &cache);
  // A suppression allows nothing when no finding it names is in its element.
  std::vector<Finding> problems;
  for (InlineSuppression& suppression : InlineSuppressions(document, path, problems)) {
    const auto& suppressed = analysis->report.suppressed;
    if (std::none_of(suppressed.begin(), suppressed.end(), [&](const Finding& f) {
          return f.suppression == Finding::Suppression::kInSource && suppression.Allows(f);
        })) {
      analysis->idle.push_back(std::move(suppression));
    }
  }
  return analysis;
}

}  // namespace vantu::branding_package
