#include <algorithm>
#include <climits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "image/image_format.h"
#include "inspect/model/checks.h"
#include "inspect/model/schema_check.h"
#include "inspect/model/suppressions.h"
#include "layout/layout_document.h"
#include "package/name_match.h"

namespace vantu::branding_package {

namespace {

// Why the schema check would take too long on the document, with the offset of the element
// at fault; none when it is fit.
std::optional<std::pair<std::size_t, std::string>> TooWideForSchema(
    const LayoutDocument& document) {
  const auto& elements = document.Elements();
  const auto tops = static_cast<std::size_t>(std::count_if(
      elements.begin(), elements.end(),
      [](const LayoutDocument::Element& e) { return e.parent == LayoutDocument::kNone; }));
  // The document holds its top-level elements as an element holds its children.
  if (tops > kMaxCheckedChildren) {
    return std::make_pair(std::size_t{0}, "schema not checked: element '' holds " +
                                              std::to_string(tops) + " nodes, more than " +
                                              std::to_string(kMaxCheckedChildren));
  }
  for (const LayoutDocument::Element& element : elements) {
    const std::string name(element.name);
    if (element.nodes > kMaxCheckedChildren) {
      return std::make_pair(element.offset, "schema not checked: element '" + name + "' holds " +
                                                std::to_string(element.nodes) +
                                                " nodes, more than " +
                                                std::to_string(kMaxCheckedChildren));
    }
    if (element.attributes.size() > kMaxCheckedAttributes) {
      return std::make_pair(element.offset, "schema not checked: element '" + name + "' has " +
                                                std::to_string(element.attributes.size()) +
                                                " attributes, more than " +
                                                std::to_string(kMaxCheckedAttributes));
    }
  }
  return std::nullopt;
}

// "WxH".
// length scaled by shown/of, rounded, at least 1.

// Each reference to an image the preview shows much smaller than it is, with why: an app
// icon higher than kIconShownHeight that is larger than kIconLargest or not square, a logo
// scaled down more than kLogoMostScaled times. The first image of a name is the one shown.
std::vector<std::pair<std::size_t, std::string>> ShownSmaller(
    const LayoutDocument& document, const std::vector<const ImageFacts*>& images) {
  std::unordered_map<std::string_view, const ImageFacts*> byName;
  for (const ImageFacts* image : images) byName.emplace(image->name, image);
  std::vector<std::pair<std::size_t, std::string>> notes;
  for (const LayoutDocument::Reference& reference : document.References()) {
    const auto found = byName.find(reference.name);
    if (found == byName.end() || !found->second->decoded.ok) continue;
    const std::uint64_t w = found->second->decoded.width;
    const std::uint64_t h = found->second->decoded.height;
    const bool icon = reference.appIcon;
    // The title bar draws the icon kIconShownHeight high, keeping its shape: one no higher is
    // shown at its own size, however wide.
    if (icon && h > kIconShownHeight && (w > kIconLargest || h > kIconLargest || w != h)) {
      const bool large = w > kIconLargest || h > kIconLargest;
      const std::string why =
          std::string(large ? "larger than " + PixelSize(kIconLargest, kIconLargest) : "") +
          (large && w != h ? " and " : "") + (w != h ? "not square" : "");
      notes.emplace_back(reference.offset,
                         "the app icon " + reference.name + " is " + PixelSize(w, h) + " pixels, " +
                             why + ": the preview's title bar shows it at " +
                             PixelSize(ShownSize(w, h, true).first, kIconShownHeight));
    } else if (!icon && w > std::uint64_t{kLogoShownWidth} * kLogoMostScaled) {
      notes.emplace_back(reference.offset,
                         "the logo " + reference.name + " is " + PixelSize(w, h) +
                             " pixels: the preview's About box shows it at most " +
                             PixelSize(kLogoShownWidth, ShownSize(w, h, false).second) +
                             ", scaled down more than " + std::to_string(kLogoMostScaled) +
                             " times");
    }
  }
  return notes;
}

}  // namespace

void CheckReferencePaths(const std::string& file, const LayoutDocument& document,
                         std::uint64_t textOffset, std::vector<Finding>& findings) {
  for (const LayoutDocument::Reference& reference : document.References()) {
    if (ReferenceHoldsFolder(reference.name)) {
      findings.push_back(LayoutFinding(document, file, textOffset, reference.offset,
                                       FindingId::kReferencePath,
                                       "the reference " + reference.name +
                                           " holds a folder; images are matched by file name "
                                           "alone"));
    }
  }
}

void CheckLayout(const std::string& file, const LayoutDocument& document,
                 const std::vector<const ImageFacts*>* images, std::uint64_t textOffset,
                 std::vector<Finding>& findings, bool schema) {
  auto add = [&](std::size_t at, FindingId id, std::string message) {
    findings.push_back(LayoutFinding(document, file, textOffset, at, id, std::move(message)));
  };
  if (const auto& error = document.SyntaxError()) {
    // The packager's one syntax error, without the schema library's wording of it, and no
    // references to compare.
    add(error->offset, FindingId::kLayoutSyntax, error->what());
    return;
  }
  const std::string& text = document.Text();
  bool schemaFit = schema;
  if (!schema) {
    // Not asked for.
  } else if (text.size() > kMaxCheckedText) {
    // The schema library takes lengths as int; the packager takes up to 4 GiB.
    schemaFit = false;
    add(0, FindingId::kSchemaSkipped,
        "schema not checked: the layout is larger than " + std::to_string(kMaxCheckedText) +
            " bytes");
  } else if (auto tooWide = TooWideForSchema(document)) {
    schemaFit = false;
    add(tooWide->first, FindingId::kSchemaSkipped, tooWide->second);
  }
  for (const LayoutDocument::Violation& violation : document.Violations()) {
    add(violation.offset, FindingId::kLayoutRule, violation.message);
  }
  CheckLayoutText(file, document, textOffset, findings);
  CheckReferencePaths(file, document, textOffset, findings);

  if (images != nullptr) {
    const auto& references = document.References();
    const NameMismatches mismatches = MatchNames(
        references, [](const LayoutDocument::Reference& r) { return std::string_view(r.name); },
        *images, [](const ImageFacts* image) { return std::string_view(image->name); });
    for (std::size_t i : mismatches.references) {
      add(references[i].offset, FindingId::kMissingImage, kNoResourceFound + references[i].name);
    }
    for (std::size_t i : mismatches.resources) {
      add(document.Elements().empty() ? 0 : document.Elements().front().offset,
          FindingId::kUnreferencedImage, kNoReferenceFound + (*images)[i]->name);
    }
    for (const auto& [offset, message] : ShownSmaller(document, *images)) {
      add(offset, FindingId::kImageShownSmaller, message);
    }
  }

  if (schemaFit) {
    for (SchemaFinding& s : CheckAgainstSchema(text, file)) {
      if (s.at) {
        add(*s.at, s.id, std::move(s.message));
      } else {
        findings.push_back({&Kind(s.id), file, 0, 0, textOffset, std::move(s.message)});
      }
    }
  }
}

namespace {

// The layout's findings first, by position, those without one (line 0) last in their file;
// then the images' in the order given.
void SortFindings(const std::string& layoutPath, std::vector<Finding>& findings) {
  std::stable_sort(findings.begin(), findings.end(), [&](const Finding& a, const Finding& b) {
    const bool aLayout = a.file == layoutPath;
    const bool bLayout = b.file == layoutPath;
    if (aLayout != bLayout) return aLayout;
    if (!aLayout) return false;
    const bool aPlaced = a.line > 0;
    const bool bPlaced = b.line > 0;
    if (aPlaced != bPlaced) return aPlaced;
    return std::tie(a.line, a.column) < std::tie(b.line, b.column);
  });
}

}  // namespace

std::vector<Finding> LintFindings(const std::string& file, const LayoutDocument& document,
                                  const std::vector<std::string>& imagePaths,
                                  std::vector<LintedImage>& images, References references,
                                  Learn learn, std::vector<Finding>* suppressed, bool schema,
                                  ImageCache* cache) {
  std::vector<Finding> findings;
  images = CheckImages(imagePaths, findings, learn, cache);
  std::vector<const ImageFacts*> named;
  named.reserve(images.size());
  for (const LintedImage& image : images) named.push_back(&image.facts);
  const bool compared = !images.empty() || references == References::kAlways;
  CheckLayout(file, document, compared ? &named : nullptr, kNoOffset, findings, schema);
  std::vector<Finding> left;
  ApplyInlineSuppressions(document, file, findings, suppressed != nullptr ? *suppressed : left);
  SortFindings(file, findings);
  return findings;
}

std::vector<Finding> PackageFindings(const PackageContents& contents,
                                     const LayoutDocument& document, const std::string& path) {
  std::vector<Finding> findings;
  std::vector<const ImageFacts*> named;
  ImageChecks checks;
  for (const ImageFacts& image : contents.images) {
    named.push_back(&image);
    checks.Check(image, path, true, Learn::kAll, findings);
  }
  if (contents.hasLayout) CheckLayout(path, document, &named, contents.layoutTextOffset, findings);
  std::stable_sort(findings.begin(), findings.end(),
                   [](const Finding& a, const Finding& b) { return a.offset < b.offset; });
  return findings;
}

std::pair<std::uint64_t, std::uint64_t> ShownSize(std::uint64_t width, std::uint64_t height,
                                                  bool appIcon) {
  auto scaled = [](std::uint64_t length, std::uint64_t shown, std::uint64_t of) {
    return std::max<std::uint64_t>(1, (length * shown + of / 2) / of);
  };
  if (appIcon && height > kIconShownHeight) {
    return {scaled(width, kIconShownHeight, height), kIconShownHeight};
  }
  if (!appIcon && width > kLogoShownWidth) {
    return {kLogoShownWidth, scaled(height, kLogoShownWidth, width)};
  }
  return {width, height};
}

}  // namespace vantu::branding_package
