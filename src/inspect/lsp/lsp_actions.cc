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

// One change of the text: what replaces the bytes from begin to end.
struct Edit {
  std::size_t begin;
  std::size_t end;
  std::string newText;
};

// One certain fix: what it is called, where it applies, and its edits.
struct Fix {
  std::string title;
  std::size_t begin;  // the place it applies to
  std::size_t end;
  std::vector<Edit> edits;
};

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
// has no way to quit without it.
void AddQuitItem(const Analysis& analysis, std::vector<Fix>& fixes) {
  const Layout& model = analysis.document->Model();
  if (!model.menu || model.quitItem.range) return;
  // A misspelt one holds the text in the document's own language: renaming it mends the menu.
  const LayoutDocument& document = *analysis.document;
  const auto& elements = document.Elements();
  for (std::size_t i = 0; i < elements.size(); ++i) {
    const std::vector<std::string>& allowed = AllowedAt(document, i);
    if (elements[i].name != vocabulary::kQuitItem &&
        Nearest(std::string(elements[i].name), allowed) == std::string(vocabulary::kQuitItem)) {
      return;
    }
  }
  const std::string_view text = analysis.document->Text();
  const std::size_t end = ElementEnd(text, model.menu->begin);
  const std::size_t close = text.rfind("</", end);
  if (close == std::string_view::npos || close < model.menu->end) return;  // <toolbar-menu/>
  const std::string item = "<" + std::string(vocabulary::kQuitItem) + ">Quit</" +
                           std::string(vocabulary::kQuitItem) + ">";
  const std::string_view closeIndent = IndentOf(text, close);
  const bool ownLine =
      close - closeIndent.size() == 0 || IsLineBreak(text[close - closeIndent.size() - 1]);
  if (ownLine) {
    // On a line of its own, indented as the about-item is, or one step in.
    const std::string indent = model.aboutItem.range
                                   ? std::string(IndentOf(text, model.aboutItem.range->begin))
                                   : std::string(closeIndent) + "  ";
    const std::size_t lineStart = close - closeIndent.size();
    fixes.push_back({"Add the missing quit-item",
                     model.menu->begin,
                     end,
                     {{lineStart, lineStart, indent + item + std::string(LineBreakOf(text))}}});
  } else {
    fixes.push_back({"Add the missing quit-item", model.menu->begin, end, {{close, close, item}}});
  }
}

// An element whose name is a slip of one the schema allows there, renamed in both its tags,
// what it holds kept: the client ignores an element it does not know.
void RenameMisspelt(const Analysis& analysis, std::vector<Fix>& fixes) {
  const LayoutDocument& document = *analysis.document;
  const std::string_view text = document.Text();
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
    const std::size_t end = ElementEnd(text, elements[i].offset);
    std::vector<Edit> edits = {{start, start + name.size(), *nearest}};
    const std::size_t close = end > 0 ? text.rfind("</", end - 1) : std::string_view::npos;
    if (close != std::string_view::npos && close > start &&
        text.compare(close + 2, name.size(), name) == 0) {
      edits.push_back({close + 2, close + 2 + name.size(), *nearest});
    }
    fixes.push_back({"Rename " + name + " to " + *nearest, elements[i].offset, end, edits});
  }
}

// A hyperlink whose scheme is a slip of http, https or mailto, corrected.
void CorrectSchemes(const Analysis& analysis, std::vector<Fix>& fixes) {
  const std::string_view text = analysis.document->Text();
  const std::vector<std::string> schemes = {"http", "https", "mailto"};
  for (const AboutLine& line : analysis.document->Model().lines) {
    for (const AboutItem& item : line.items) {
      if (item.kind != AboutItem::Kind::kHyperlink || !item.url) continue;
      const std::size_t colon = item.url->find(':');
      if (colon == std::string::npos || colon == 0) continue;
      const std::string scheme = AsciiLower(item.url->substr(0, colon));
      if (scheme == "http" || scheme == "https" || scheme == "mailto") continue;
      const std::optional<std::string> nearest = Nearest(scheme, schemes);
      if (!nearest) continue;
      // The url as written in the start tag: it must start with the scheme itself.
      const std::size_t tagEnd = ElementEnd(text, item.range.begin);
      std::size_t at = item.range.end;
      std::size_t value = std::string_view::npos;
      while ((at = text.find(vocabulary::kUrl, at)) < tagEnd) {
        std::size_t i = at + vocabulary::kUrl.size();
        while (i < tagEnd && std::isspace(static_cast<unsigned char>(text[i])) != 0) ++i;
        if (i < tagEnd && text[i] == '=') {
          ++i;
          while (i < tagEnd && std::isspace(static_cast<unsigned char>(text[i])) != 0) ++i;
          if (i < tagEnd && (text[i] == '"' || text[i] == '\'')) {
            value = i + 1;
            break;
          }
        }
        at = i;
      }
      if (value == std::string_view::npos ||
          AsciiLower(text.substr(value, colon + 1)) != scheme + ":") {
        continue;
      }
      fixes.push_back({"Change the scheme " + scheme + " to " + *nearest,
                       item.range.begin,
                       tagEnd,
                       {{value, value + colon, *nearest}}});
    }
  }
}

// A suppression that allows nothing, removed with its line when it stands alone on one.
void RemoveIdleSuppressions(const Analysis& analysis, std::vector<Fix>& fixes) {
  const std::string_view text = analysis.document->Text();
  for (const InlineSuppression& idle : analysis.idle) {
    std::size_t begin = idle.comment;
    std::size_t end = idle.commentEnd;
    const std::string_view indent = IndentOf(text, begin);
    const bool startsLine =
        begin - indent.size() == 0 || IsLineBreak(text[begin - indent.size() - 1]);
    const std::size_t after = text.find_first_not_of(" \t", end);
    if (startsLine && after != std::string_view::npos && IsLineBreak(text[after])) {
      begin -= indent.size();
      end = after + (text.compare(after, 2, "\r\n") == 0 ? 2 : 1);
    }
    fixes.push_back({"Remove the suppression that allows nothing",
                     idle.comment,
                     idle.commentEnd,
                     {{begin, end, ""}}});
  }
}

// Whether two ranges of a text meet (touching counts, so that an empty range at either end of
// a place finds it).
bool Meet(std::size_t begin, std::size_t end, std::size_t otherBegin, std::size_t otherEnd) {
  return begin <= otherEnd && otherBegin <= end;
}

}  // namespace

Json CodeActions(const Analysis& analysis, const std::string& uri, std::size_t begin,
                 std::size_t end, const Json& diagnostics) {
  std::vector<Fix> fixes;
  RenameMisspelt(analysis, fixes);
  AddQuitItem(analysis, fixes);
  CorrectSchemes(analysis, fixes);
  RemoveIdleSuppressions(analysis, fixes);
  Json actions = Json::array();
  for (const Fix& fix : fixes) {
    if (!Meet(fix.begin, fix.end, begin, end)) continue;
    // The client's diagnostics this fix answers: those in its place.
    const Json place = RangeOf(analysis, fix.begin, fix.end);
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
    actions.push_back({{"title", fix.title},
                       {"kind", "quickfix"},
                       {"isPreferred", true},
                       {"diagnostics", answered},
                       {"edit", {{"changes", {{uri, edits}}}}}});
  }
  return actions;
}

}  // namespace vantu::branding_package
