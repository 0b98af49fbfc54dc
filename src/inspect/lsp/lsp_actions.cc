#include <algorithm>
#include <cctype>
#include <optional>

#include "base/ascii.h"
#include "base/nearest.h"
#include "inspect/lsp/lsp_features.h"
#include "layout/layout_grammar.h"
#include "layout/layout_vocabulary.h"

namespace vantu::branding_package {

namespace {

// A fix and the place it applies to.
struct PlacedFix {
  std::size_t begin;
  std::size_t end;
  Fix fix;
};

// The text of a quit-item added where the document has none to copy.
constexpr std::string_view kQuitPlaceholder = "(quit text)";

// The white space a line starts with, for the line holding offset.
std::string_view IndentOf(std::string_view text, std::size_t offset) {
  const std::size_t start = text.find_last_of("\r\n", offset == 0 ? 0 : offset - 1);
  const std::size_t begin = start == std::string_view::npos || offset == 0 ? 0 : start + 1;
  const std::size_t end = text.find_first_not_of(" \t", begin);
  return text.substr(begin, (end == std::string_view::npos ? text.size() : end) - begin);
}

// The names the schema allows where element stands.
const std::vector<std::string>& AllowedAt(const LayoutDocument& document, std::size_t element) {
  static const std::vector<std::string> kNone;
  const LayoutGrammar& grammar = SchemaGrammar();
  const std::size_t parent = document.Elements()[element].parent;
  if (parent == LayoutDocument::kNone) return grammar.tops;
  const auto found = grammar.elements.find(std::string(document.Elements()[parent].name));
  return found == grammar.elements.end() ? kNone : found->second.children;
}

// The quit-item a menu without one lacks, added before the menu's end tag: the client's menu
// has no way to quit without it. Its text is copied from a quit-item elsewhere, in the
// document's own language; else it is a placeholder, selected for the user to write over.
void AddQuitItem(const Analysis& analysis, std::vector<PlacedFix>& fixes) {
  const Layout& model = analysis.document->Model();
  if (!model.menu || model.quitItem.range) return;
  // A misspelt one holds the text in the document's own language: renaming it mends the menu.
  const LayoutDocument& document = *analysis.document;
  const auto& elements = document.Elements();
  std::optional<std::string_view> words;
  const std::string_view text = document.Text();
  for (std::size_t i = 0; i < elements.size(); ++i) {
    const std::vector<std::string>& allowed = AllowedAt(document, i);
    if (elements[i].name != vocabulary::kQuitItem &&
        Nearest(std::string(elements[i].name), allowed) == std::string(vocabulary::kQuitItem)) {
      return;
    }
    if (elements[i].name == vocabulary::kQuitItem && !words &&
        elements[i].closeTag != LayoutDocument::kNone) {
      const std::string_view written =
          AsciiTrimmed(text.substr(elements[i].tagEnd, elements[i].closeTag - elements[i].tagEnd));
      if (!written.empty()) words = written;
    }
  }
  const LayoutDocument::Element& menu = elements[document.ElementAt(model.menu->begin)];
  if (menu.closeTag == LayoutDocument::kNone) return;  // <toolbar-menu/>
  const std::size_t close = menu.closeTag;
  const std::string open = "<" + std::string(vocabulary::kQuitItem) + ">";
  const std::string item = open + std::string(words.value_or(kQuitPlaceholder)) + "</" +
                           std::string(vocabulary::kQuitItem) + ">";
  const std::string_view closeIndent = IndentOf(text, close);
  const bool ownLine =
      close - closeIndent.size() == 0 || IsLineBreak(text[close - closeIndent.size() - 1]);
  PlacedFix placed{
      model.menu->begin, menu.end, {"Add the missing quit-item", {{close, close, item}}, {}}};
  Fix& fix = placed.fix;
  if (ownLine) {
    // On a line of its own, indented as the about-item is, or one step in.
    const std::string indent = model.aboutItem.range
                                   ? std::string(IndentOf(text, model.aboutItem.range->begin))
                                   : std::string(closeIndent) + "  ";
    const std::size_t lineStart = close - closeIndent.size();
    fix.edits = {{lineStart, lineStart, indent + item + std::string(LineBreakOf(text))}};
  }
  if (!words) {
    const Edit& edit = fix.edits.front();
    const std::size_t placeholder = edit.begin + edit.newText.find(open) + open.size();
    fix.select = std::make_pair(placeholder, placeholder + kQuitPlaceholder.size());
  }
  fixes.push_back(std::move(placed));
}

// An element whose name is a slip of one the schema allows there, renamed in both its tags,
// what it holds kept: the client ignores an element it does not know.
void RenameMisspelt(const Analysis& analysis, std::vector<PlacedFix>& fixes) {
  const LayoutDocument& document = *analysis.document;
  const auto& elements = document.Elements();
  for (std::size_t i = 0; i < elements.size(); ++i) {
    const std::string name(elements[i].name);
    const std::vector<std::string>& allowed = AllowedAt(document, i);
    if (allowed.empty() || std::find(allowed.begin(), allowed.end(), name) != allowed.end()) {
      continue;
    }
    const std::optional<std::string> nearest = Nearest(name, allowed);
    if (!nearest) continue;
    const std::size_t start = elements[i].offset + 1;
    std::vector<Edit> edits = {{start, start + name.size(), *nearest}};
    if (const std::size_t close = elements[i].closeTag; close != LayoutDocument::kNone) {
      edits.push_back({close + 2, close + 2 + name.size(), *nearest});
    }
    fixes.push_back(
        {elements[i].offset, elements[i].end, {"Rename " + name + " to " + *nearest, edits, {}}});
  }
}

// The range of span in the text that edits (in order, apart) make of document's.
Json RangeAfter(const LayoutDocument& document, const std::vector<Edit>& edits,
                std::pair<std::size_t, std::size_t> span) {
  std::string text = document.Text();
  for (auto edit = edits.rbegin(); edit != edits.rend(); ++edit) {
    text.replace(edit->begin, edit->end - edit->begin, edit->newText);
  }
  const TextPositions positions(text);
  const TextPosition start = positions.At(span.first);
  const TextPosition stop = positions.At(span.second);
  return {{"start", {{"line", start.line}, {"character", start.character}}},
          {"end", {{"line", stop.line}, {"character", stop.character}}}};
}

// Whether two ranges of a text meet (touching counts, so that an empty range at either end of
// a place finds it).
bool Meet(std::size_t begin, std::size_t end, std::size_t otherBegin, std::size_t otherEnd) {
  return begin <= otherEnd && otherBegin <= end;
}

}  // namespace

Json CodeActions(const Analysis& analysis, const std::string& uri, std::size_t begin,
                 std::size_t end, const Json& diagnostics) {
  std::vector<PlacedFix> fixes;
  RenameMisspelt(analysis, fixes);
  AddQuitItem(analysis, fixes);
  // The findings' own fixes, over what each finding is about.
  for (const Finding& f : analysis.report.findings) {
    if (f.file != analysis.path || f.at == kNoPlace) continue;
    const std::size_t over = f.atEnd != kNoPlace ? f.atEnd : analysis.document->ElementEnd(f.at);
    for (const Fix& fix : f.fixes) fixes.push_back({f.at, over, fix});
  }
  Json actions = Json::array();
  for (const PlacedFix& placed : fixes) {
    if (!Meet(placed.begin, placed.end, begin, end)) continue;
    const Fix& fix = placed.fix;
    // The client's diagnostics this fix answers: those in its place.
    const Json place = RangeOf(analysis, placed.begin, placed.end);
    Json answered = Json::array();
    if (diagnostics.is_array()) {
      for (const Json& diagnostic : diagnostics) {
        const Json& range = diagnostic.value("range", Json::object());
        if (!range.is_object() || !range.contains("start")) continue;
        auto key = [](const Json& position) {
          return std::make_pair(position.value("line", 0), position.value("character", 0));
        };
        if (key(range["start"]) >= key(place["start"]) &&
            key(range["start"]) <= key(place["end"])) {
          answered.push_back(diagnostic);
        }
      }
    }
    Json edits = Json::array();
    for (const Edit& edit : fix.edits) {
      edits.push_back(
          {{"range", RangeOf(analysis, edit.begin, edit.end)}, {"newText", edit.newText}});
    }
    Json action = {{"title", fix.title},
                   {"kind", "quickfix"},
                   {"isPreferred", true},
                   {"diagnostics", answered},
                   {"edit", {{"changes", {{uri, edits}}}}}};
    if (fix.select) {
      action["command"] = {
          {"title", "Select the placeholder"},
          {"command", std::string(kSelectCommand)},
          {"arguments", {uri, RangeAfter(*analysis.document, fix.edits, *fix.select)}}};
    }
    actions.push_back(std::move(action));
  }
  return actions;
}

}  // namespace vantu::branding_package
