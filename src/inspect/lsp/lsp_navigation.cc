#include <set>

#include "image/image_format.h"
#include "inspect/lsp/lsp_features.h"
#include "inspect/model/checks.h"
#include "layout/layout_vocabulary.h"

namespace vantu::branding_package {

namespace {

// The protocol's symbol kinds.
constexpr int kSymbolFile = 1;
constexpr int kSymbolModule = 2;
constexpr int kSymbolNamespace = 3;
constexpr int kSymbolField = 8;
constexpr int kSymbolString = 15;
constexpr int kSymbolArray = 18;
constexpr int kSymbolKey = 20;

// What a person reads of the image a reference names.
std::string ImageHover(const Analysis& analysis, const LayoutDocument::Reference& reference) {
  std::string text = "**" + reference.name + "**";
  const LintedImage* image = analysis.Image(reference.name);
  if (image == nullptr || !image->read) {
    text += "\n\nNot found in ";
    for (std::size_t i = 0; i < analysis.folders.size(); ++i) {
      text += (i == 0 ? "" : ", ") + analysis.folders[i];
    }
    return text + ".";
  }
  const ImageFacts& facts = image->facts;
  text += " (" + image->path + ")\n\n" + FormatName(facts.format) + ", " + PixelsText(facts) +
          ", " + std::to_string(facts.size) + " bytes.";
  if (!facts.decoded.ok) return text;
  const auto [w, h] = ShownSize(facts.decoded.width, facts.decoded.height, reference.appIcon);
  const bool scaled = w != facts.decoded.width || h != facts.decoded.height;
  text += reference.appIcon ? "\n\nThe title bar shows it at " + PixelSize(w, h)
                            : "\n\nThe About box draws it " + PixelSize(w, h);
  return text +
         (scaled ? ", scaled down from " + PixelSize(facts.decoded.width, facts.decoded.height)
                 : ", its own size") +
         ".";
}

// A symbol for the element whose start tag's name is range, called name (a placeholder
// when empty: the protocol wants a name).
Json Symbol(const Analysis& analysis, const TextRange& range, const std::string& name,
            std::string_view element, int kind) {
  return {{"name", name.empty() ? "(empty)" : name},
          {"detail", std::string(element)},
          {"kind", kind},
          {"range", RangeOf(analysis, range.begin, analysis.document->ElementEnd(range.begin))},
          {"selectionRange", RangeOf(analysis, range.begin, range.end)},
          {"children", Json::array()}};
}

}  // namespace

Json Hover(const Analysis& analysis, std::size_t offset) {
  const LayoutDocument& document = *analysis.document;
  if (const auto* reference = analysis.ReferenceAt(offset)) {
    return {
        {"contents", {{"kind", "markdown"}, {"value", ImageHover(analysis, *reference)}}},
        {"range", RangeOf(analysis, reference->offset, document.ElementEnd(reference->offset))}};
  }
  const std::string element = document.ElementPath(offset);
  std::string text;
  std::set<const FindingKind*> explained;
  for (const Finding& f : analysis.report.findings) {
    if (f.file != analysis.path || f.element != element || f.element.empty()) continue;
    text += std::string(text.empty() ? "" : "\n\n") + "**" + f.kind->id + "**: " + f.message;
    if (!explained.insert(f.kind).second) continue;
    std::string explanation = Explanation(*f.kind);
    if (explanation.empty() || explanation.back() != '\n') explanation += '\n';
    text += "\n\n```text\n" + explanation + "```";
  }
  if (text.empty()) return nullptr;
  return {{"contents", {{"kind", "markdown"}, {"value", text}}}};
}

Json Definition(const Analysis& analysis, std::size_t offset) {
  const auto* reference = analysis.ReferenceAt(offset);
  if (reference == nullptr) return nullptr;
  const LintedImage* image = analysis.Image(reference->name);
  if (image == nullptr) return nullptr;
  const Json start = {{"line", 0}, {"character", 0}};
  return {{"uri", FileUri(image->path)}, {"range", {{"start", start}, {"end", start}}}};
}

Json DocumentSymbols(const Analysis& analysis) {
  namespace v = vocabulary;
  const Layout& model = analysis.document->Model();
  Json symbols = Json::array();
  auto text = [&](const LayoutText& part, std::string_view element, int kind) {
    if (part.range) symbols.push_back(Symbol(analysis, *part.range, part.text, element, kind));
  };
  text(model.appName, v::kAppName, kSymbolString);
  text(model.appIcon, v::kAppIcon, kSymbolFile);
  if (model.menu) {
    Json menu = Symbol(analysis, *model.menu, std::string(v::kToolbarMenu), v::kToolbarMenu,
                       kSymbolNamespace);
    for (const auto* item : {&model.aboutItem, &model.quitItem}) {
      if (!item->range) continue;
      menu["children"].push_back(Symbol(analysis, *item->range, item->text,
                                        item == &model.aboutItem ? v::kAboutItem : v::kQuitItem,
                                        kSymbolField));
    }
    symbols.push_back(std::move(menu));
  }
  if (model.about) {
    Json about = Symbol(analysis, *model.about, model.title.value_or(std::string(v::kAbout)),
                        v::kAbout, kSymbolModule);
    for (std::size_t i = 0; i < model.lines.size(); ++i) {
      const AboutLine& line = model.lines[i];
      Json entry = Symbol(analysis, line.range, "line " + std::to_string(i + 1),
                          line.align.value_or(std::string(v::kLeft)), kSymbolArray);
      for (const AboutItem& item : line.items) {
        const bool logo = item.kind == AboutItem::Kind::kLogo;
        const bool link = item.kind == AboutItem::Kind::kHyperlink;
        entry["children"].push_back(Symbol(analysis, item.range, item.text,
                                           logo   ? v::kLogo
                                           : link ? v::kHyperlink
                                                  : v::kText,
                                           logo   ? kSymbolFile
                                           : link ? kSymbolKey
                                                  : kSymbolString));
      }
      about["children"].push_back(std::move(entry));
    }
    symbols.push_back(std::move(about));
  }
  return symbols;
}

}  // namespace vantu::branding_package
